#include "data/Engine.h"
#include "data/Table.h"
#include "platform/Regional.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

#include <sqlite3.h>

#include <algorithm>
#include <functional>
#include <limits>
#include <unistd.h>

using namespace data;

namespace {

const QString kAlias = QStringLiteral("TEST_DATA");

FieldDef fd(const QString &name, FieldType type, int size = 0, bool required = false)
{
    return FieldDef{name, type, size, required};
}

IndexDef ix(const QString &name, const QStringList &fields, bool caseInsensitive = false, bool unique = false,
            bool descending = false)
{
    IndexDef d;
    d.name = name;
    d.fields = fields;
    d.primary = name.isEmpty();
    d.unique = unique || d.primary;
    d.caseInsensitive = caseInsensitive;
    d.descending = descending;
    return d;
}

// Gift lines keyed like the suite's contribution details.
TableDef giftDef()
{
    TableDef def;
    def.name = QStringLiteral("AWCBDET1");
    def.fields = {fd("Gift_ID", FieldType::Integer, 0, true), fd("Family_Number", FieldType::String, 10),
                  fd("Individual_Number", FieldType::Integer), fd("Posted_Date", FieldType::Date),
                  fd("Fund_Number", FieldType::Integer), fd("Fund_Amount", FieldType::Currency),
                  fd("Posted_Flag", FieldType::String, 1)};
    def.indexes = {ix({}, {"Gift_ID"}),
                   ix("CBTax", {"Family_Number", "Individual_Number", "Posted_Date", "Gift_ID"}, true)};
    return def;
}

QString peerPath()
{
    return QStringLiteral(TALLYPORT_TOOLS_DIR "/table_peer");
}

// Runs the other program to completion; returns its exit code.
int peerWrite(const QString &file, const QString &sql, QString *errorText = nullptr)
{
    QProcess p;
    p.start(peerPath(), {QStringLiteral("write"), file, sql});
    if (!p.waitForFinished(10000))
        return -1;
    if (errorText)
        *errorText = QString::fromLocal8Bit(p.readAllStandardError());
    return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

// The statement that made an SQL index of a table file, as the file keeps it.
QString indexSql(const QString &file, const char *index)
{
    sqlite3 *db = nullptr;
    QString sql;
    if (sqlite3_open_v2(QFile::encodeName(file).constData(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_stmt *st = nullptr;
        if (sqlite3_prepare_v2(db, "SELECT sql FROM sqlite_schema WHERE type = 'index' AND name = ?", -1, &st, nullptr)
            == SQLITE_OK) {
            sqlite3_bind_text(st, 1, index, -1, SQLITE_STATIC);
            if (sqlite3_step(st) == SQLITE_ROW)
                sql = QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(st, 0)));
        }
        sqlite3_finalize(st);
    }
    sqlite3_close(db);
    return sql;
}

QByteArray fileBytes(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QString errorOf(const std::function<void()> &fn)
{
    try {
        fn();
    } catch (const ConversionError &e) {
        return QStringLiteral("conversion: ") + e.message();
    } catch (const EngineError &e) {
        return e.message();
    }
    return {};
}

} // namespace

class TestTable : public QObject {
    Q_OBJECT

    QTemporaryDir *m_dir = nullptr;
    Database *m_db = nullptr;

    QString dir() const { return m_dir->path(); }

    void create(const TableDef &def, bool scratch = false)
    {
        Table t;
        t.setDatabaseName(kAlias);
        t.setTableName(def.name);
        t.setScratch(scratch);
        t.createTable(def);
    }

    void addGift(Table &t, int id, const QString &family, int individual, const QDate &date, int fund,
                 qint64 amountRaw, const QString &flag = QStringLiteral("0"))
    {
        t.append();
        t.fieldByName("Gift_ID").setAsInteger(id);
        t.fieldByName("Family_Number").setAsString(family);
        t.fieldByName("Individual_Number").setAsInteger(individual);
        t.fieldByName("Posted_Date").setAsDate(date);
        t.fieldByName("Fund_Number").setAsInteger(fund);
        t.fieldByName("Fund_Amount").setAsCurrency(Currency::fromRaw(amountRaw));
        t.fieldByName("Posted_Flag").setAsString(flag);
        t.post();
    }

    // Three contributors, a gift on each of the first days of March 2024.
    // awpeindv with people 1..count (family i / 3, code P00001 on), open in
    // number order; the index ByCode has the same order on a text key.
    void openNumberedPeople(Table &t, int count)
    {
        TableDef def;
        def.name = "awpeindv";
        def.fields = {fd("Individual_Number", FieldType::Integer), fd("Family_Number", FieldType::String, 10),
                      fd("Envelope_Number", FieldType::String, 10), fd("Code", FieldType::String, 10)};
        def.indexes = {ix({}, {"Individual_Number"}), ix("ByCode", {"Code"})};
        create(def);
        t.setDatabaseName(kAlias);
        t.setTableName("awpeindv");
        t.open();
        t.startTransaction();
        for (int i = 1; i <= count; ++i) {
            t.append();
            t.fieldByName("Individual_Number").setAsInteger(i);
            t.fieldByName("Family_Number").setAsString(QString::number(i / 3));
            t.fieldByName("Code").setAsString(QStringLiteral("P%1").arg(i, 5, 10, QLatin1Char('0')));
            t.post();
        }
        t.commit();
    }

    void fillGifts()
    {
        create(giftDef());
        Table t;
        t.setDatabaseName(kAlias);
        t.setTableName("AWCBDET1");
        t.open();
        t.startTransaction();
        int id = 0;
        for (const QString &family : {QStringLiteral("F1"), QStringLiteral("f2"), QStringLiteral("F3")})
            for (int individual = 1; individual <= 2; ++individual)
                for (int day = 1; day <= 5; ++day) {
                    ++id;
                    addGift(t, id, family, individual, QDate(2024, 3, day), 100 + day, 250000 + id);
                }
        t.commit();
    }

    static QList<int> passIds(Table &t, const char *field = "Gift_ID")
    {
        QList<int> ids;
        Field f = t.fieldByName(field);
        for (t.first(); !t.eof(); t.next())
            ids << f.asInteger();
        return ids;
    }

private slots:
    void init();
    void cleanup();

    void roundTripsEveryAccessor_data();
    void roundTripsEveryAccessor();
    void textFormsOfDates_data();
    void textFormsOfDates();
    void textFormsOfAmounts_data();
    void textFormsOfAmounts();
    void appendStringMatchesAsString_data();
    void appendStringMatchesAsString();
    void nullsReadAsEmptyOrZero();
    void memoLinesRoundTrip();
    void fileFoundWithoutRegardToCase();
    void passVisitsEveryRecordInIndexOrder_data();
    void passVisitsEveryRecordInIndexOrder();
    void fieldFirstReadLateInPass();
    void tableMadeByAnotherProgram_data();
    void tableMadeByAnotherProgram();
    void lastFirstAndEof();
    void keySearchOnMixedKey();
    void keySearchBadValues_data();
    void keySearchBadValues();
    void rangeIncludesBothEnds_data();
    void rangeIncludesBothEnds();
    void filterSelectsRecords_data();
    void filterSelectsRecords();
    void badFilterIsRejected_data();
    void badFilterIsRejected();
    void locateAndFieldNamesIgnoreCase();
    void keyViolationKeepsRecordInInsertState();
    void editAndDelete();
    void autoIncrementAndTransactions();
    void emptyAndDeleteTable();
    void badTableFiles_data();
    void badTableFiles();
    void protectedTableNeedsSessionPassword();
    void lockedTableFailsAfterLockSettings();
    void otherProgramWritesBetweenRecords();
    void heldReadLock_data();
    void heldReadLock();
    void refreshSeesOtherProgramsChanges();
    void readOnlyDirectoryFailsCleanly();
};

void TestTable::init()
{
    platform::setRegionalOverride(platform::RegionalSettings::unitedStates());
    Engine::instance().setLockSettings(LockSettings{});
    m_dir = new QTemporaryDir;
    QVERIFY(m_dir->isValid());
    m_db = new Database(Session::defaultSession(), kAlias, m_dir->path());
}

void TestTable::cleanup()
{
    delete m_db;
    m_db = nullptr;
    delete m_dir;
    m_dir = nullptr;
    platform::setRegionalOverride(std::nullopt);
}

void TestTable::roundTripsEveryAccessor_data()
{
    QTest::addColumn<bool>("comma");
    QTest::addColumn<QString>("currencyText");
    QTest::addColumn<QString>("floatText");
    QTest::addColumn<QString>("dateText");
    QTest::addColumn<QString>("dateTimeText");
    QTest::addRow("US settings") << false << "25.5" << "1234567.8" << "3/1/2024" << "3/1/2024 2:05 PM";
    QTest::addRow("comma decimal") << true << "25,5" << "1234567,8" << "01.03.2024" << "01.03.2024 14:05";
}

void TestTable::roundTripsEveryAccessor()
{
    QFETCH(bool, comma);
    QFETCH(QString, currencyText);
    QFETCH(QString, floatText);
    QFETCH(QString, dateText);
    QFETCH(QString, dateTimeText);
    if (comma)
        platform::setRegionalOverride(platform::RegionalSettings::commaDecimal());

    TableDef def;
    def.name = "Everything";
    def.fields = {fd("Code", FieldType::String, 5), fd("Count", FieldType::Integer),
                  fd("Big", FieldType::Largeint), fd("Ratio", FieldType::Float), fd("Amount", FieldType::Currency),
                  fd("Day", FieldType::Date), fd("Stamp", FieldType::DateTime), fd("Flag", FieldType::Boolean),
                  fd("Notes", FieldType::Memo)};
    def.indexes = {ix({}, {"Code"})};
    create(def);

    Table t;
    t.setDatabaseName(kAlias);
    t.setTableName("Everything");
    t.open();
    t.append();
    t.fieldByName("Code").setAsString("Hello World");           // cut to 5
    t.fieldByName("Count").setAsString("42");
    t.fieldByName("Big").setAsLargeInt(9000000000123LL);
    t.fieldByName("Ratio").setAsFloat(1234567.8);
    t.fieldByName("Amount").setAsCurrency(Currency::fromRaw(255000));
    t.fieldByName("Day").setAsDate(QDate(2024, 3, 1));
    t.fieldByName("Stamp").setAsDateTime(QDateTime(QDate(2024, 3, 1), QTime(14, 5)));
    t.fieldByName("Flag").setAsBoolean(true);
    t.fieldByName("Notes").setAsString("free text");
    t.post();
    t.close();

    t.open();
    QVERIFY(!t.eof());
    QCOMPARE(t.fieldByName("Code").asString(), QString("Hello"));
    QCOMPARE(t.fieldByName("Count").asInteger(), 42);
    QCOMPARE(t.fieldByName("Count").asString(), QString("42"));
    QCOMPARE(t.fieldByName("Big").asLargeInt(), 9000000000123LL);
    QCOMPARE(t.fieldByName("Ratio").asFloat(), 1234567.8);
    QCOMPARE(t.fieldByName("Ratio").asString(), floatText);
    QCOMPARE(t.fieldByName("Amount").asCurrency(), Currency::fromRaw(255000));
    QCOMPARE(t.fieldByName("Amount").asString(), currencyText);
    QCOMPARE(t.fieldByName("Day").asDateTime(), QDateTime(QDate(2024, 3, 1), QTime(0, 0)));
    QCOMPARE(t.fieldByName("Day").asString(), dateText);
    QCOMPARE(t.fieldByName("Stamp").asDateTime(), QDateTime(QDate(2024, 3, 1), QTime(14, 5)));
    QCOMPARE(t.fieldByName("Stamp").asString(), dateTimeText);
    QCOMPARE(t.fieldByName("Flag").asBoolean(), true);
    QCOMPARE(t.fieldByName("Notes").asString(), QString("free text"));

    // Text written in the user's form converts back exactly.
    t.edit();
    t.fieldByName("Amount").setAsString(comma ? "-0,0001" : "-0.0001");
    t.fieldByName("Day").setAsString(dateText);
    t.fieldByName("Code").setAsString(QString::fromUtf8("\u00c6r\u00f8 \u00c5ndersen"));   // cut to 5, not ASCII
    t.post();
    QCOMPARE(t.fieldByName("Code").asString(), QString::fromUtf8("\u00c6r\u00f8 \u00c5"));
    QCOMPARE(t.fieldByName("Amount").asCurrency(), Currency::fromRaw(-1));
    QCOMPARE(t.fieldByName("Amount").asString(), comma ? QString("-0,0001") : QString("-0.0001"));
    QCOMPARE(t.fieldByName("Day").asDate(), QDate(2024, 3, 1));
    QVERIFY_THROWS_EXCEPTION(ConversionError, t.fieldByName("Code").asInteger());
}

// Dates are written from the short date format without going through Qt's
// formatter for the plain patterns; every pattern must read as Qt writes it.
void TestTable::textFormsOfDates_data()
{
    QTest::addColumn<QString>("format");
    QTest::addColumn<QString>("timeFormat");
    for (const char *format : {"M/d/yyyy", "dd.MM.yyyy", "d/M/yy", "yyyy-MM-dd", "dd MMM yyyy",
                               "dddd d MMMM yyyy", "'Date:' d/M", "yyy.M.d", "d-M-y", "yyyy-MM-dd / d.M.yy (dd)"})
        QTest::addRow("%s", format) << QString::fromLatin1(format) << QStringLiteral("h:mm AP");
    QTest::addRow("24-hour time") << QStringLiteral("d.M.yyyy") << QStringLiteral("HH:mm:ss");
}

void TestTable::textFormsOfDates()
{
    QFETCH(QString, format);
    QFETCH(QString, timeFormat);
    platform::RegionalSettings regional = platform::RegionalSettings::unitedStates();
    regional.shortDateFormat = format;
    regional.shortTimeFormat = timeFormat;
    platform::setRegionalOverride(regional);

    TableDef def;
    def.name = "Dates";
    def.fields = {fd("Id", FieldType::AutoInc), fd("Day", FieldType::Date), fd("Stamp", FieldType::DateTime)};
    def.indexes = {ix({}, {"Id"})};
    create(def);
    const QList<QDateTime> values{QDateTime(QDate(2024, 3, 1), QTime(14, 5)), QDateTime(QDate(1999, 12, 31), QTime(0, 0)),
                                  QDateTime(QDate(2005, 1, 9), QTime(9, 7, 3)), QDateTime(QDate(987, 10, 20), QTime(23, 59)),
                                  QDateTime(QDate(1899, 12, 30), QTime(0, 0, 1))};
    Table t;
    t.setDatabaseName(kAlias);
    t.setTableName("Dates");
    t.open();
    for (const QDateTime &v : values) {
        t.append();
        t.fieldByName("Day").setAsDate(v.date());
        t.fieldByName("Stamp").setAsDateTime(v);
        t.post();
    }
    int n = 0;
    for (t.first(); !t.eof(); t.next(), ++n) {
        const QDateTime &v = values[n];
        const QString date = v.date().toString(format);
        QCOMPARE(t.fieldByName("Day").asString(), date);
        QCOMPARE(t.fieldByName("Stamp").asString(),
                 v.time() == QTime(0, 0) ? date : date + ' ' + v.time().toString(timeFormat));
    }
    QCOMPARE(n, values.size());
}

void TestTable::textFormsOfAmounts_data()
{
    QTest::addColumn<qint64>("raw");
    QTest::addColumn<QString>("text");   // with the decimal point; a comma in the comma settings
    QTest::addRow("zero") << qint64(0) << "0";
    QTest::addRow("whole") << qint64(1250000) << "125";
    QTest::addRow("trailing zeros cut") << qint64(255000) << "25.5";
    QTest::addRow("ten-thousandth") << qint64(-1) << "-0.0001";
    QTest::addRow("below one") << qint64(-4500) << "-0.45";
    QTest::addRow("fifteen digits") << qint64(123456789012345) << "12345678901.2345";
    QTest::addRow("sixteen digits rounded") << qint64(1234567890123456) << "123456789012.346";
    QTest::addRow("large whole") << qint64(9000000000000000000) << "900000000000000";
    QTest::addRow("smallest") << std::numeric_limits<qint64>::min() << "-922337203685478";
}

void TestTable::textFormsOfAmounts()
{
    QFETCH(qint64, raw);
    QFETCH(QString, text);
    TableDef def;
    def.name = "Amounts";
    def.fields = {fd("Id", FieldType::AutoInc), fd("Amount", FieldType::Currency)};
    def.indexes = {ix({}, {"Id"})};
    create(def);
    Table t;
    t.setDatabaseName(kAlias);
    t.setTableName("Amounts");
    t.open();
    t.append();
    t.fieldByName("Amount").setAsCurrency(Currency::fromRaw(raw));
    t.post();
    QCOMPARE(t.fieldByName("Amount").asString(), text);
    platform::setRegionalOverride(platform::RegionalSettings::commaDecimal());
    QCOMPARE(t.fieldByName("Amount").asString(), QString(text).replace('.', ','));
}

// The writers append text forms into one reused buffer; every field type must
// give the characters asString gives, after what the buffer already holds.
// Regional settings whose dates and decimal point fall outside ASCII.
platform::RegionalSettings nonAsciiForms()
{
    platform::RegionalSettings rs = platform::RegionalSettings::unitedStates();
    rs.shortDateFormat = QString::fromUtf8("dd\u00b7MM\u00b7yyyy");
    rs.decimalSeparator = QChar(0x066b);
    return rs;
}

void TestTable::appendStringMatchesAsString_data()
{
    QTest::addColumn<int>("settings");   // 0: US, 1: comma decimal, 2: outside ASCII
    QTest::addColumn<int>("type");
    QTest::addColumn<QVariant>("value");   // an invalid variant stores null
    QTest::addColumn<bool>("bytePath");
    struct Case {
        const char *name;
        FieldType type;
        QVariant value;
        bool bytePath;   // the writers' byte path takes its text form when that is ASCII
    };
    const QList<Case> cases{
        {"null text", FieldType::String, QVariant(), true},
        {"null integer", FieldType::Integer, QVariant(), true},
        {"null currency", FieldType::Currency, QVariant(), true},
        {"null date", FieldType::Date, QVariant(), true},
        {"null date-time", FieldType::DateTime, QVariant(), true},
        {"null float", FieldType::Float, QVariant(), true},
        {"ASCII text", FieldType::String, QStringLiteral("P123456 \"quoted\", comma"), true},
        {"non-ASCII text", FieldType::String, QString::fromUtf8("\u00c6r\u00f8 \u00c5ndersen \u20ac"), true},
        {"text beyond 16 bits", FieldType::String, QString::fromUtf8("Gift \U0001F381 line"), true},
        {"memo", FieldType::Memo, QStringLiteral("first\r\nsecond"), true},
        {"bytes not UTF-8", FieldType::Blob, QByteArray("ab\xff\xfe" "cd"), false},
        {"integer", FieldType::Integer, QVariant(123456), true},
        {"negative integer", FieldType::Integer, QVariant(-42), true},
        {"smallest largeint", FieldType::Largeint, QVariant(std::numeric_limits<qint64>::min()), true},
        {"true", FieldType::Boolean, QVariant(true), false},
        {"false", FieldType::Boolean, QVariant(false), false},
        {"float", FieldType::Float, QVariant(1234567.8), false},
        {"negative float", FieldType::Float, QVariant(-0.000012), false},
        {"large float", FieldType::Float, QVariant(1e20), false},
        {"currency", FieldType::Currency, QVariant(qint64(255000)), true},
        {"currency whole", FieldType::Currency, QVariant(qint64(1250000)), true},
        {"negative currency", FieldType::Currency, QVariant(qint64(-4500)), true},
        {"currency at 15 digits", FieldType::Currency, QVariant(qint64(123456789012345)), true},
        {"negative currency at 15 digits", FieldType::Currency, QVariant(qint64(-999999999999999)), true},
        {"currency beyond 15 digits", FieldType::Currency, QVariant(qint64(1234567890123456)), false},
        {"smallest currency", FieldType::Currency, QVariant(std::numeric_limits<qint64>::min()), false},
        {"date", FieldType::Date, QDate(2005, 1, 9), true},
        {"date before year 1000", FieldType::Date, QDate(987, 10, 20), true},
        {"date-time at midnight", FieldType::DateTime, QDateTime(QDate(2024, 3, 1), QTime(0, 0)), false},
        {"date-time", FieldType::DateTime, QDateTime(QDate(2024, 12, 31), QTime(14, 5, 7)), false},
        {"time", FieldType::Time, QTime(9, 7), false},
    };
    const char *settingsNames[] = {"US", "comma decimal", "outside ASCII"};
    for (int settings : {0, 1, 2})
        for (const Case &c : cases)
            QTest::addRow("%s, %s", settingsNames[settings], c.name) << settings << int(c.type) << c.value << c.bytePath;
}

void TestTable::appendStringMatchesAsString()
{
    QFETCH(int, settings);
    QFETCH(int, type);
    QFETCH(QVariant, value);
    QFETCH(bool, bytePath);
    if (settings == 1)
        platform::setRegionalOverride(platform::RegionalSettings::commaDecimal());
    else if (settings == 2)
        platform::setRegionalOverride(nonAsciiForms());

    TableDef def;
    def.name = "Forms";
    def.fields = {fd("Id", FieldType::AutoInc), fd("V", FieldType(type), FieldType(type) == FieldType::String ? 40 : 0)};
    def.indexes = {ix({}, {"Id"})};
    create(def);
    Table t;
    t.setDatabaseName(kAlias);
    t.setTableName("Forms");
    t.open();
    t.append();
    Field f = t.fieldByName("V");
    if (FieldType(type) == FieldType::Currency && value.isValid())
        f.setAsCurrency(Currency::fromRaw(value.toLongLong()));   // the raw fixed-point value
    else
        f.setValue(value);
    t.post();
    t.close();
    t.open();   // read back from a batch, as a pass reads it
    QVERIFY(!t.eof());
    f = t.fieldByName("V");
    QCOMPARE(f.isNull(), !value.isValid());

    const QString expected = f.asString();
    QCOMPARE(expected.isEmpty(), !value.isValid());
    QString buffer = QStringLiteral("x,");
    f.appendString(buffer);
    QCOMPARE(buffer, QStringLiteral("x,") + expected);
    // Reused: cut back and filled again, as the writers do field after field.
    buffer.truncate(0);
    f.appendString(buffer);
    QCOMPARE(buffer, expected);

    // The writers' way round the string: the same characters as bytes,
    // taken whenever the text form is ASCII and the value is text, an
    // integer, currency or a date.
    Field::AsciiScratch scratch;
    std::string_view bytes;
    const bool ascii = std::all_of(expected.begin(), expected.end(), [](QChar c) { return c.unicode() < 0x80; });
    const bool taken = f.asciiText(&bytes, scratch);
    QCOMPARE(taken, ascii && bytePath);
    if (taken)
        QCOMPARE(QString::fromLatin1(bytes.data(), qsizetype(bytes.size())), expected);
}

void TestTable::nullsReadAsEmptyOrZero()
{
    TableDef def;
    def.name = "Sparse";
    def.fields = {fd("Id", FieldType::AutoInc), fd("Name", FieldType::String, 20), fd("N", FieldType::Integer),
                  fd("Amount", FieldType::Currency), fd("Day", FieldType::Date), fd("Notes", FieldType::Memo)};
    def.indexes = {ix({}, {"Id"})};
    create(def);
    Table t;
    t.setDatabaseName(kAlias);
    t.setTableName("Sparse");
    t.open();
    t.append();
    t.post();
    QCOMPARE(t.fieldByName("Id").asInteger(), 1);
    for (const char *name : {"Name", "N", "Amount", "Day", "Notes"}) {
        Field f = t.fieldByName(name);
        QVERIFY(f.isNull());
        QCOMPARE(f.asString(), QString());
        QCOMPARE(f.asInteger(), 0);
        QCOMPARE(f.asCurrency(), Currency{});
        QVERIFY(!f.asDateTime().isValid());
        QVERIFY(f.memoLines().isEmpty());
    }
}

void TestTable::memoLinesRoundTrip()
{
    TableDef def;
    def.name = "awgerpt";
    def.fields = {fd("ID", FieldType::Integer), fd("Level", FieldType::Integer), fd("ReportName", FieldType::String, 55),
                  fd("ReportInformation", FieldType::Memo)};
    def.indexes = {ix({}, {"ID"})};
    create(def);
    Table t;
    t.setDatabaseName(kAlias);
    t.setTableName("awgerpt");
    t.open();
    const QStringList lines{"2", "12,40,113", "1", "", "-1"};
    t.insert();
    t.fieldByName("ID").setAsInteger(20003);
    t.fieldByName("ReportInformation").setMemoLines(lines);
    t.post();
    t.close();
    t.open();
    QVERIFY(t.findKey({20003}));
    QCOMPARE(t.fieldByName("ReportInformation").memoText(), QString("2\r\n12,40,113\r\n1\r\n\r\n-1\r\n"));
    QCOMPARE(t.fieldByName("reportinformation").memoLines(), lines);
}

void TestTable::fileFoundWithoutRegardToCase()
{
    TableDef def;
    def.name = "ExtractTable";
    def.fields = {fd("Record_ID", FieldType::AutoInc), fd("Congregation ID", FieldType::String, 30)};
    def.indexes = {ix({}, {"Record_ID"})};
    create(def);
    QVERIFY(QFileInfo::exists(QDir(dir()).filePath("ExtractTable.zeldat")));

    Table t;
    t.setDatabaseName("test_data");
    t.setTableName("EXTRACTTABLE");
    QVERIFY(t.exists());
    t.open();
    QCOMPARE(QFileInfo(t.fileName()).fileName(), QString("ExtractTable.zeldat"));
    t.close();

    Table again;
    again.setDatabaseName(kAlias);
    again.setTableName("extracttable");
    const QString error = errorOf([&] { again.createTable(def); });
    QVERIFY2(error.contains("already exists"), qPrintable(error));

    t.deleteTable();
    QVERIFY(!t.exists());
    QVERIFY(QDir(dir()).entryList(QDir::Files).isEmpty());
}

void TestTable::passVisitsEveryRecordInIndexOrder_data()
{
    QTest::addColumn<QString>("index");
    QTest::addColumn<bool>("nocase");
    QTest::addColumn<bool>("descending");
    QTest::addColumn<bool>("scratch");   // indexes that carry every field, filled inside one transaction
    for (const bool scratch : {false, true}) {
        const char *kind = scratch ? "scratch table" : "shared table";
        QTest::addRow("case-insensitive, %s", kind) << "ByNameNoCase" << true << false << scratch;
        QTest::addRow("with case, %s", kind) << "ByName" << false << false << scratch;
        QTest::addRow("descending, %s", kind) << "ByNameDesc" << false << true << scratch;
    }
}

// Long runs of equal keys (and null keys) that cross the cursor's batches.
void TestTable::passVisitsEveryRecordInIndexOrder()
{
    QFETCH(QString, index);
    QFETCH(bool, nocase);
    QFETCH(bool, descending);
    QFETCH(bool, scratch);

    TableDef def;
    def.name = "People";
    def.fields = {fd("Id", scratch ? FieldType::AutoInc : FieldType::Integer), fd("Name", FieldType::String, 10),
                  fd("Num", FieldType::Integer)};
    def.indexes = {ix({}, {"Id"}), ix("ByNameNoCase", {"Name", "Num"}, true),
                   ix("ByName", {"Name", "Num"}, false), ix("ByNameDesc", {"Name", "Num"}, false, false, true)};
    create(def, scratch);

    struct Row {
        int id;
        QString name;   // null: no value
        int num;
    };
    const QStringList names{"adam", "Adam", "ADAM", "beth", "Carl", QString(), "carl"};
    QList<Row> rows;
    QRandomGenerator rng(7);
    Table t;
    t.setDatabaseName(kAlias);
    t.setTableName("People");
    t.setScratch(scratch);
    t.open();
    t.startTransaction();
    for (int id = 1; id <= 3000; ++id) {
        const Row r{id, names[int(rng.bounded(names.size()))], int(rng.bounded(3))};
        rows << r;
        t.append();
        t.fieldByName("Id").setAsInteger(r.id);
        if (!r.name.isNull())
            t.fieldByName("Name").setAsString(r.name);
        t.fieldByName("Num").setAsInteger(r.num);
        t.post();
    }
    t.commit();

    auto cmpName = [&](const QString &a, const QString &b) {
        if (a.isNull() || b.isNull())
            return int(!a.isNull()) - int(!b.isNull());   // null first
        return nocase ? a.compare(b, Qt::CaseInsensitive) : a.compare(b);
    };
    std::stable_sort(rows.begin(), rows.end(), [&](const Row &a, const Row &b) {
        int c = cmpName(a.name, b.name);
        if (c == 0)
            c = a.num - b.num;
        if (descending)
            c = -c;
        return c == 0 ? a.id < b.id : c < 0;
    });
    QList<int> expected;
    for (const Row &r : rows)
        expected << r.id;

    t.setIndexName(index);
    QCOMPARE(t.recordCount(), 3000);
    QCOMPARE(passIds(t, "Id"), expected);

    // A range over long runs: "from" and "to" follow the index order.
    const QString from = descending ? QStringLiteral("beth") : QStringLiteral("Adam");
    const QString to = descending ? QStringLiteral("Adam") : QStringLiteral("beth");
    const int sign = descending ? -1 : 1;
    QList<int> inRange;
    for (const Row &r : rows)
        if (sign * cmpName(r.name, from) >= 0 && sign * cmpName(r.name, to) <= 0)
            inRange << r.id;
    QVERIFY(inRange.size() > 500);
    t.setRange({from}, {to});
    QCOMPARE(t.recordCount(), inRange.size());
    QCOMPARE(passIds(t, "Id"), inRange);
}

// A pass that reads another field only after some batches still reads every value right.
void TestTable::fieldFirstReadLateInPass()
{
    TableDef def;
    def.name = "Wide";
    def.fields = {fd("Id", FieldType::Integer), fd("A", FieldType::String, 10), fd("B", FieldType::Integer),
                  fd("C", FieldType::Memo)};
    def.indexes = {ix({}, {"Id"})};
    create(def);
    Table t;
    t.setDatabaseName(kAlias);
    t.setTableName("Wide");
    t.open();
    t.startTransaction();
    for (int i = 1; i <= 3000; ++i) {
        t.append();
        t.fieldByName("Id").setAsInteger(i);
        t.fieldByName("A").setAsString(QString::number(i * 7));
        t.fieldByName("B").setAsInteger(i * 3);
        t.fieldByName("C").setAsString(QStringLiteral("memo %1").arg(i));
        t.post();
    }
    t.commit();
    t.close();
    t.open();
    Field id = t.fieldByName("Id"), a = t.fieldByName("A"), b = t.fieldByName("B"), c = t.fieldByName("C");
    int n = 0;
    for (t.first(); !t.eof(); t.next()) {
        ++n;
        QCOMPARE(id.asInteger(), n);
        if (n > 1500)
            QCOMPARE(b.asInteger(), n * 3);
        if (n > 2500)
            QCOMPARE(a.asString(), QString::number(n * 7));
    }
    QCOMPARE(n, 3000);
    QVERIFY(t.findKey({1234}));
    QCOMPARE(c.asString(), QString("memo 1234"));
    t.edit();                       // the record being edited holds every field
    b.setAsInteger(-1);
    t.post();
    QCOMPARE(c.asString(), QString("memo 1234"));
    QCOMPARE(a.asString(), QString::number(1234 * 7));
}

// The example of docs/table-format.md, made without the engine, opens and reads.
void TestTable::tableMadeByAnotherProgram_data()
{
    // How the other program declared the key field: the row id itself, or a
    // key SQLite keeps apart from the row id.
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("constraint");
    QTest::addRow("row id") << "\"Detail_ID\" INTEGER PRIMARY KEY," << QString();
    QTest::addRow("descending key") << "\"Detail_ID\" INTEGER PRIMARY KEY DESC," << QString();
    QTest::addRow("key of two fields") << "\"Detail_ID\" INTEGER,"
                                       << ", PRIMARY KEY (\"Detail_ID\", \"Family_Number\")";
}

void TestTable::tableMadeByAnotherProgram()
{
    QFETCH(QString, key);
    QFETCH(QString, constraint);
    const QString file = QDir(dir()).filePath("AWCBDET1.zeldat");
    {
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly));
    }
    const char *sql = R"(
PRAGMA application_id = 1514490964;
PRAGMA user_version = 1;
BEGIN;
CREATE TABLE zel_table (key TEXT PRIMARY KEY, value);
CREATE TABLE zel_fields (position INTEGER PRIMARY KEY, name TEXT NOT NULL,
    type INTEGER NOT NULL, size INTEGER NOT NULL DEFAULT 0, required INTEGER NOT NULL DEFAULT 0);
CREATE TABLE zel_indexes (position INTEGER PRIMARY KEY, name TEXT NOT NULL DEFAULT '',
    fields TEXT NOT NULL, is_primary INTEGER NOT NULL DEFAULT 0, is_unique INTEGER NOT NULL DEFAULT 0,
    case_insensitive INTEGER NOT NULL DEFAULT 0, descending INTEGER NOT NULL DEFAULT 0, sql_index TEXT);
INSERT INTO zel_table VALUES ('format', 1), ('name', 'AWCBDET1');
INSERT INTO zel_fields VALUES
    (0, 'Detail_ID',         14, 0,  0),
    (1, 'Family_Number',      1, 10, 0),
    (2, 'Individual_Number',  3, 0,  0),
    (3, 'Posted_Date',        9, 0,  0),
    (4, 'Fund_Number',        3, 0,  0),
    (5, 'Fund_Amount',        7, 0,  0),
    (6, 'Posted_Flag',        1, 1,  0);
INSERT INTO zel_indexes VALUES
    (0, '',      'Detail_ID', 1, 1, 0, 0, NULL),
    (1, 'CBTax', 'Family_Number;Individual_Number;Posted_Date', 0, 0, 1, 0, 'index_1');
CREATE TABLE records (
    %1
    "Family_Number" TEXT COLLATE NOCASE,
    "Individual_Number" INTEGER,
    "Posted_Date" INTEGER,
    "Fund_Number" INTEGER,
    "Fund_Amount" INTEGER,
    "Posted_Flag" TEXT%2);
CREATE INDEX "index_1" ON records ("Family_Number", "Individual_Number", "Posted_Date");
INSERT INTO records ("Detail_ID", "Family_Number", "Individual_Number", "Posted_Date", "Fund_Number",
                     "Fund_Amount", "Posted_Flag")
VALUES (7, 'F0001', 1, CAST(julianday('2024-03-01') + 0.5 AS INTEGER), 100, 255000, '0');
COMMIT;
)";
    QString err;
    QVERIFY2(peerWrite(file, QString::fromLatin1(sql).arg(key, constraint), &err) == 0, qPrintable(err));

    Table t;
    t.setDatabaseName(kAlias);
    t.setTableName("awcbdet1");
    t.setIndexName("CBTax");
    t.open();
    t.setRange({QString("f0001"), 1, QDate(2024, 3, 1)}, {QString("F0001"), 1, QDate(2024, 3, 1)});
    t.first();
    QVERIFY(!t.eof());
    QCOMPARE(t.fieldByName("Detail_ID").asInteger(), 7);
    QCOMPARE(t.fieldByName("Posted_Date").asDate(), QDate(2024, 3, 1));
    QCOMPARE(t.fieldByName("Fund_Amount").asString(), QString("25.5"));
    t.append();
    t.fieldByName("Family_Number").setAsString("F0002");
    if (constraint.isEmpty() && !key.contains("DESC")) {   // the row id numbers it
        t.post();
        QCOMPARE(t.fieldByName("Detail_ID").asInteger(), 8);
    } else {
        t.fieldByName("Detail_ID").setAsInteger(9);
        t.post();
        QCOMPARE(t.fieldByName("Detail_ID").asInteger(), 9);
        t.cancelRange();
        QVERIFY(t.findKey({QString("F0002")}));
        QCOMPARE(t.fieldByName("Detail_ID").asInteger(), 9);
    }
}

void TestTable::lastFirstAndEof()
{
    fillGifts();
    Table t;
    t.setDatabaseName(kAlias);
    t.setTableName("AWCBDET1");
    t.setIndexName("cbtax");
    t.open();
    t.last();
    QVERIFY(t.eof());
    QCOMPARE(t.fieldByName("Gift_ID").asInteger(), 30);
    t.first();
    QVERIFY(t.bof());
    QVERIFY(!t.eof());
    QCOMPARE(t.fieldByName("Gift_ID").asInteger(), 1);
    for (int i = 0; i < 29; ++i)
        t.next();
    QVERIFY(!t.eof());
    t.next();
    QVERIFY(t.eof());
    QCOMPARE(t.fieldByName("Gift_ID").asInteger(), 30);   // the last record stays current

    t.emptyTable();
    t.first();
    QVERIFY(t.eof());
    QVERIFY(t.isEmpty());
    t.last();
    QVERIFY(t.eof());
}

void TestTable::keySearchOnMixedKey()
{
    fillGifts();
    Table t;
    t.setDatabaseName(kAlias);
    t.setTableName("AWCBDET1");
    t.setIndexName("CBTax");
    t.open();

    // All three leading values, the integer given as text, the family without case.
    QVERIFY(t.findKey({QString("f1"), QString("2"), QDate(2024, 3, 4)}));
    QCOMPARE(t.fieldByName("Family_Number").asString(), QString("F1"));
    QCOMPARE(t.fieldByName("Individual_Number").asInteger(), 2);
    QCOMPARE(t.fieldByName("Posted_Date").asDate(), QDate(2024, 3, 4));
    QCOMPARE(t.fieldByName("Fund_Amount").asCurrency(), Currency::fromRaw(250009));

    // Fewer values: the first record whose leading fields match.
    QVERIFY(t.findKey({QString("F2")}));
    QCOMPARE(t.fieldByName("Gift_ID").asInteger(), 11);

    // Not found: false, and the record found before stays current.
    QVERIFY(!t.findKey({QString("F2"), 3}));
    QVERIFY(!t.findKey({QString("F1"), 1, QDate(2024, 2, 29)}));
    QCOMPARE(t.fieldByName("Gift_ID").asInteger(), 11);

    // The primary index: a text key converted to the integer field.
    t.setIndexName(QString());
    QVERIFY(t.findKey({QString("17")}));
    QCOMPARE(t.fieldByName("Family_Number").asString(), QString("f2"));
    QVERIFY(!t.findKey({QString("99")}));
    QCOMPARE(t.fieldByName("Gift_ID").asInteger(), 17);
}

void TestTable::keySearchBadValues_data()
{
    QTest::addColumn<QVariantList>("values");
    QTest::addColumn<QString>("error");
    QTest::addRow("text for the integer field") << QVariantList{QString("F1"), QString("abc")} << "conversion: 'abc'";
    QTest::addRow("not a date") << QVariantList{QString("F1"), 1, QString("31/31/2024")} << "conversion: '31/31/2024'";
    QTest::addRow("more values than key fields")
        << QVariantList{QString("F1"), 1, QDate(2024, 3, 1), 1, 5} << "Wrong number of key values";
    QTest::addRow("no values") << QVariantList{} << "Wrong number of key values";
}

void TestTable::keySearchBadValues()
{
    QFETCH(QVariantList, values);
    QFETCH(QString, error);
    fillGifts();
    Table t;
    t.setDatabaseName(kAlias);
    t.setTableName("AWCBDET1");
    t.setIndexName("CBTax");
    t.open();
    QVERIFY(t.findKey({QString("F3"), 2, QDate(2024, 3, 5)}));
    const QString message = errorOf([&] { t.findKey(values); });
    QVERIFY2(message.startsWith(error), qPrintable(message));
    if (!error.startsWith("conversion"))
        QVERIFY2(message.contains("AWCBDET1"), qPrintable(message));
    QCOMPARE(t.fieldByName("Gift_ID").asInteger(), 30);
    const QString rangeMessage = errorOf([&] { t.setRange(values, values); });
    QVERIFY2(rangeMessage.startsWith(error), qPrintable(rangeMessage));
}

void TestTable::rangeIncludesBothEnds_data()
{
    QTest::addColumn<QDate>("from");
    QTest::addColumn<QDate>("to");
    QTest::addColumn<QList<int>>("ids");
    QTest::addRow("both ends included") << QDate(2024, 3, 2) << QDate(2024, 3, 4) << QList<int>{7, 8, 9};
    QTest::addRow("one day") << QDate(2024, 3, 5) << QDate(2024, 3, 5) << QList<int>{10};
    QTest::addRow("wider than the data") << QDate(2023, 1, 1) << QDate(2025, 1, 1) << QList<int>{6, 7, 8, 9, 10};
    QTest::addRow("from after to") << QDate(2024, 3, 4) << QDate(2024, 3, 2) << QList<int>{};
    QTest::addRow("outside the data") << QDate(2024, 4, 1) << QDate(2024, 4, 30) << QList<int>{};
}

void TestTable::rangeIncludesBothEnds()
{
    QFETCH(QDate, from);
    QFETCH(QDate, to);
    QFETCH(QList<int>, ids);
    fillGifts();
    Table t;
    t.setDatabaseName(kAlias);
    t.setTableName("AWCBDET1");
    t.setIndexName("CBTax");
    t.open();
    // The contributor's family number as the suite stores it, but searched without case.
    t.setRange({QString("f1"), 2, from}, {QString("F1"), QString("2"), to});
    QCOMPARE(t.recordCount(), ids.size());
    QCOMPARE(passIds(t), ids);
    // A range on the leading field only.
    t.setRange({QString("F2")}, {QString("F3")});
    QCOMPARE(t.recordCount(), 20);
    t.cancelRange();
    QCOMPARE(t.recordCount(), 30);
}

void TestTable::filterSelectsRecords_data()
{
    QTest::addColumn<QString>("filter");
    QTest::addColumn<QList<int>>("ids");
    // A comparison with a null value is never true.
    QTest::addRow("not equal") << "LevelID<>3" << QList<int>{1, 2, 4};
    QTest::addRow("keywords without case") << "levelid >= 2 AnD name = 'Beta'" << QList<int>{2};
    QTest::addRow("text compared with case") << "Name = 'beta'" << QList<int>{};
    QTest::addRow("quote inside text") << "[Name] = 'It''s'" << QList<int>{4};
    QTest::addRow("field name with a blank") << "\"Parent ID\" > 10 or not (LevelID < 3)" << QList<int>{3, 5, 6};
    QTest::addRow("null") << "LevelID = NULL" << QList<int>{6};
    QTest::addRow("is not null") << "LevelID IS NOT NULL and LevelID <= 2" << QList<int>{1, 2, 4};
    QTest::addRow("parentheses") << "(LevelID = 1 or LevelID = 2) and not Name = 'Alpha'" << QList<int>{2, 4};
    QTest::addRow("number as text for an integer field") << "LevelID = '3'" << QList<int>{3, 5};
}

void TestTable::filterSelectsRecords()
{
    QFETCH(QString, filter);
    QFETCH(QList<int>, ids);
    TableDef def;
    def.name = "aworname";
    def.fields = {fd("OrgID", FieldType::Integer), fd("Name", FieldType::String, 40), fd("LevelID", FieldType::Integer),
                  fd("Parent ID", FieldType::Integer)};
    def.indexes = {ix({}, {"OrgID"}), ix("ByName", {"Name"}, true)};
    create(def);
    Table t;
    t.setDatabaseName(kAlias);
    t.setTableName("aworname");
    t.open();
    const struct {
        int id;
        const char *name;
        QVariant level;
        int parent;
    } orgs[] = {{1, "Alpha", 1, 0}, {2, "Beta", 2, 1}, {3, "Gamma", 3, 2}, {4, "It's", 2, 1}, {5, "Delta", 3, 11},
                {6, "Null level", QVariant(), 12}};
    for (const auto &o : orgs) {
        t.append();
        t.fieldByName("OrgID").setAsInteger(o.id);
        t.fieldByName("Name").setAsString(o.name);
        t.fieldByName("LevelID").setValue(o.level);
        t.fieldByName("Parent ID").setAsInteger(o.parent);
        t.post();
    }
    t.setFilter(filter);
    t.setFiltered(true);
    QCOMPARE(t.recordCount(), ids.size());
    QCOMPARE(passIds(t, "OrgID"), ids);
    t.setFiltered(false);
    QCOMPARE(t.recordCount(), 6);
}

void TestTable::badFilterIsRejected_data()
{
    QTest::addColumn<QString>("filter");
    QTest::addColumn<QString>("error");
    QTest::addRow("missing operand") << "LevelID <>" << "Invalid filter expression";
    QTest::addRow("unknown field") << "Level = 3" << "unknown field 'Level'";
    QTest::addRow("unterminated text") << "Name = 'abc" << "Invalid filter expression";
    QTest::addRow("open parenthesis") << "(LevelID = 1" << "Invalid filter expression";
    QTest::addRow("SQL after the expression") << "LevelID = 1; DELETE FROM records" << "Invalid filter expression";
    QTest::addRow("SQL in a name") << "[Name] = 1 or 1=1) --" << "Invalid filter expression";
    QTest::addRow("text for an integer field") << "LevelID = 'x'" << "conversion: 'x'";
}

void TestTable::badFilterIsRejected()
{
    QFETCH(QString, filter);
    QFETCH(QString, error);
    TableDef def;
    def.name = "aworname";
    def.fields = {fd("OrgID", FieldType::Integer), fd("Name", FieldType::String, 40), fd("LevelID", FieldType::Integer)};
    def.indexes = {ix({}, {"OrgID"})};
    create(def);
    Table t;
    t.setDatabaseName(kAlias);
    t.setTableName("aworname");
    t.open();
    for (int id = 1; id <= 3; ++id) {
        t.append();
        t.fieldByName("OrgID").setAsInteger(id);
        t.fieldByName("LevelID").setAsInteger(id);
        t.post();
    }
    t.setFilter("LevelID > 1");
    t.setFiltered(true);
    const QString message = errorOf([&] { t.setFilter(filter); });
    QVERIFY2(message.contains(error), qPrintable(message));
    if (!error.startsWith("conversion"))
        QVERIFY2(message.contains("aworname"), qPrintable(message));
    QCOMPARE(t.filter(), QString("LevelID > 1"));   // the old filter stays in force
    QCOMPARE(t.recordCount(), 2);
    t.setFiltered(false);
    QCOMPARE(t.recordCount(), 3);

    // Set while closed, the text is checked when the table opens.
    t.close();
    t.setFilter(filter);
    const QString atOpen = errorOf([&] { t.open(); });
    QVERIFY2(atOpen.contains(error), qPrintable(atOpen));
    QVERIFY(!t.active());
}

void TestTable::locateAndFieldNamesIgnoreCase()
{
    TableDef def;
    def.name = "AWCBTABL";
    def.fields = {fd("Fund_Number", FieldType::Integer), fd("Fund_Description", FieldType::String, 40),
                  fd("Fund_Code", FieldType::String, 10)};
    def.indexes = {ix({}, {"Fund_Number"})};
    create(def);
    Table t;
    t.setDatabaseName(kAlias);
    t.setTableName("awcbtabl");
    t.open();
    const QStringList descriptions{"General", "Building Fund - 42", "building fund - 42", "Missions - 1234567"};
    for (int i = 0; i < descriptions.size(); ++i) {
        t.append();
        t.fieldByName("FUND_NUMBER").setAsInteger(10 * (i + 1));
        t.fieldByName("fund_description").setAsString(descriptions[i]);
        t.post();
    }
    QVERIFY(t.locate("Fund_Description", QString("BUILDING FUND - 42")));
    QCOMPARE(t.fieldByName("Fund_Number").asInteger(), 20);   // the first match in index order
    QVERIFY(t.locate("fund_description", QString("building fund - 42"), false));
    QCOMPARE(t.fieldByName("Fund_Number").asInteger(), 30);
    QVERIFY(!t.locate("Fund_Description", QString("Camp")));
    QCOMPARE(t.fieldByName("Fund_Number").asInteger(), 30);
    QCOMPARE(t.fieldByName("fund_number").fieldName(), QString("Fund_Number"));
    QVERIFY(t.findField("FUND_CODE") != nullptr);
    QVERIFY(t.findField("Fund_Name") == nullptr);
    const QString message = errorOf([&] { t.fieldByName("Fund_Name"); });
    QVERIFY2(message.contains("Fund_Name") && message.contains("AWCBTABL", Qt::CaseInsensitive), qPrintable(message));
    QVERIFY(!errorOf([&] { t.locate("Nope", 1); }).isEmpty());
}

void TestTable::keyViolationKeepsRecordInInsertState()
{
    fillGifts();
    Table t;
    t.setDatabaseName(kAlias);
    t.setTableName("AWCBDET1");
    t.open();
    t.append();
    t.fieldByName("Gift_ID").setAsInteger(5);
    t.fieldByName("Family_Number").setAsString("NEW");
    const QString message = errorOf([&] { t.post(); });
    QVERIFY2(message.contains("Key violation") && message.contains("AWCBDET1"), qPrintable(message));
    QCOMPARE(t.state(), TableState::Insert);
    QCOMPARE(t.fieldByName("Family_Number").asString(), QString("NEW"));
    t.cancel();
    QCOMPARE(t.state(), TableState::Browse);
    QCOMPARE(t.recordCount(), 30);
    QVERIFY(t.findKey({5}));
    QCOMPARE(t.fieldByName("Family_Number").asString(), QString("F1"));

    // Corrected, the same record posts.
    t.append();
    t.fieldByName("Gift_ID").setAsInteger(31);
    t.fieldByName("Family_Number").setAsString("NEW");
    t.post();
    QCOMPARE(t.recordCount(), 31);

    // A required field left empty.
    t.append();
    const QString required = errorOf([&] { t.post(); });
    QVERIFY2(required.contains("Gift_ID") && required.contains("requires a value"), qPrintable(required));
    t.cancel();
    QVERIFY(!errorOf([&] { t.fieldByName("Gift_ID").setAsInteger(1); }).isEmpty());   // not in edit state
}

void TestTable::editAndDelete()
{
    fillGifts();
    Table t;
    t.setDatabaseName(kAlias);
    t.setTableName("AWCBDET1");
    t.setIndexName("CBTax");
    t.open();
    QVERIFY(t.findKey({QString("F3"), 1, QDate(2024, 3, 3)}));
    t.edit();
    t.fieldByName("Posted_Flag").setAsString("1");
    t.fieldByName("Posted_Date").setAsDate(QDate(2024, 3, 9));   // moves in the index
    t.post();
    t.close();
    t.open();
    QVERIFY(t.findKey({QString("F3"), 1, QDate(2024, 3, 9)}));
    QCOMPARE(t.fieldByName("Gift_ID").asInteger(), 23);
    QCOMPARE(t.fieldByName("Posted_Flag").asString(), QString("1"));
    t.next();
    QCOMPARE(t.fieldByName("Gift_ID").asInteger(), 26);   // the pass goes on from the new key
    t.deleteRecord();
    QCOMPARE(t.fieldByName("Gift_ID").asInteger(), 27);
    QCOMPARE(t.recordCount(), 29);
}

void TestTable::autoIncrementAndTransactions()
{
    TableDef def;
    def.name = "ExtractTable";
    def.fields = {fd("Record_ID", FieldType::AutoInc), fd("Congregation ID", FieldType::String, 30),
                  fd("Project Description", FieldType::String, 25), fd("Gift Date", FieldType::Date),
                  fd("Gift Amount", FieldType::Currency)};
    def.indexes = {ix({}, {"Record_ID"}), ix("Sort_Index", {"Congregation ID", "Gift Date", "Project Description"}, true)};
    create(def, true);
    Table t;
    t.setDatabaseName(kAlias);
    t.setTableName("ExtractTable");
    t.setScratch(true);
    t.setCacheSizeKiB(65536);
    t.open();
    t.setIndexName("Sort_Index");
    t.startTransaction();
    const QStringList congregations{"b-2", "A-1", "a-1"};
    for (int i = 0; i < 3; ++i) {
        t.append();
        t.fieldByName("Congregation ID").setAsString(congregations[i] + QString(40, QLatin1Char('x')));
        t.fieldByName("Gift Date").setAsDate(QDate(2024, 1, 3 - i));
        t.post();
        QCOMPARE(t.fieldByName("Record_ID").asInteger(), i + 1);
    }
    // Read in index order while the transaction that fills it is still open.
    QCOMPARE(passIds(t, "Record_ID"), (QList<int>{3, 2, 1}));
    t.rollback();
    QCOMPARE(t.recordCount(), 0);
    QVERIFY(indexSql(t.fileName(), "index_1").contains("\"Gift Amount\""));

    t.startTransaction();
    for (int i = 0; i < 3; ++i) {
        t.append();
        t.fieldByName("Congregation ID").setAsString(congregations[i] + QString(40, QLatin1Char('x')));
        t.fieldByName("Gift Date").setAsDate(QDate(2024, 1, 3 - i));
        t.post();
    }
    t.commit();
    // The scratch table's index carries the row id and the other fields after the key.
    QCOMPARE(indexSql(t.fileName(), "index_1"),
             QString("CREATE INDEX \"index_1\" ON records (\"Congregation ID\", \"Gift Date\", \"Project Description\", "
                     "\"Record_ID\", \"Gift Amount\")"));
    t.close();
    t.setIndexName("sort_index");
    t.open();
    // Without case: "a-1" (Jan 1) before "A-1" (Jan 2), then "b-2".
    QList<int> ids = passIds(t, "Record_ID");
    QCOMPARE(ids.size(), 3);
    QCOMPARE(ids.mid(0, 2), (QList<int>{3, 2}));
    t.first();
    QCOMPARE(t.fieldByName("Congregation ID").asString().size(), 30);
}

void TestTable::emptyAndDeleteTable()
{
    fillGifts();
    Table t;
    t.setDatabaseName(kAlias);
    t.setTableName("AWCBDET1");
    t.emptyTable();                 // closed
    t.open();
    QCOMPARE(t.recordCount(), 0);
    QCOMPARE(t.definition().fields.size(), 7);
    QCOMPARE(t.definition().indexes.size(), 2);
    addGift(t, 1, "F1", 1, QDate(2024, 1, 1), 1, 1);
    t.emptyTable();                 // open
    QVERIFY(t.eof());
    QCOMPARE(t.recordCount(), 0);
    Field flag = t.fieldByName("Posted_Flag");
    t.deleteTable();
    QVERIFY(!t.active());
    QVERIFY(!t.exists());
    QVERIFY(!errorOf([&] { t.deleteTable(); }).isEmpty());
    QVERIFY(!errorOf([&] { t.emptyTable(); }).isEmpty());

    // Made again with fewer fields: a field kept from before is an error, not a stray read.
    TableDef small;
    small.name = "AWCBDET1";
    small.fields = {fd("Gift_ID", FieldType::Integer)};
    t.createTable(small);
    t.open();
    QVERIFY(!errorOf([&] { flag.asString(); }).isEmpty());
    QVERIFY(!errorOf([&] { t.append(); flag.setAsString("1"); }).isEmpty());
}

void TestTable::badTableFiles_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("error");
    QTest::addRow("missing file") << "missing" << "does not exist";
    QTest::addRow("random bytes") << "random" << "not a valid table file";
    QTest::addRow("empty file") << "empty" << "not a valid table file";
    QTest::addRow("plain SQLite file") << "plain" << "not a valid table file";
    QTest::addRow("unknown alias") << "alias" << "is not defined";
}

void TestTable::badTableFiles()
{
    QFETCH(QString, kind);
    QFETCH(QString, error);
    const QString file = QDir(dir()).filePath("awpeindv.zeldat");
    if (kind == "random") {
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly));
        QByteArray junk(8192, '\0');
        QRandomGenerator rng(3);
        for (char &c : junk)
            c = char(rng.bounded(256));
        f.write(junk);
    } else if (kind == "empty") {
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly));
    } else if (kind == "plain") {
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.close();
        QCOMPARE(peerWrite(file, "CREATE TABLE people (name TEXT); INSERT INTO people VALUES ('x')"), 0);
    }
    const QByteArray before = fileBytes(file);
    Table t;
    t.setDatabaseName(kind == "alias" ? QStringLiteral("NO_SUCH_ALIAS") : kAlias);
    t.setTableName("awpeindv");
    const QString message = errorOf([&] { t.open(); });
    QVERIFY2(message.contains(error) && message.contains("awpeindv"), qPrintable(message));
    QVERIFY(!t.active());
    QCOMPARE(fileBytes(file), before);
    // Deleting or emptying a foreign file refuses too, and leaves it alone.
    if (kind != "missing" && kind != "alias") {
        QVERIFY(!errorOf([&] { t.deleteTable(); }).isEmpty());
        QVERIFY(!errorOf([&] { t.emptyTable(); }).isEmpty());
        QCOMPARE(fileBytes(file), before);
    }
}

void TestTable::protectedTableNeedsSessionPassword()
{
    TableDef def;
    def.name = "awusrmst";
    def.fields = {fd("UserID", FieldType::Integer), fd("UserName", FieldType::String, 30),
                  fd("Password", FieldType::String, 30)};
    def.indexes = {ix({}, {"UserID"}), ix("byUserName", {"UserName"}, true)};
    def.password = "Tr1cky-Pass";
    create(def);
    Session &session = Session::defaultSession();
    session.removePassword(def.password);

    Table t;
    t.setDatabaseName(kAlias);
    t.setTableName("awusrmst");
    session.addPassword("wrong one");
    const QString message = errorOf([&] { t.open(); });
    QVERIFY2(message.contains("awusrmst") && message.contains("Access denied"), qPrintable(message));
    QVERIFY(!t.active());
    QVERIFY(!errorOf([&] { t.emptyTable(); }).isEmpty());
    QVERIFY(!errorOf([&] { t.deleteTable(); }).isEmpty());
    QVERIFY(t.exists());

    session.addPassword(def.password);
    t.open();
    t.append();
    t.fieldByName("UserID").setAsInteger(1);
    t.fieldByName("UserName").setAsString("admin");
    t.post();
    t.close();
    t.setIndexName("byUserName");
    t.open();                        // remembered: no second verification needed
    QVERIFY(t.findKey({QString("ADMIN")}));
    t.close();
    session.removePassword(def.password);
    session.removePassword("wrong one");
    QVERIFY(!errorOf([&] { t.open(); }).isEmpty());
}

void TestTable::lockedTableFailsAfterLockSettings()
{
    fillGifts();
    const QString file = QDir(dir()).filePath("AWCBDET1.zeldat");
    const QByteArray before = fileBytes(file);
    Table writer;
    writer.setDatabaseName(kAlias);
    writer.setTableName("AWCBDET1");
    writer.open();

    QProcess holder;
    holder.start(peerPath(), {QStringLiteral("hold"), file});
    QVERIFY(holder.waitForReadyRead(10000));
    QCOMPARE(holder.readLine().trimmed(), QByteArray("locked"));

    Engine::instance().setLockSettings(LockSettings{1, 5});
    Table t;
    t.setDatabaseName(kAlias);
    t.setTableName("AWCBDET1");
    const QString message = errorOf([&] { t.open(); });
    QVERIFY2(message.contains("locked") && message.contains("AWCBDET1"), qPrintable(message));
    QVERIFY(!t.active());

    // A table opened before: its post fails the same way and keeps the record.
    writer.append();
    writer.fieldByName("Gift_ID").setAsInteger(77);
    writer.fieldByName("Family_Number").setAsString("LATE");
    const QString postError = errorOf([&] { writer.post(); });
    QVERIFY2(postError.contains("locked") && postError.contains("AWCBDET1"), qPrintable(postError));
    QCOMPARE(writer.state(), TableState::Insert);
    QCOMPARE(writer.fieldByName("Family_Number").asString(), QString("LATE"));

    holder.closeWriteChannel();
    QVERIFY(holder.waitForFinished(10000));
    QCOMPARE(holder.exitCode(), 0);
    QCOMPARE(fileBytes(file), before);
    writer.post();                  // once the lock is gone the same record goes in
    t.open();
    QCOMPARE(t.recordCount(), 31);
    QVERIFY(t.findKey({77}));
    QCOMPARE(t.fieldByName("Family_Number").asString(), QString("LATE"));
}

void TestTable::otherProgramWritesBetweenRecords()
{
    Table t;
    openNumberedPeople(t, 3000);

    // The lock settings would make a waiting writer wait long; the peer does not wait at all.
    Field number = t.fieldByName("Individual_Number");
    int visited = 0, expected = 1, writes = 0;
    for (t.first(); !t.eof(); t.next()) {
        QCOMPARE(number.asInteger(), expected++);
        ++visited;
        if (visited == 10 || visited == 64 || visited == 65 || visited == 2000) {
            QString err;
            const int rc = peerWrite(t.fileName(),
                                     QStringLiteral("UPDATE records SET \"Envelope_Number\" = 'E%1' "
                                                    "WHERE \"Individual_Number\" = %1").arg(visited + 500),
                                     &err);
            QVERIFY2(rc == 0, qPrintable(err));
            ++writes;
        }
    }
    QCOMPARE(visited, 3000);
    QCOMPARE(writes, 4);
    // The write of the peer is seen by a pass that reaches the record after it.
    QVERIFY(t.findKey({2500}));
    QCOMPARE(t.fieldByName("Envelope_Number").asString(), QString("E2500"));
}

// Under a held read lock the table stays locked between reads until the
// holder gives the lock back; a pass reads on from its open statement, and
// after a release, a write or a key search by key again, seeing what was
// written meanwhile. A text key must survive the batch it was read from.
void TestTable::heldReadLock_data()
{
    QTest::addColumn<QString>("index");
    QTest::addRow("integer key") << QString();
    QTest::addRow("text key") << QStringLiteral("ByCode");
}

void TestTable::heldReadLock()
{
    QFETCH(QString, index);
    Table t;
    openNumberedPeople(t, 6000);   // batches end at 64, 320, 1344, 3392 and 5440
    t.setIndexName(index);
    auto peerSets = [&](int number, const QString &envelope) {
        return peerWrite(t.fileName(), QStringLiteral("UPDATE records SET \"Envelope_Number\" = '%1' "
                                                      "WHERE \"Individual_Number\" = %2").arg(envelope).arg(number)) == 0;
    };
    auto key = [&](int number) {
        return index.isEmpty() ? QVariant(number) : QVariant(QStringLiteral("P%1").arg(number, 5, 10, QLatin1Char('0')));
    };
    t.setHoldReadLock(true);
    Field number = t.fieldByName("Individual_Number");
    Field envelope = t.fieldByName("Envelope_Number");
    int expected = 1;
    QStringList seen;
    for (t.first(); !t.eof(); t.next()) {
        QCOMPARE(number.asInteger(), expected++);
        if (!envelope.asString().isEmpty())
            seen << envelope.asString();
        if (number.asInteger() == 100) {
            QVERIFY(!peerSets(5000, "HELD"));
        } else if (number.asInteger() == 1500) {   // in the middle of a batch
            t.releaseReadLock();
            QVERIFY(peerSets(5000, "FREE"));
            QVERIFY(peerSets(10, "BEHIND"));
        } else if (number.asInteger() == 3500) {   // a write in the middle of a pass
            t.edit();
            envelope.setAsString("MINE");
            t.post();
            QVERIFY(peerSets(5500, "AFTER"));
        }
    }
    QCOMPARE(expected, 6001);
    QCOMPARE(seen, (QStringList{"FREE", "AFTER"}));

    // From a key search to the end, across batches.
    QVERIFY(t.findKey({key(100)}));
    int rest = 0;
    for (t.next(); !t.eof(); t.next())
        QCOMPARE(number.asInteger(), 100 + ++rest);
    QCOMPARE(rest, 5900);

    // A write gives the lock back first and is committed at once.
    t.first();
    QVERIFY(!peerSets(1, "HELD"));
    t.edit();
    envelope.setAsString("POSTED");
    t.post();
    QVERIFY(peerSets(2, "AFTER POST"));
    Table other;
    other.setDatabaseName(kAlias);
    other.setTableName("awpeindv");
    other.open();
    QVERIFY(other.findKey({1}));
    QCOMPARE(other.fieldByName("Envelope_Number").asString(), QString("POSTED"));
    other.close();

    // So does turning the hold off.
    t.next();
    QVERIFY(!peerSets(4, "HELD"));
    t.setHoldReadLock(false);
    QVERIFY(peerSets(4, "OFF"));
    t.next();
    QVERIFY(peerSets(5, "UNHELD"));
}

void TestTable::refreshSeesOtherProgramsChanges()
{
    fillGifts();
    Table t;
    t.setDatabaseName(kAlias);
    t.setTableName("AWCBDET1");
    t.setIndexName("CBTax");
    t.open();
    t.setRange({QString("F1"), 1, QDate(2024, 3, 1)}, {QString("F1"), 1, QDate(2024, 3, 31)});
    t.first();
    QCOMPARE(t.fieldByName("Gift_ID").asInteger(), 1);
    QString err;
    QCOMPARE(peerWrite(t.fileName(),
                       QStringLiteral("INSERT INTO records (\"Gift_ID\", \"Family_Number\", \"Individual_Number\", "
                                      "\"Posted_Date\", \"Fund_Amount\") VALUES (99, 'F1', 1, %1, 123400); "
                                      "UPDATE records SET \"Fund_Amount\" = 10000 WHERE \"Gift_ID\" = 1")
                           .arg(QDate(2024, 3, 20).toJulianDay()),
                       &err),
             0);
    t.refresh();
    QCOMPARE(t.fieldByName("Gift_ID").asInteger(), 1);   // stays on its record
    QCOMPARE(t.fieldByName("Fund_Amount").asString(), QString("1"));
    QCOMPARE(passIds(t), (QList<int>{1, 2, 3, 4, 5, 99}));
    QCOMPARE(t.fieldByName("Fund_Amount").asString(), QString("12.34"));
}

void TestTable::readOnlyDirectoryFailsCleanly()
{
    if (geteuid() == 0)
        QSKIP("file permissions do not stop root");
    fillGifts();
    const QString file = QDir(dir()).filePath("AWCBDET1.zeldat");
    QVERIFY(QFile::setPermissions(file, QFileDevice::ReadOwner));
    QVERIFY(QFile::setPermissions(dir(), QFileDevice::ReadOwner | QFileDevice::ExeOwner));
    const QByteArray before = fileBytes(file);
    Table t;
    t.setDatabaseName(kAlias);
    t.setTableName("AWCBDET1");
    t.open();
    QCOMPARE(t.recordCount(), 30);
    const QString appendError = errorOf([&] { addGift(t, 40, "F9", 1, QDate(2024, 1, 1), 1, 1); });
    QVERIFY2(appendError.contains("read-only") && appendError.contains("AWCBDET1"), qPrintable(appendError));
    t.cancel();
    QCOMPARE(t.recordCount(), 30);
    t.close();

    Table other;
    other.setDatabaseName(kAlias);
    TableDef def = giftDef();
    def.name = "NewTable";
    const QString createError = errorOf([&] { other.createTable(def); });
    QVERIFY2(createError.contains("NewTable"), qPrintable(createError));
    QCOMPARE(fileBytes(file), before);
    QFile::setPermissions(dir(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    QFile::setPermissions(file, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
}

QTEST_GUILESS_MAIN(TestTable)
#include "tst_table.moc"
