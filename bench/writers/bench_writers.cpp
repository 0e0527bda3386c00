// Throughput of the comma-delimited, fixed-length and HTML writers on an
// extract table of a million gift lines (or the count given).
//
//   bench_writers [rows] [runs] [folder]
//
// Builds the extract in a temporary folder (or the one given), then writes it
// with each writer a few times and prints min / median seconds, MB/s and
// rows/s, with the processor time (steadier on a busy machine). Next to them:
// the stream alone on lines from memory, a walk of the table alone, and a
// walk that only reads the text forms, which show what the writers add.

#include "data/Catalogue.h"
#include "data/Engine.h"
#include "data/Table.h"
#include "platform/Regional.h"
#include "writers/CommaDelimited.h"
#include "writers/ExportContext.h"
#include "writers/ExportStream.h"
#include "writers/ExtractObject.h"
#include "writers/FixedLength.h"
#include "writers/Html.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <functional>
#include <vector>

namespace {

void build(data::Table &table, int rows)
{
    QRandomGenerator random(20050115);
    const QDate start(2003, 1, 1);
    table.startTransaction();
    for (int i = 0; i < rows; ++i) {
        table.append();
        table.fieldByName(QStringLiteral("Congregation ID"))
            .setAsString(QString::number(100000 + random.bounded(50000)));
        const int fund = random.bounded(30);
        table.fieldByName(QStringLiteral("Project Description"))
            .setAsString(fund % 3 == 0 ? QStringLiteral("%1").arg(fund * 7, 2, 10, QLatin1Char('0'))
                                       : QStringLiteral("P%1").arg(fund * 104729 % 10000000, 6, 10,
                                                                  QLatin1Char('0')));
        table.fieldByName(QStringLiteral("Gift Date"))
            .setAsDateTime(QDateTime(start.addDays(random.bounded(3 * 365)), QTime(0, 0)));
        table.fieldByName(QStringLiteral("Gift Amount"))
            .setAsCurrency(data::Currency::fromRaw(qint64(random.bounded(1, 50000)) * 100));
        table.post();
    }
    table.commit();
}

struct Figures {
    double minSeconds = 0;
    double medianSeconds = 0;
    double minCpuSeconds = 0;
    qint64 bytes = 0;
};

double cpuSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

// Wall-clock and processor time: on a shared machine the processor time
// shows the writer's own cost when other work slows the wall clock.
Figures measure(int runs, const std::function<qint64()> &run)
{
    std::vector<double> seconds;
    std::vector<double> cpu;
    qint64 bytes = 0;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer timer;
        const double cpuStart = cpuSeconds();
        timer.start();
        bytes = run();
        seconds.push_back(double(timer.nsecsElapsed()) / 1e9);
        cpu.push_back(cpuSeconds() - cpuStart);
    }
    std::sort(seconds.begin(), seconds.end());
    std::sort(cpu.begin(), cpu.end());
    return {seconds.front(), seconds[seconds.size() / 2], cpu.front(), bytes};
}

void print(const char *label, const Figures &f, int rows)
{
    std::printf("%-36s %7.3f / %7.3f s  cpu %7.3f s  %6.2f M rows/s", label, f.minSeconds,
                f.medianSeconds, f.minCpuSeconds, rows / f.minSeconds / 1e6);
    if (f.bytes > 0)
        std::printf("  %7.1f MB/s (cpu %7.1f MB/s)  %7.1f MB", double(f.bytes) / f.minSeconds / 1e6,
                    double(f.bytes) / f.minCpuSeconds / 1e6, double(f.bytes) / 1e6);
    std::printf("\n");
    std::fflush(stdout);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const int rows = args.size() > 1 ? args[1].toInt() : 1000000;
    const int runs = args.size() > 2 ? args[2].toInt() : 3;
    QTemporaryDir temporary;
    const QString folder = args.size() > 3 ? args[3] : temporary.path();

    platform::setRegionalOverride(platform::RegionalSettings::unitedStates());
    data::Database database(data::Session::defaultSession(), QStringLiteral("ZEL_DATA"), folder);
    data::Table table;
    table.setDatabaseName(QStringLiteral("ZEL_DATA"));
    table.setTableName(QString::fromLatin1(data::catalogue::kExtractTable));
    if (table.exists())
        table.deleteTable();
    table.setScratch(true);   // as the main window opens its extract
    table.createTable(data::catalogue::extractTable());
    table.setIndexName(QString::fromLatin1(data::catalogue::kSortIndex));
    table.open();

    QElapsedTimer buildTimer;
    buildTimer.start();
    build(table, rows);
    std::printf("extract of %d rows built in %.2f s; min / median of %d runs\n", table.recordCount(),
                double(buildTimer.nsecsElapsed()) / 1e9, runs);

    TExtractList columns;
    for (const char *name : {"Congregation ID", "Project Description", "Gift Date", "Gift Amount"})
        columns.append(TExtractObject{QString(), QString::fromLatin1(name)});

    // The writers' own path without the table: text forms already in hand,
    // turned into code page bytes, buffered and written to the file.
    print("stream only (CSV lines from memory)", measure(runs, [&] {
        const QString path = folder + QStringLiteral("/bench.stream");
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered))
            return qint64(0);
        const QString values[] = {QStringLiteral("123456"), QStringLiteral("P123456"),
                                  QStringLiteral("1/15/2005"), QStringLiteral("125.5")};
        writers::ExportStream out(file, path);
        for (int i = 0; i < rows; ++i) {
            for (int c = 0; c < 4; ++c) {
                if (c > 0)
                    out.appendChar(',');
                out.appendQuotedText(values[c]);
            }
            out.endLine();
        }
        out.flush();
        file.close();
        const qint64 size = QFileInfo(path).size();
        QFile::remove(path);
        return size;
    }), rows);

    print("walk only (first/next/eof)", measure(runs, [&] {
        for (table.first(); !table.eof(); table.next()) {
        }
        return qint64(0);
    }), rows);

    print("walk + text forms (no file)", measure(runs, [&] {
        std::vector<data::Field> fields;
        for (const TExtractObject &c : columns)
            fields.push_back(table.fieldByName(c.fieldName));
        for (table.first(); !table.eof(); table.next()) {
            for (const data::Field &f : fields)
                (void)f.asString();
        }
        return qint64(0);
    }), rows);

    CancelFlag cancel;
    ExportContext context(cancel);   // the default throttled hook, as in the window
    const auto writeWith = [&](const QString &name, const std::function<void(const QString &)> &writer) {
        return [&, name, writer] {
            const QString path = folder + QLatin1Char('/') + name;
            QFile::remove(path);
            writer(path);
            return QFileInfo(path).size();
        };
    };
    print("WriteCommaDelimited (quoted)", measure(runs, writeWith(QStringLiteral("bench.csv"), [&](const QString &p) {
        WriteCommaDelimited(p, columns, table, true, context);
    })), rows);
    print("WriteFixedLength", measure(runs, writeWith(QStringLiteral("bench.txt"), [&](const QString &p) {
        WriteFixedLength(p, columns, table, context);
    })), rows);
    print("WriteHtml", measure(runs, writeWith(QStringLiteral("bench.htm"), [&](const QString &p) {
        WriteHtml(p, columns, table, context);
    })), rows);
    for (const char *name : {"bench.csv", "bench.txt", "bench.htm"})
        QFile::remove(folder + QLatin1Char('/') + QLatin1String(name));
    table.close();
    return 0;
}
