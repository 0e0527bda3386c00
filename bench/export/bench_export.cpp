// The whole export on a suite installation (make one with
// `make-demo-suite DIR --size large`), through the main window's own
// builder and writers, next to the sqlite3 shell making the same CSV rows
// with one joined and sorted query over the same table files.
//
//   bench_export INSTALLATION [runs] [output folder] [year]
//
// For one year (the last full calendar year of gifts) and for all years:
// build time and rows a second; write time and MB a second of the
// comma-delimited, fixed-length and HTML writers; the share of the UI hook;
// the resident memory after each phase; and the shell's time for the same
// rows, checked line for line against the tool's CSV. Min / median of the runs.
// Run with QT_QPA_PLATFORM=offscreen. For a profiler: BENCH_EXPORT_BUILD_ONLY=1
// stops after the first build; BENCH_EXPORT_WRITER=csv|fixed|html builds all
// years (one year with BENCH_EXPORT_ONE_YEAR=1) once and runs that writer ten
// times.

#include "connect/CustomConnect.h"
#include "controls/DateEdit.h"
#include "data/Catalogue.h"
#include "extract/Main.h"
#include "platform/Application.h"
#include "platform/MessageHost.h"
#include "platform/Regional.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRadioButton>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

struct Stats {
    std::vector<double> values;
    void add(double v) { values.push_back(v); }
    double min() const { return *std::min_element(values.begin(), values.end()); }
    double median() const
    {
        std::vector<double> v = values;
        std::sort(v.begin(), v.end());
        return v[v.size() / 2];
    }
};

// Resident and peak memory in MB.
std::pair<double, double> memoryMb()
{
    QFile f(QStringLiteral("/proc/self/status"));
    double rss = 0, hwm = 0;
    if (f.open(QIODevice::ReadOnly)) {
        for (const QByteArray &line : f.readAll().split('\n')) {
            const QList<QByteArray> parts = line.simplified().split(' ');
            if (parts.size() >= 2 && parts[0] == "VmRSS:")
                rss = parts[1].toDouble() / 1024;
            if (parts.size() >= 2 && parts[0] == "VmHWM:")
                hwm = parts[1].toDouble() / 1024;
        }
    }
    return {rss, hwm};
}

QString sqlDate(const QDate &d)
{
    return QString::number(d.toJulianDay());
}

// The extract's rows as the comma-delimited writer writes them with US
// regional settings, from one query.
QString shellScript(const QString &dataDir, const QDate &from, const QDate &to, const QString &out)
{
    const QString d = QStringLiteral("f.\"Fund_Description\"");
    const QString c = QStringLiteral("f.\"Fund_Code\"");
    const QString project = QStringLiteral(
        "substr(CASE WHEN length(coalesce(%2,'')) IN (2,7) THEN %2 "
        "WHEN length(%1) > 4 AND instr(substr(%1, length(%1) - 4, 4), '-') > 0 THEN substr(%1, -2) "
        "WHEN length(%1) > 9 AND instr(substr(%1, length(%1) - 9, 9), '-') > 0 THEN substr(%1, -7) "
        "ELSE coalesce(%2,'') END, 1, 25)").arg(d, c);
    const QString date = QStringLiteral(
        "(CAST(strftime('%m', g.\"Posted_Date\" - 0.5) AS INTEGER) || '/' || "
        "CAST(strftime('%d', g.\"Posted_Date\" - 0.5) AS INTEGER) || '/' || strftime('%Y', g.\"Posted_Date\" - 0.5))");
    const QString amount = QStringLiteral("coalesce(printf('%.15g', g.\"Fund_Amount\" / 10000.0), '')");
    QString s;
    s += QStringLiteral(".headers off\n.mode list\n.separator \"\" \"\\r\\n\"\n");
    s += QStringLiteral("ATTACH '%1' AS p;\nATTACH '%2' AS f;\n")
             .arg(QDir(dataDir).filePath("awpeindv.zeldat"), QDir(dataDir).filePath("AWCBTABL.zeldat"));
    s += QStringLiteral(".output '%1'\n").arg(out);
    s += QStringLiteral(
             "SELECT '\"' || substr(coalesce(p.\"Envelope_Number\",''), 1, 30) || '\",\"' || %1 || '\",\"' || "
             "%2 || '\",\"' || %3 || '\"' "
             "FROM p.records p JOIN main.records g ON g.\"Family_Number\" = p.\"Family_Number\" "
             "AND g.\"Individual_Number\" = p.\"Individual_Number\" "
             "JOIN f.records f ON f.\"Fund_Number\" = g.\"Fund_Number\" "
             "WHERE g.\"Posted_Date\" BETWEEN %4 AND %5 AND coalesce(g.\"Posted_Flag\", '') <> '1' "
             "ORDER BY substr(coalesce(p.\"Envelope_Number\",''), 1, 30) COLLATE NOCASE, g.\"Posted_Date\", "
             "%1 COLLATE NOCASE, p.\"Family_Number\" COLLATE NOCASE, p.\"Individual_Number\", "
             "g.\"Posted_Date\", g.\"Detail_ID\";\n")
             .arg(project, date, amount, sqlDate(from), sqlDate(to));
    return s;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_export INSTALLATION [runs] [output folder]\n");
        return 2;
    }
    const QString root = QDir(QString::fromLocal8Bit(argv[1])).absolutePath();
    qputenv("XDG_CONFIG_DIRS", QFile::encodeName(root + "/etc/xdg"));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(root + "/home/.config"));
    qputenv("APPDATA", QFile::encodeName(root + "/home/AppData/Roaming"));
    platform::Application app(argc, argv);
    platform::Application::setTitle(QStringLiteral("Tallyport"));
    platform::setRegionalOverride(platform::RegionalSettings::unitedStates());
    // For profiling: one build of the one-year range and nothing else.
    const bool buildOnly = qEnvironmentVariableIsSet("BENCH_EXPORT_BUILD_ONLY");
    const QByteArray profiledWriter = qgetenv("BENCH_EXPORT_WRITER");
    const int runs = argc > 2 ? std::max(1, atoi(argv[2])) : 3;
    QTemporaryDir tmp;
    const QString outDir = argc > 3 ? QString::fromLocal8Bit(argv[3]) : tmp.path();
    QDir().mkpath(outDir);

    platform::ScriptedMessageHost host;   // answers Yes to every overwrite question
    if (!GetConnection()) {
        std::fprintf(stderr, "no connection to %s\n", qPrintable(root));
        return 1;
    }
    const QString dataDir = GetConnection()->DBISAMDatabase.directory();
    TfrmMain w;
    if (!host.boxes().isEmpty()) {
        std::fprintf(stderr, "%s\n", qPrintable(host.texts().join('\n')));
        return 1;
    }
    w.rbPeople->setChecked(true);
    w.rbAllFunds->setChecked(true);

    // The UI hook, timed from outside in a pass of its own: the timing costs
    // a writer's row a tenth of its time, so the timed runs go without it.
    const std::function<void()> hook = w.uiHook;
    qint64 hookNs = 0;
    QElapsedTimer hookTimer;
    hookTimer.start();
    qint64 hookCalls = 0;
    const std::function<void()> timedHook = [&] {
        const qint64 t0 = hookTimer.nsecsElapsed();
        hook();
        hookNs += hookTimer.nsecsElapsed() - t0;
        ++hookCalls;
    };
    // What the timing itself adds to each call, taken off the hook's share.
    double timingNs = 0;
    {
        constexpr int n = 1000000;
        qint64 sink = 0;
        const qint64 t0 = hookTimer.nsecsElapsed();
        for (int i = 0; i < n; ++i)
            sink += hookTimer.nsecsElapsed();
        timingNs = double(hookTimer.nsecsElapsed() - t0) / n;
        if (sink == 42)
            std::printf(" ");
    }
    auto hookSeconds = [&] { return std::max(0.0, (hookNs - timingNs * double(hookCalls)) / 1e9); };
    // The hook's share of a phase timed with the timed hook in place.
    auto hookShare = [&](qint64 phaseNs) {
        const double phase = std::max(1.0, double(phaseNs) - timingNs * double(hookCalls)) / 1e9;
        return 100.0 * hookSeconds() / phase;
    };

    const TExtractList columns = w.ExtractColumns();
    const struct { const char *name; int type; const char *ext; } writers[] = {
        {"CSV", 0, "csv"}, {"fixed length", 1, "txt"}, {"HTML", 2, "htm"}};

    // The last full calendar year (the demo's gifts run up to the day it was
    // made), and everything.
    const int year = argc > 4 ? atoi(argv[4]) : QDate::currentDate().year() - 1;
    const struct { const char *name; QDate from, to; } ranges[] = {
        {"one year", QDate(year, 1, 1), QDate(year, 12, 31)},
        {"all years", QDate(1900, 1, 1), QDate(2999, 12, 31)}};

    std::printf("installation %s, %d run(s), output in %s\n", qPrintable(root), runs, qPrintable(outDir));
    if (!profiledWriter.isEmpty()) {
        const int type = profiledWriter == "fixed" ? 1 : profiledWriter == "html" ? 2 : 0;
        const auto &range = ranges[qEnvironmentVariableIsSet("BENCH_EXPORT_ONE_YEAR") ? 0 : 1];
        w.meFrom->setDate(range.from);
        w.meTo->setDate(range.to);
        w.BuildExtract();
        const QString file = QDir(outDir).filePath(QStringLiteral("profiled.%1").arg(writers[type].ext));
        QElapsedTimer t;
        t.start();
        for (int i = 0; i < 10; ++i)
            w.WriteExtract(writers[type].type, file, columns, w.tbExtractTable);
        std::printf("%s: ten writes in %.3f s\n", writers[type].name, t.nsecsElapsed() / 1e9);
        return 0;
    }
    for (const auto &range : ranges) {
        w.meFrom->setDate(range.from);
        w.meTo->setDate(range.to);
        Stats build, shell;
        double hookBuild = 0, hookWrite[3] = {0, 0, 0}, hookExport = 0;
        Stats write[3];
        qint64 rows = 0, bytes[3] = {0, 0, 0};
        double rss[5] = {0, 0, 0, 0, 0};
        bool same = true;
        QString mismatch;
        for (int run = 0; run < runs; ++run) {
            rss[0] = memoryMb().first;
            QElapsedTimer t;
            t.start();
            w.BuildExtract();
            build.add(t.nsecsElapsed() / 1e9);
            rss[1] = memoryMb().first;
            rows = w.tbExtractTable.recordCount();
            if (buildOnly)
                return 0;
            for (int i = 0; i < 3; ++i) {
                const QString file = QDir(outDir).filePath(QStringLiteral("extract.%1").arg(writers[i].ext));
                t.restart();
                w.WriteExtract(writers[i].type, file, columns, w.tbExtractTable);
                write[i].add(t.nsecsElapsed() / 1e9);
                bytes[i] = QFileInfo(file).size();
                rss[2 + i] = memoryMb().first;
            }
            // The shell, the same rows.
            const QString shellOut = QDir(outDir).filePath(QStringLiteral("shell.csv"));
            QProcess sqlite;
            sqlite.setProgram(QStringLiteral("sqlite3"));
            sqlite.setArguments({QStringLiteral("-batch"), QDir(dataDir).filePath("AWCBDET1.zeldat")});
            t.restart();
            sqlite.start();
            sqlite.write(shellScript(dataDir, range.from, range.to, shellOut).toUtf8());
            sqlite.closeWriteChannel();
            sqlite.waitForFinished(-1);
            shell.add(t.nsecsElapsed() / 1e9);
            const QByteArray err = sqlite.readAllStandardError();
            if (!err.isEmpty())
                mismatch = QString::fromLocal8Bit(err);
            if (run == 0) {
                // The tool writes the ANSI code page, the shell UTF-8.
                QFile a(QDir(outDir).filePath(QStringLiteral("extract.csv"))), b(shellOut);
                a.open(QIODevice::ReadOnly);
                b.open(QIODevice::ReadOnly);
                for (qint64 line = 1; !a.atEnd() || !b.atEnd(); ++line) {
                    const QByteArray la = QString::fromLatin1(a.readLine()).toUtf8(), lb = b.readLine();
                    if (la != lb) {
                        same = false;
                        mismatch = QStringLiteral("line %1: tool %2 / shell %3")
                                       .arg(line).arg(QString::fromUtf8(la.trimmed()), QString::fromUtf8(lb.trimmed()));
                        break;
                    }
                }
            }
        }
        // One more build and writing with the hook timed.
        {
            w.uiHook = timedHook;
            QElapsedTimer t;
            hookNs = hookCalls = 0;
            t.start();
            w.BuildExtract();
            const qint64 buildNs = t.nsecsElapsed();
            const double buildHook = hookSeconds();
            hookBuild = hookShare(buildNs);
            for (int i = 0; i < 3; ++i) {
                const QString file = QDir(outDir).filePath(QStringLiteral("extract.%1").arg(writers[i].ext));
                hookNs = hookCalls = 0;
                t.restart();
                w.WriteExtract(writers[i].type, file, columns, w.tbExtractTable);
                const qint64 writeNs = t.nsecsElapsed();
                hookWrite[i] = hookShare(writeNs);
                if (i == 0)
                    hookExport = 100.0 * (buildHook + hookSeconds()) / ((buildNs + writeNs) / 1e9);
            }
            w.uiHook = hook;
        }
        const double exportMin = build.min() + write[0].min();
        const double exportMed = build.median() + write[0].median();
        std::printf("\n== %s (%s to %s): %lld rows ==\n", range.name,
                    qPrintable(range.from.toString(Qt::ISODate)), qPrintable(range.to.toString(Qt::ISODate)),
                    static_cast<long long>(rows));
        std::printf("build           %7.3f / %7.3f s   %8.0f rows/s   hook %.2f %%\n", build.min(),
                    build.median(), rows / build.min(), hookBuild);
        for (int i = 0; i < 3; ++i)
            std::printf("write %-12s %5.3f / %7.3f s   %6.1f MB/s  %9.0f rows/s   hook %.2f %%   %.1f MB\n",
                        writers[i].name, write[i].min(), write[i].median(), bytes[i] / 1e6 / write[i].min(),
                        rows / write[i].min(), hookWrite[i], bytes[i] / 1e6);
        std::printf("export (build + CSV) %7.3f / %7.3f s   hook %.2f %% of it\n", exportMin, exportMed,
                    hookExport);
        std::printf("sqlite3 shell   %7.3f / %7.3f s   same rows: %s%s\n", shell.min(), shell.median(),
                    same ? "yes" : "NO", mismatch.isEmpty() ? "" : qPrintable(QStringLiteral(" (") + mismatch + ")"));
        std::printf("export / shell  %.2f (target at most 0.75)\n", exportMin / shell.min());
        std::printf("memory (RSS MB) before build %.0f, after build %.0f, after CSV %.0f, fixed %.0f, HTML %.0f; peak %.0f\n",
                    rss[0], rss[1], rss[2], rss[3], rss[4], memoryMb().second);
    }
    return 0;
}
