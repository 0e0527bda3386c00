#include "DemoSuite.h"

#include "connect/CustomConnect.h"
#include "connect/TablePasswords.h"
#include "data/Catalogue.h"
#include "data/Engine.h"
#include "data/Table.h"
#include "platform/IniFile.h"
#include "platform/Registry.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <functional>
#include <memory>

namespace {

const QDate kToday(2026, 3, 15);

DemoSuite::Options tinyOptions(quint64 seed = 7)
{
    DemoSuite::Options options;
    options.size = DemoSuite::Size::Tiny;
    options.seed = seed;
    options.today = kToday;
    return options;
}

// The session passwords present for one scope, removed again afterwards.
class WithPasswords {
public:
    explicit WithPasswords(const QStringList &passwords) : m_passwords(passwords)
    {
        for (const QString &p : m_passwords)
            data::Session::defaultSession().addPassword(p);
    }
    ~WithPasswords()
    {
        for (const QString &p : m_passwords)
            data::Session::defaultSession().removePassword(p);
    }

private:
    QStringList m_passwords;
};

// A database alias on a data directory for one test.
class Alias {
public:
    explicit Alias(const QString &directory)
        : m_name(QStringLiteral("TST_DEMO_%1").arg(++s_serial)),
          m_db(std::make_unique<data::Database>(data::Session::defaultSession(), m_name, directory))
    {
    }
    ~Alias() { m_db->close(); }
    QString name() const { return m_name; }

private:
    static inline int s_serial = 0;
    QString m_name;
    std::unique_ptr<data::Database> m_db;
};

std::unique_ptr<data::Table> openTable(const Alias &alias, const QString &name, const QString &index = {})
{
    auto table = std::make_unique<data::Table>();
    table->setDatabaseName(alias.name());
    table->setTableName(name);
    table->setIndexName(index);
    table->open();
    return table;
}

// Every record of every suite table as text, in primary order.
QStringList dumpTables(const QString &directory, const QStringList &passwords)
{
    WithPasswords session(passwords);
    Alias alias(directory);
    QStringList lines;
    for (const data::TableDef &def : data::catalogue::suiteTables()) {
        auto table = openTable(alias, def.name);
        for (table->first(); !table->eof(); table->next()) {
            QStringList values;
            for (int i = 0; i < table->fieldCount(); ++i)
                values << table->field(i).asString();
            lines << def.name + QLatin1Char('|') + values.join(QLatin1Char('|'));
        }
    }
    return lines;
}

int runTool(const QStringList &args, QString *out = nullptr, QString *err = nullptr)
{
    QProcess process;
    process.start(QStringLiteral(MAKE_DEMO_SUITE), args);
    if (!process.waitForFinished(120000))
        return -1;
    if (out)
        *out = QString::fromUtf8(process.readAllStandardOutput());
    if (err)
        *err = QString::fromUtf8(process.readAllStandardError());
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

} // namespace

class TestDemoSuite : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void installationIsFoundByTheConnectionModule();
    void everyTableOpensWithTheSessionPasswords_data();
    void everyTableOpensWithTheSessionPasswords();
    void protectedTablesRefuseWithoutPasswords();
    void sameSeedSameData();
    void fundsCoverEveryProjectCodeCase();
    void dataServeTheLoginAndTheMainWindow();
    void giftsOfTheDefaultRangeAreThere();
    void badArgumentsGiveUsage_data();
    void badArgumentsGiveUsage();
    void refusesAFolderThatIsNotEmpty();
    void toolWritesAnInstallationAndPrintsTheLogIns();

private:
    QTemporaryDir m_dir;
    DemoSuite::Installation m_suite;
};

void TestDemoSuite::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_suite = DemoSuite::write(m_dir.filePath(QStringLiteral("suite")), tinyOptions());
}

void TestDemoSuite::installationIsFoundByTheConnectionModule()
{
    m_suite.applyEnvironment();
    const auto withSlash = [](const QString &dir) { return QDir::cleanPath(dir) + QLatin1Char('/'); };
    QCOMPARE(GetFormDirectory(), withSlash(m_suite.formDirectoryValue) + QStringLiteral("ZELFORM"));
    QCOMPARE(QDir::cleanPath(GetFormDirectory()), m_suite.formDirectory);
    QCOMPARE(QDir::cleanPath(GetSystemDataDirectory()), m_suite.systemDataDirectory);
    QCOMPARE(QDir::cleanPath(GetPeopleDataDirectory()), m_suite.peopleDataDirectory);
    QCOMPARE(platform::Registry::shellFolder(QStringLiteral("Personal")), m_suite.documentsDirectory);
    QCOMPARE(platform::Registry::shellFolder(QStringLiteral("Desktop")), m_suite.desktopDirectory);
    QCOMPARE(platform::IniFile(m_suite.appPathIni)
                 .readString(QStringLiteral("ActivePeopleDataSet"), QStringLiteral("ZEL_DATA")),
             QStringLiteral("ZELDATA"));
    for (const QString &dir : {m_suite.formDirectory, m_suite.privateDirectory, m_suite.systemDataDirectory,
                               m_suite.documentsDirectory, m_suite.desktopDirectory})
        QVERIFY2(QFileInfo(dir).isDir(), qPrintable(dir));
}

void TestDemoSuite::everyTableOpensWithTheSessionPasswords_data()
{
    QTest::addColumn<QString>("name");
    for (const data::TableDef &def : data::catalogue::suiteTables())
        QTest::addRow("%s", qPrintable(def.name)) << def.name;
}

void TestDemoSuite::everyTableOpensWithTheSessionPasswords()
{
    QFETCH(QString, name);
    WithPasswords session(TablePasswords());
    Alias alias(m_suite.peopleDataDirectory);
    auto table = openTable(alias, name);
    QVERIFY(table->recordCount() > 0);
    const data::TableDef &expected = data::catalogue::table(name);
    const data::TableDef actual = table->definition();
    QCOMPARE(actual.fields.size(), expected.fields.size());
    for (int i = 0; i < expected.fields.size(); ++i) {
        QCOMPARE(actual.fields.at(i).name, expected.fields.at(i).name);
        QCOMPARE(actual.fields.at(i).type, expected.fields.at(i).type);
        QCOMPARE(actual.fields.at(i).size, expected.fields.at(i).size);
    }
    QCOMPARE(actual.indexes.size(), expected.indexes.size());
}

void TestDemoSuite::protectedTablesRefuseWithoutPasswords()
{
    const QStringList passwords = TablePasswords();
    QCOMPARE(m_suite.tablePasswords, passwords);
    QCOMPARE(QSet<QString>(m_suite.protectedTables.cbegin(), m_suite.protectedTables.cend()),
             (QSet<QString>{QStringLiteral("awusrmst"), QStringLiteral("awusrpfl"), QStringLiteral("AWCBDET1")}));
    for (const QString &p : passwords)
        QVERIFY(!data::Session::defaultSession().passwords().contains(p));   // the writer cleaned up

    Alias alias(m_suite.peopleDataDirectory);
    for (const data::TableDef &def : data::catalogue::suiteTables()) {
        const bool isProtected = m_suite.protectedTables.contains(def.name);
        data::Table table;
        table.setDatabaseName(alias.name());
        table.setTableName(def.name);
        try {
            table.open();
            QVERIFY2(!isProtected, qPrintable(def.name + QStringLiteral(" opened without its password")));
            table.close();
        } catch (const data::EngineError &e) {
            QVERIFY2(isProtected, e.what());
            QVERIFY2(e.message().contains(def.name, Qt::CaseInsensitive), e.what());
        }
    }
    // each protected table needs its own password, not just any
    {
        WithPasswords second(QStringList{passwords.at(1)});
        QVERIFY_THROWS_EXCEPTION(data::EngineError, openTable(alias, QStringLiteral("awusrmst")));
        QVERIFY(openTable(alias, QStringLiteral("AWCBDET1"))->recordCount() > 0);
    }
    {
        WithPasswords first(QStringList{passwords.at(0)});
        QVERIFY(openTable(alias, QStringLiteral("awusrpfl"))->recordCount() > 0);
        QVERIFY_THROWS_EXCEPTION(data::EngineError, openTable(alias, QStringLiteral("AWCBDET1")));
    }
}

void TestDemoSuite::sameSeedSameData()
{
    const DemoSuite::Installation again = DemoSuite::write(m_dir.filePath(QStringLiteral("again")), tinyOptions());
    const DemoSuite::Installation other =
        DemoSuite::write(m_dir.filePath(QStringLiteral("other")), tinyOptions(8));
    const QStringList first = dumpTables(m_suite.peopleDataDirectory, m_suite.tablePasswords);
    const QStringList second = dumpTables(again.peopleDataDirectory, again.tablePasswords);
    const QStringList third = dumpTables(other.peopleDataDirectory, other.tablePasswords);
    QVERIFY(first.size() > 100);
    QCOMPARE(second, first);
    QVERIFY(third != first);
    QCOMPARE(again.giftCount, m_suite.giftCount);
    QCOMPARE(again.postedGiftCount, m_suite.postedGiftCount);
}

// Read from the fund table as written; each case names where a hyphen stands
// in the description, counted back from its last character.
void TestDemoSuite::fundsCoverEveryProjectCodeCase()
{
    struct FundText {
        QString code;
        QString description;
    };
    QList<FundText> funds;
    {
        Alias alias(m_suite.peopleDataDirectory);
        auto table = openTable(alias, QStringLiteral("AWCBTABL"));
        for (table->first(); !table->eof(); table->next())
            funds.append({table->fieldByName(QStringLiteral("Fund_Code")).asString(),
                          table->fieldByName(QStringLiteral("Fund_Description")).asString()});
    }
    QCOMPARE(funds.size(), 30);

    // distances back from the last character at which a hyphen stands
    const auto hyphens = [](const QString &d) {
        QList<int> back;
        for (int i = 0; i < d.size(); ++i) {
            if (d.at(i) == QLatin1Char('-'))
                back.append(int(d.size()) - 1 - i);
        }
        return back;
    };
    const auto codeIsShortOrSeven = [](const FundText &f) { return f.code.size() == 2 || f.code.size() == 7; };
    const auto onlyAt = [&](const FundText &f, int from, int to) {
        const QList<int> at = hyphens(f.description);
        return !at.isEmpty() && std::all_of(at.cbegin(), at.cend(), [&](int b) { return b >= from && b <= to; });
    };

    const std::pair<const char *, std::function<bool(const FundText &)>> cases[] = {
        {"two-character code", [](const FundText &f) { return f.code.size() == 2; }},
        {"seven-character code, hyphen among the four before the last",
         [&](const FundText &f) { return f.code.size() == 7 && onlyAt(f, 1, 4); }},
        {"hyphen fourth before the last", [&](const FundText &f) {
             return !codeIsShortOrSeven(f) && hyphens(f.description) == QList<int>{4} && f.description.size() > 4; }},
        {"hyphen right before the last", [&](const FundText &f) {
             return !codeIsShortOrSeven(f) && hyphens(f.description) == QList<int>{1} && f.description.size() > 4; }},
        {"hyphen ninth before the last", [&](const FundText &f) {
             return !codeIsShortOrSeven(f) && hyphens(f.description) == QList<int>{9} && f.description.size() > 9; }},
        {"hyphen fifth before the last", [&](const FundText &f) {
             return !codeIsShortOrSeven(f) && hyphens(f.description) == QList<int>{5} && f.description.size() > 9; }},
        {"hyphen tenth before the last", [&](const FundText &f) {
             return !codeIsShortOrSeven(f) && hyphens(f.description) == QList<int>{10}; }},
        {"hyphen as the last character", [&](const FundText &f) {
             return !codeIsShortOrSeven(f) && hyphens(f.description) == QList<int>{0}; }},
        {"hyphen in a description of four characters", [&](const FundText &f) {
             return !codeIsShortOrSeven(f) && f.description.size() <= 4 && !hyphens(f.description).isEmpty(); }},
        {"hyphen outside the four in a description of at most nine", [&](const FundText &f) {
             return !codeIsShortOrSeven(f) && f.description.size() > 4 && f.description.size() <= 9
                 && onlyAt(f, 5, 9); }},
        {"no hyphen", [&](const FundText &f) {
             return !codeIsShortOrSeven(f) && !f.code.isEmpty() && hyphens(f.description).isEmpty(); }},
        {"empty code", [](const FundText &f) { return f.code.isEmpty(); }},
        {"en dash that is no hyphen", [&](const FundText &f) {
             return f.description.contains(QChar(0x2013)) && hyphens(f.description).isEmpty(); }},
        {"double quotes", [](const FundText &f) { return f.description.contains(QLatin1Char('"')); }},
        {"comma", [](const FundText &f) { return f.description.contains(QLatin1Char(',')); }},
        {"ampersand", [](const FundText &f) { return f.description.contains(QLatin1Char('&')); }},
        {"apostrophe", [](const FundText &f) { return f.description.contains(QLatin1Char('\'')); }},
        {"letters beyond ASCII, hyphen among the nine", [&](const FundText &f) {
             return std::any_of(f.description.cbegin(), f.description.cend(), [](QChar c) { return c.unicode() > 127; })
                 && onlyAt(f, 5, 9) && !codeIsShortOrSeven(f); }},
    };
    for (const auto &[name, matches] : cases)
        QVERIFY2(std::any_of(funds.cbegin(), funds.cend(), matches), name);

    QSet<QString> descriptions;
    for (const FundText &f : std::as_const(funds))
        descriptions.insert(f.description.toLower());
    QCOMPARE(descriptions.size(), funds.size());   // a fund is picked by its description
}

void TestDemoSuite::dataServeTheLoginAndTheMainWindow()
{
    WithPasswords session(m_suite.tablePasswords);
    Alias alias(m_suite.peopleDataDirectory);

    // log-ins: the user is found by the lower-cased name, the permission by (UserID, 307)
    auto users = openTable(alias, QStringLiteral("awusrmst"), QStringLiteral("byUserName"));
    auto permissions = openTable(alias, QStringLiteral("awusrpfl"));
    int permitted = 0, refused = 0;
    for (const DemoSuite::User &user : std::as_const(m_suite.users)) {
        QVERIFY(users->findKey({user.name}));
        QCOMPARE(users->fieldByName(QStringLiteral("Password")).asString(), user.password);
        QCOMPARE(user.password, user.password.toLower());
        const int id = users->fieldByName(QStringLiteral("UserID")).asInteger();
        const bool found = permissions->findKey({id, 307});
        QCOMPARE(found, user.permission307.has_value());
        const bool mayLogIn = found && permissions->fieldByName(QStringLiteral("Value")).asInteger() == 1;
        QCOMPARE(mayLogIn, user.mayLogIn());
        (mayLogIn ? permitted : refused) += 1;
    }
    QVERIFY(permitted >= 1);
    QVERIFY(refused >= 2);
    QVERIFY(users->findKey({QStringLiteral("office")}));

    // the bottom level is the last in byParentID order, and only the synods sit above it
    auto levels = openTable(alias, QStringLiteral("aworlvl"), QStringLiteral("byParentID"));
    levels->last();
    QCOMPARE(levels->fieldByName(QStringLiteral("LevelID")).asInteger(), m_suite.bottomLevelId);
    auto orgs = openTable(alias, QStringLiteral("aworname"));
    orgs->setFilter(QStringLiteral("LevelID<>%1").arg(m_suite.bottomLevelId));
    orgs->setFiltered(true);
    QStringList aboveBottom;
    for (orgs->first(); !orgs->eof(); orgs->next())
        aboveBottom << orgs->fieldByName(QStringLiteral("Name")).asString();
    QStringList synodNames;
    for (const DemoSuite::Organization &org : std::as_const(m_suite.synods))
        synodNames << org.name;
    QCOMPARE(aboveBottom, synodNames);
    orgs->setFiltered(false);
    QCOMPARE(orgs->recordCount(), m_suite.synods.size() + m_suite.congregations.size());
    for (const DemoSuite::Organization &cong : std::as_const(m_suite.congregations)) {
        QVERIFY(orgs->findKey({cong.orgId}));
        QVERIFY(!orgs->fieldByName(QStringLiteral("Pin")).asString().isEmpty());
        QVERIFY(!orgs->fieldByName(QStringLiteral("Family_Number")).asString().isEmpty());
        QVERIFY(!orgs->fieldByName(QStringLiteral("Field1")).asString().isEmpty());
    }

    // the labels of Field1 to Field5
    auto fields = openTable(alias, QStringLiteral("awgeflds"));
    for (int key = 217; key <= 221; ++key) {
        QVERIFY(fields->findKey({key}));
        QVERIFY(!fields->fieldByName(QStringLiteral("Description")).asString().isEmpty());
    }

    // other reports' rows, but no settings record of the tool yet
    auto reports = openTable(alias, QStringLiteral("awgerpt"));
    QVERIFY(reports->recordCount() >= 2);
    QVERIFY(!reports->findKey({20003}));
}

void TestDemoSuite::giftsOfTheDefaultRangeAreThere()
{
    QCOMPARE(m_suite.previousMonthFirst, QDate(2026, 2, 1));
    QCOMPARE(m_suite.previousMonthLast, QDate(2026, 2, 28));
    QVERIFY(m_suite.firstGiftDate >= kToday.addYears(-3));
    QVERIFY(m_suite.lastGiftDate <= kToday);

    WithPasswords session(m_suite.tablePasswords);
    Alias alias(m_suite.peopleDataDirectory);
    auto gifts = openTable(alias, QStringLiteral("AWCBDET1"), QStringLiteral("CBTax"));
    QCOMPARE(gifts->recordCount(), m_suite.giftCount);
    QSet<int> fundNumbers;
    for (const DemoSuite::Fund &fund : std::as_const(m_suite.funds))
        fundNumbers.insert(fund.number);
    int posted = 0, missingFund = 0;
    for (gifts->first(); !gifts->eof(); gifts->next()) {
        posted += gifts->fieldByName(QStringLiteral("Posted_Flag")).asString() == QLatin1String("1");
        missingFund += !fundNumbers.contains(gifts->fieldByName(QStringLiteral("Fund_Number")).asInteger());
    }
    QVERIFY(posted > 0);
    QVERIFY(missingFund > 0);
    QCOMPARE(posted, m_suite.postedGiftCount);
    QCOMPARE(missingFund, m_suite.missingFundGiftCount);

    // the first person gives on both ends of the previous month, as the export seeks it
    const DemoSuite::Person &person = m_suite.people.first();
    gifts->setRange({person.familyNumber, person.individualNumber, m_suite.previousMonthFirst},
                    {person.familyNumber, person.individualNumber, m_suite.previousMonthLast});
    QSet<QDate> dates;
    QSet<QString> flags;
    for (gifts->first(); !gifts->eof(); gifts->next()) {
        dates.insert(gifts->fieldByName(QStringLiteral("Posted_Date")).asDate());
        flags.insert(gifts->fieldByName(QStringLiteral("Posted_Flag")).asString());
    }
    QVERIFY(dates.contains(m_suite.previousMonthFirst));
    QVERIFY(dates.contains(m_suite.previousMonthLast));
    QCOMPARE(flags, (QSet<QString>{QStringLiteral("0"), QString(), QStringLiteral("1")}));

    // and so do an organisation on the bottom level and a synod
    for (const DemoSuite::Organization &org : {m_suite.congregations.first(), m_suite.synods.at(1)}) {
        gifts->setRange({org.familyNumber, 1, m_suite.previousMonthFirst},
                        {org.familyNumber, 1, m_suite.previousMonthLast});
        QVERIFY2(gifts->recordCount() > 0, qPrintable(org.name));
    }
}

void TestDemoSuite::badArgumentsGiveUsage_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("message");
    const QString dir = QStringLiteral("unused-folder");
    QTest::addRow("no folder") << QStringList{} << QStringLiteral("no folder given");
    QTest::addRow("unknown size") << QStringList{dir, QStringLiteral("--size"), QStringLiteral("huge")}
                                  << QStringLiteral("unknown size \"huge\"");
    QTest::addRow("size without value") << QStringList{dir, QStringLiteral("--size")}
                                        << QStringLiteral("--size needs a value");
    QTest::addRow("negative gifts") << QStringList{dir, QStringLiteral("--gifts"), QStringLiteral("-5")}
                                    << QStringLiteral("--gifts wants a whole number");
    QTest::addRow("gifts not a number") << QStringList{dir, QStringLiteral("--gifts"), QStringLiteral("many")}
                                        << QStringLiteral("--gifts wants a whole number");
    QTest::addRow("seed not a number") << QStringList{dir, QStringLiteral("--seed"), QStringLiteral("x1")}
                                       << QStringLiteral("--seed wants a whole number");
    QTest::addRow("bad date") << QStringList{dir, QStringLiteral("--today"), QStringLiteral("2026-13-01")}
                              << QStringLiteral("--today wants a date");
    QTest::addRow("unknown option") << QStringList{dir, QStringLiteral("--fast")}
                                    << QStringLiteral("unknown option --fast");
    QTest::addRow("two folders") << QStringList{dir, QStringLiteral("second")}
                                 << QStringLiteral("only one folder");
}

void TestDemoSuite::badArgumentsGiveUsage()
{
    QFETCH(QStringList, args);
    QFETCH(QString, message);
    QTemporaryDir work;
    QString out, err;
    const QString cwd = QDir::currentPath();
    QDir::setCurrent(work.path());
    const int code = runTool(args, &out, &err);
    QDir::setCurrent(cwd);
    QCOMPARE(code, 2);
    QVERIFY2(err.contains(message), qPrintable(err));
    QVERIFY2(err.contains(QStringLiteral("usage: make-demo-suite DIR")), qPrintable(err));
    QVERIFY(out.isEmpty());
    QVERIFY(QDir(work.path()).isEmpty());   // nothing written
}

void TestDemoSuite::refusesAFolderThatIsNotEmpty()
{
    QTemporaryDir work;
    QFile keep(work.filePath(QStringLiteral("notes.txt")));
    QVERIFY(keep.open(QIODevice::WriteOnly));
    keep.write("keep me\n");
    keep.close();

    QVERIFY_THROWS_EXCEPTION(platform::Error, DemoSuite::write(work.path(), tinyOptions()));
    QString err;
    QCOMPARE(runTool({work.path(), QStringLiteral("--size"), QStringLiteral("tiny")}, nullptr, &err), 1);
    QVERIFY2(err.contains(QStringLiteral("is not empty")), qPrintable(err));
    QCOMPARE(QDir(work.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
             QStringList{QStringLiteral("notes.txt")});
    QVERIFY(keep.open(QIODevice::ReadOnly));
    QCOMPARE(keep.readAll(), QByteArray("keep me\n"));
}

void TestDemoSuite::toolWritesAnInstallationAndPrintsTheLogIns()
{
    QTemporaryDir work;
    const QString target = work.filePath(QStringLiteral("demo"));
    QString out, err;
    QCOMPARE(runTool({target, QStringLiteral("--size"), QStringLiteral("tiny"), QStringLiteral("--gifts"),
                      QStringLiteral("40"), QStringLiteral("--seed"), QStringLiteral("7"), QStringLiteral("--today"),
                      QStringLiteral("2026-03-15")},
                     &out, &err),
             0);
    QVERIFY2(out.contains(QStringLiteral("office / office")), qPrintable(out));
    QVERIFY2(out.contains(QStringLiteral("visitor / visitor")), qPrintable(out));
    QVERIFY(out.contains(QStringLiteral("export APPDATA=")));
    QVERIFY(QFileInfo::exists(target + QStringLiteral("/ProgramData/Zelvane/ZEL_SYS.INI")));
    QVERIFY(QFileInfo::exists(target + QStringLiteral("/etc/xdg/registry/HKEY_LOCAL_MACHINE.reg")));

    // the same seed through the library gives the same tables
    DemoSuite::Options options = tinyOptions();
    options.gifts = 40;
    const DemoSuite::Installation library = DemoSuite::write(work.filePath(QStringLiteral("lib")), options);
    QCOMPARE(dumpTables(target + QStringLiteral("/Suite/ZELDATA"), library.tablePasswords),
             dumpTables(library.peopleDataDirectory, library.tablePasswords));
}

QTEST_GUILESS_MAIN(TestDemoSuite)
#include "tst_demosuite.moc"
