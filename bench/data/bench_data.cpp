// bench_data [DIR] [--runs N] [--only scan|seek|append] [--side layer|plain]
//
// The data layer against a plain sqlite3 loop doing the same work on the
// same files, on the large demo installation (50,000 contributors, 1,000,000
// gift lines over three years). DIR is an installation made by
// make-demo-suite --size large, or a missing or empty folder to make one in;
// without DIR one is made in a temporary folder and removed afterwards.
//
// Workloads, each run N times (default 3) on either side, min and median:
//   scan     every gift line in CBTax order, reading four fields
//   seek     one key-range seek on CBTax per contributor, one year, every line in range
//   append   1,000,000 rows into a new table with a secondary index, one transaction
//            (the extract table's layout), with the engine's default settings and
//            with scratch settings (no sync, journal in memory, 64 MiB page cache, the
//            index made after the load and carrying every field)
//
// Both sides convert what they read to the values a caller gets (QString,
// QDate, integers) and what they write from them, so the difference is what
// the layer adds.

#include "DemoSuite.h"

#include "connect/TablePasswords.h"
#include "data/Catalogue.h"
#include "data/Engine.h"
#include "data/Table.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTextStream>

#include <sqlite3.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
#include <stdexcept>
#include <vector>

namespace {

QTextStream out(stdout);
QTextStream err(stderr);

// the layer maps every table it opens; the plain reads get the same
constexpr char kReadPragmas[] = "PRAGMA mmap_size=268435456";
// the extract's settings: not synced, journal in memory, a page cache big enough for its index
constexpr int kScratchCacheKiB = 65536;

struct Timing {
    std::vector<double> seconds;
    qint64 rows = 0;
    double min() const { return *std::min_element(seconds.begin(), seconds.end()); }
    double median() const
    {
        std::vector<double> sorted = seconds;
        std::sort(sorted.begin(), sorted.end());
        return sorted[sorted.size() / 2];
    }
};

// What a pass read, to check that both sides did the same work.
struct Check {
    qint64 rows = 0;
    qint64 sum = 0;
    bool operator==(const Check &) const = default;
};

[[noreturn]] void sqliteFail(sqlite3 *db, const char *what)
{
    throw std::runtime_error(std::string(what) + ": " + (db ? sqlite3_errmsg(db) : "no database"));
}

// ---------------------------------------------------------------- plain loop

class PlainDb {
public:
    explicit PlainDb(const QString &file, bool readOnly)
    {
        const int flags = readOnly ? SQLITE_OPEN_READONLY : (SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
        if (sqlite3_open_v2(QFile::encodeName(file).constData(), &m_db, flags, nullptr) != SQLITE_OK)
            sqliteFail(m_db, "open");
    }
    ~PlainDb() { sqlite3_close(m_db); }
    PlainDb(const PlainDb &) = delete;
    PlainDb &operator=(const PlainDb &) = delete;
    sqlite3 *db() const { return m_db; }
    void exec(const QString &sql)
    {
        char *message = nullptr;
        if (sqlite3_exec(m_db, sql.toUtf8().constData(), nullptr, nullptr, &message) != SQLITE_OK) {
            const std::string text = message ? message : "?";
            sqlite3_free(message);
            throw std::runtime_error("exec " + sql.toStdString() + ": " + text);
        }
    }

private:
    sqlite3 *m_db = nullptr;
};

class Statement {
public:
    Statement(sqlite3 *db, const QString &sql) : m_db(db)
    {
        if (sqlite3_prepare_v3(db, sql.toUtf8().constData(), -1, SQLITE_PREPARE_PERSISTENT, &m_stmt, nullptr)
            != SQLITE_OK)
            sqliteFail(db, "prepare");
    }
    ~Statement() { sqlite3_finalize(m_stmt); }
    Statement(const Statement &) = delete;
    Statement &operator=(const Statement &) = delete;
    sqlite3_stmt *get() const { return m_stmt; }
    bool step()
    {
        const int rc = sqlite3_step(m_stmt);
        if (rc == SQLITE_ROW)
            return true;
        if (rc != SQLITE_DONE)
            sqliteFail(m_db, "step");
        return false;
    }

private:
    sqlite3 *m_db;
    sqlite3_stmt *m_stmt = nullptr;
};

QString columnText(sqlite3_stmt *stmt, int column)
{
    const auto *text = reinterpret_cast<const char *>(sqlite3_column_text(stmt, column));
    return text ? QString::fromUtf8(text, sqlite3_column_bytes(stmt, column)) : QString();
}

// ---------------------------------------------------------------- workloads

struct Contributor {
    QString family;
    int individual;
};

struct AppendRow {
    QString congregation;
    QString project;
    QDate date;
    qint64 amount;
};

class Bench {
public:
    Bench(const QString &dataDir, int runs, const QString &only, const QString &side)
        : m_dataDir(dataDir), m_runs(runs), m_only(only), m_side(side)
    {
    }

    void run()
    {
        m_passwords = TablePasswords();
        for (const QString &p : std::as_const(m_passwords))
            data::Session::defaultSession().addPassword(p);
        m_database = std::make_unique<data::Database>(data::Session::defaultSession(), QStringLiteral("BENCH"),
                                                      m_dataDir);
        m_database->open();
        loadContributors();
        locateGiftFile();

        m_to = m_lastDate;
        m_from = m_to.addYears(-1).addDays(1);
        out << "data: " << m_dataDir << "\n"
            << "      " << m_contributors.size() << " contributors, gift lines in " << m_giftFile << " ("
            << QFileInfo(m_giftFile).size() / (1024 * 1024) << " MiB); seek range " << m_from.toString(Qt::ISODate)
            << " to " << m_to.toString(Qt::ISODate) << "\n"
            << "      " << m_runs << " runs a side, figures are min / median, ratio of medians layer / plain\n\n";
        out.flush();

        if (wanted(QStringLiteral("scan")))
            compare(QStringLiteral("scan 1M lines in CBTax order, 4 fields"), [this] { return layerScan(); },
                    [this] { return plainScan(); });
        if (wanted(QStringLiteral("seek")))
            compare(QStringLiteral("seek CBTax per contributor, 4 fields"), [this] { return layerSeek(); },
                    [this] { return plainSeek(); });
        if (wanted(QStringLiteral("append"))) {
            makeAppendRows();
            compare(QStringLiteral("append 1M rows, 2nd index, 1 txn"), [this] { return layerAppend(false); },
                    [this] { return plainAppend(false); });
            compare(QStringLiteral("append, scratch settings, 64 MiB cache"), [this] { return layerAppend(true); },
                    [this] { return plainAppend(true); });
        }
        m_database->close();
    }

private:
    void loadContributors()
    {
        data::Table people;
        people.setDatabaseName(QStringLiteral("BENCH"));
        people.setTableName(QString::fromLatin1(data::catalogue::kPeople));
        people.open();
        data::Field family = people.fieldByName(QStringLiteral("Family_Number"));
        data::Field individual = people.fieldByName(QStringLiteral("Individual_Number"));
        for (people.first(); !people.eof(); people.next())
            m_contributors.push_back({family.asString(), individual.asInteger()});
        people.close();
    }

    void locateGiftFile()
    {
        data::Table gifts;
        gifts.setDatabaseName(QStringLiteral("BENCH"));
        gifts.setTableName(QString::fromLatin1(data::catalogue::kGifts));
        gifts.open();
        m_giftFile = gifts.fileName();
        m_giftRows = gifts.recordCount();
        // the last day with gifts: the seek range is the year up to it (this pass also warms the cache)
        QDate last;
        data::Field date = gifts.fieldByName(QStringLiteral("Posted_Date"));
        for (gifts.first(); !gifts.eof(); gifts.next())
            last = std::max(last, date.asDate());
        m_lastDate = last;
        gifts.close();
    }

    // ------------------------------------------------ scan

    Check layerScan()
    {
        data::Table gifts;
        gifts.setDatabaseName(QStringLiteral("BENCH"));
        gifts.setTableName(QString::fromLatin1(data::catalogue::kGifts));
        gifts.setIndexName(QString::fromLatin1(data::catalogue::kCBTax));
        gifts.open();
        data::Field family = gifts.fieldByName(QStringLiteral("Family_Number"));
        data::Field individual = gifts.fieldByName(QStringLiteral("Individual_Number"));
        data::Field date = gifts.fieldByName(QStringLiteral("Posted_Date"));
        data::Field amount = gifts.fieldByName(QStringLiteral("Fund_Amount"));
        Check check;
        startClock();
        for (gifts.first(); !gifts.eof(); gifts.next()) {
            const QString f = family.asString();
            const qint32 i = individual.asInteger();
            const QDate d = date.asDate();
            const data::Currency c = amount.asCurrency();
            check.rows += 1;
            check.sum += f.size() + i + d.day() + c.raw;
        }
        stopClock();
        gifts.close();
        return check;
    }

    Check plainScan()
    {
        PlainDb db(m_giftFile, true);
        db.exec(kReadPragmas);
        Statement select(db.db(), QStringLiteral("SELECT Family_Number, Individual_Number, Posted_Date, Fund_Amount "
                                                 "FROM %1 ORDER BY Family_Number, Individual_Number, Posted_Date, Detail_ID")
                                      .arg(giftTableSql()));
        Check check;
        startClock();
        while (select.step()) {
            const QString f = columnText(select.get(), 0);
            const qint32 i = sqlite3_column_int(select.get(), 1);
            const QDate d = storedDate(sqlite3_column_int64(select.get(), 2));
            const qint64 c = sqlite3_column_int64(select.get(), 3);
            check.rows += 1;
            check.sum += f.size() + i + d.day() + c;
        }
        stopClock();
        return check;
    }

    // ------------------------------------------------ seek

    Check layerSeek()
    {
        data::Table gifts;
        gifts.setDatabaseName(QStringLiteral("BENCH"));
        gifts.setTableName(QString::fromLatin1(data::catalogue::kGifts));
        gifts.setIndexName(QString::fromLatin1(data::catalogue::kCBTax));
        gifts.open();
        data::Field flag = gifts.fieldByName(QStringLiteral("Posted_Flag"));
        data::Field fund = gifts.fieldByName(QStringLiteral("Fund_Number"));
        data::Field date = gifts.fieldByName(QStringLiteral("Posted_Date"));
        data::Field amount = gifts.fieldByName(QStringLiteral("Fund_Amount"));
        Check check;
        startClock();
        for (const Contributor &c : m_contributors) {
            gifts.setRange({c.family, c.individual, m_from}, {c.family, c.individual, m_to});
            for (gifts.first(); !gifts.eof(); gifts.next()) {
                const QString p = flag.asString();
                const qint32 n = fund.asInteger();
                const QDate d = date.asDate();
                const data::Currency a = amount.asCurrency();
                check.rows += 1;
                check.sum += p.size() + n + d.day() + a.raw;
            }
        }
        stopClock();
        gifts.close();
        return check;
    }

    Check plainSeek()
    {
        PlainDb db(m_giftFile, true);
        db.exec(kReadPragmas);
        Statement select(db.db(),
                         QStringLiteral("SELECT Posted_Flag, Fund_Number, Posted_Date, Fund_Amount FROM %1 "
                                        "WHERE Family_Number = ?1 AND Individual_Number = ?2 "
                                        "AND Posted_Date BETWEEN ?3 AND ?4 ORDER BY Posted_Date, Detail_ID")
                             .arg(giftTableSql()));
        sqlite3_stmt *s = select.get();
        const qint64 from = dateToStored(m_from);
        const qint64 to = dateToStored(m_to);
        Check check;
        startClock();
        for (const Contributor &c : m_contributors) {
            const QByteArray family = c.family.toUtf8();
            sqlite3_bind_text(s, 1, family.constData(), int(family.size()), SQLITE_STATIC);
            sqlite3_bind_int(s, 2, c.individual);
            sqlite3_bind_int64(s, 3, from);
            sqlite3_bind_int64(s, 4, to);
            while (select.step()) {
                const QString p = columnText(s, 0);
                const qint32 n = sqlite3_column_int(s, 1);
                const QDate d = storedDate(sqlite3_column_int64(s, 2));
                const qint64 a = sqlite3_column_int64(s, 3);
                check.rows += 1;
                check.sum += p.size() + n + d.day() + a;
            }
            sqlite3_reset(s);
        }
        stopClock();
        return check;
    }

    // ------------------------------------------------ append

    void makeAppendRows()
    {
        // extract-like rows: envelope numbers, project codes, a year of dates
        const int count = 1000000;
        m_appendRows.reserve(count);
        quint64 state = 12345;
        const auto next = [&state] {
            state = state * 6364136223846793005ull + 1442695040888963407ull;
            return quint32(state >> 33);
        };
        const QStringList projects{QStringLiteral("GF"), QStringLiteral("BLDG001"), QStringLiteral("42"),
                                   QStringLiteral("1234567"), QStringLiteral("24 fund"), QStringLiteral("100"),
                                   QStringLiteral("Étienne"), QStringLiteral("MSN2024")};
        const QDate first(2025, 1, 1);
        for (int i = 0; i < count; ++i) {
            m_appendRows.push_back({QString::number(101 + next() % 20000), projects.at(int(next() % projects.size())),
                                    first.addDays(next() % 365), qint64(next() % 100000) * 100});
        }
    }

    Check layerAppend(bool scratch)
    {
        QTemporaryDir dir(m_dataDir + QStringLiteral("/../bench-XXXXXX"));
        data::Database database(data::Session::defaultSession(), QStringLiteral("BENCH_APPEND"), dir.path());
        database.open();
        data::Table table;
        table.setDatabaseName(QStringLiteral("BENCH_APPEND"));
        table.setTableName(QStringLiteral("ExtractTable"));
        table.setScratch(scratch);   // before creating it, as the window does
        table.createTable(data::catalogue::extractTable());
        if (scratch)
            table.setCacheSizeKiB(kScratchCacheKiB);
        startClock();
        table.open();
        table.setIndexName(QString::fromLatin1(data::catalogue::kSortIndex));
        data::Field congregation = table.fieldByName(QStringLiteral("Congregation ID"));
        data::Field project = table.fieldByName(QStringLiteral("Project Description"));
        data::Field date = table.fieldByName(QStringLiteral("Gift Date"));
        data::Field amount = table.fieldByName(QStringLiteral("Gift Amount"));
        table.startTransaction();
        for (const AppendRow &row : m_appendRows) {
            table.append();
            congregation.setAsString(row.congregation);
            project.setAsString(row.project);
            date.setAsDate(row.date);
            amount.setAsCurrency(data::Currency::fromRaw(row.amount));
            table.post();
        }
        table.commit();
        const QString file = table.fileName();
        table.close();
        stopClock();
        QStringList &schemaOut = m_extractSchema[scratch ? 1 : 0];
        if (schemaOut.isEmpty()) {
            // the plain side builds the same records table and indexes
            PlainDb db(file, true);
            Statement schema(db.db(), QStringLiteral("SELECT sql FROM sqlite_master WHERE tbl_name = 'records' "
                                                     "AND sql IS NOT NULL ORDER BY type DESC, name"));
            while (schema.step())
                schemaOut << columnText(schema.get(), 0);
            out << "  extract layout: " << schemaOut.join(QStringLiteral("; ")) << "\n";
        }
        Check check;
        check.rows = qint64(m_appendRows.size());
        return check;
    }

    Check plainAppend(bool scratch)
    {
        QTemporaryDir dir(m_dataDir + QStringLiteral("/../bench-XXXXXX"));
        const QString file = dir.filePath(QStringLiteral("plain.sqlite"));
        PlainDb db(file, false);
        // the records table first; a scratch table gets its index after the load, as the layer makes it
        const QStringList &schema = m_extractSchema[scratch ? 1 : 0];
        db.exec(scratch ? schema.first() : schema.join(QStringLiteral("; ")));
        if (scratch) {
            db.exec(QStringLiteral("PRAGMA synchronous=OFF"));
            db.exec(QStringLiteral("PRAGMA journal_mode=MEMORY"));
            db.exec(QStringLiteral("PRAGMA cache_size=-%1").arg(kScratchCacheKiB));
        }
        startClock();
        Statement insert(db.db(), QStringLiteral("INSERT INTO %1 (\"Congregation ID\", \"Project Description\", "
                                                 "\"Gift Date\", \"Gift Amount\") VALUES (?1, ?2, ?3, ?4)")
                                      .arg(QStringLiteral("records")));
        sqlite3_stmt *s = insert.get();
        db.exec(QStringLiteral("BEGIN"));
        for (const AppendRow &row : m_appendRows) {
            const QByteArray congregation = row.congregation.left(30).toUtf8();
            const QByteArray project = row.project.left(25).toUtf8();
            sqlite3_bind_text(s, 1, congregation.constData(), int(congregation.size()), SQLITE_STATIC);
            sqlite3_bind_text(s, 2, project.constData(), int(project.size()), SQLITE_STATIC);
            sqlite3_bind_int64(s, 3, dateToStored(row.date));
            sqlite3_bind_int64(s, 4, row.amount);
            insert.step();
            sqlite3_reset(s);
        }
        if (scratch)
            db.exec(schema.mid(1).join(QStringLiteral("; ")));
        db.exec(QStringLiteral("COMMIT"));
        stopClock();
        Check check;
        check.rows = qint64(m_appendRows.size());
        return check;
    }

    // ------------------------------------------------ the stored form (docs/table-format.md)

    // dates as Julian day numbers, currency as 1/10000 units, one "records" table a file
    static qint64 dateToStored(const QDate &d) { return d.toJulianDay(); }
    static QDate storedDate(qint64 v) { return QDate::fromJulianDay(v); }
    static QString giftTableSql() { return QStringLiteral("records"); }

    // ------------------------------------------------ timing and report

    void startClock() { m_clock.start(); }
    void stopClock() { m_elapsed = double(m_clock.nsecsElapsed()) / 1e9; }

    void compare(const QString &name, const std::function<Check()> &layer, const std::function<Check()> &plain)
    {
        Timing layerTiming, plainTiming;
        Check layerCheck, plainCheck;
        for (int run = 0; run < m_runs; ++run) {
            if (m_side != QLatin1String("plain")) {
                layerCheck = layer();
                layerTiming.seconds.push_back(m_elapsed);
            }
            if (m_side != QLatin1String("layer")) {
                plainCheck = plain();
                plainTiming.seconds.push_back(m_elapsed);
            }
        }
        if (!m_side.isEmpty()) {
            const Timing &t = layerTiming.seconds.empty() ? plainTiming : layerTiming;
            out << name << QString::asprintf(": %s only, %.3f / %.3f s\n", qPrintable(m_side), t.min(), t.median());
            return;
        }
        layerTiming.rows = layerCheck.rows;
        plainTiming.rows = plainCheck.rows;
        const double ratio = layerTiming.median() / plainTiming.median();
        out << name << "\n"
            << QString::asprintf("  layer %7.3f / %7.3f s  %9.0f rows/s\n", layerTiming.min(), layerTiming.median(),
                                 double(layerTiming.rows) / layerTiming.median())
            << QString::asprintf("  plain %7.3f / %7.3f s  %9.0f rows/s\n", plainTiming.min(), plainTiming.median(),
                                 double(plainTiming.rows) / plainTiming.median())
            << QString::asprintf("  ratio %.2f (target <= 1.50)%s  rows %lld%s\n", ratio,
                                 ratio <= 1.5 ? "" : "  MISSED", static_cast<long long>(layerTiming.rows),
                                 layerCheck == plainCheck ? "" : "  (the two sides read different values!)");
        out.flush();
    }

    bool wanted(const QString &workload) const { return m_only.isEmpty() || m_only == workload; }

    QString m_dataDir;
    int m_runs;
    QString m_only;   // one workload only (for profiling)
    QString m_side;   // one side only (for profiling)
    QStringList m_passwords;
    std::unique_ptr<data::Database> m_database;
    std::vector<Contributor> m_contributors;
    std::vector<AppendRow> m_appendRows;
    QString m_giftFile;
    QStringList m_extractSchema[2];   // as the layer makes it: shared, scratch
    int m_giftRows = 0;
    QDate m_lastDate, m_from, m_to;
    QElapsedTimer m_clock;
    double m_elapsed = 0;
};

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QStringList args = QCoreApplication::arguments();
    args.removeFirst();
    int runs = 3;
    QString dir, only, side;
    for (int i = 0; i < args.size(); ++i) {
        if (args.at(i) == QLatin1String("--runs") && i + 1 < args.size()) {
            runs = std::max(1, args.at(++i).toInt());
        } else if (args.at(i) == QLatin1String("--only") && i + 1 < args.size()) {
            only = args.at(++i);
        } else if (args.at(i) == QLatin1String("--side") && i + 1 < args.size()) {
            side = args.at(++i);
        } else if (args.at(i).startsWith(QLatin1Char('-')) || !dir.isEmpty()) {
            err << "usage: bench_data [DIR] [--runs N] [--only scan|seek|append] [--side layer|plain]\n";
            return 2;
        } else {
            dir = args.at(i);
        }
    }

    std::unique_ptr<QTemporaryDir> temporary;
    if (dir.isEmpty()) {
        temporary = std::make_unique<QTemporaryDir>();
        dir = temporary->filePath(QStringLiteral("suite"));
    }
    const QString dataDir = QDir(dir).filePath(QStringLiteral("Suite/ZELDATA"));
    try {
        if (!QFileInfo(dataDir).isDir()) {
            DemoSuite::Options options;
            options.size = DemoSuite::Size::Large;
            QElapsedTimer timer;
            timer.start();
            options.progress = [&timer](const QString &text) {
                err << QString::asprintf("%7.1f s  ", double(timer.elapsed()) / 1000.0) << text << Qt::endl;
            };
            const DemoSuite::Installation suite = DemoSuite::write(dir, options);
            out << QString::asprintf("made the large installation in %.1f s (%d people, %d gift lines)\n",
                                     double(timer.elapsed()) / 1000.0, suite.peopleCount, suite.giftCount);
        }
        Bench(dataDir, runs, only, side).run();
    } catch (const std::exception &e) {
        err << "bench_data: " << e.what() << Qt::endl;
        return 1;
    }
    return 0;
}
