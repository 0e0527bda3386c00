#include "InstallationFixture.h"

#include "connect/CustomConnect.h"
#include "connect/TablePasswords.h"
#include "connect/zeltEncrypt.h"
#include "data/Engine.h"
#include "data/Table.h"
#include "platform/Application.h"
#include "platform/Error.h"
#include "platform/MessageHost.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QtTest>
#include <functional>

using Setup = std::function<void(InstallationFixture &)>;
Q_DECLARE_METATYPE(Setup)

namespace {

const QString NoDirectories = QStringLiteral("Unable to find ZEL directories.");
const QString DefaultData = QStringLiteral("/dedidu/zeldata");
const QString DefaultSystem = QStringLiteral("/dedidu/zelsys");
const QString DefaultFinancials = QStringLiteral("/dedidu/zelfdat/data6");

QString expand(QString text, const InstallationFixture &fixture)
{
    return text.replace(QLatin1String("{root}"), fixture.root());
}

void resetSession()
{
    data::Session &session = data::Session::defaultSession();
    for (const QString &password : session.passwords())
        session.removePassword(password);
    session.setPrivateDir(QString());
}

} // namespace

class TestCustomConnect : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();

    void create_data();
    void create();
    void getConnectionCreatesOnce();
    void destroyClosesEverything();
    void destroyAfterFailedCreate();
    void passwordsRegisteredOnce();
    void protectedTableOpensThroughAlias();
    void userAppDataFolder_data();
    void userAppDataFolder();
    void userAppDataFolderCreated();
    void systemInfoDirectory();
    void lookupsReadAfresh();

private:
    QString m_startDirectory;
};

void TestCustomConnect::initTestCase()
{
    platform::Application::setTitle(QStringLiteral("Tallyport"));
    m_startDirectory = QDir::currentPath();
}

void TestCustomConnect::cleanup()
{
    QDir::setCurrent(m_startDirectory);
    FreeConnection();
    resetSession();
}

// Each row: how the installation differs from a complete one, then what the
// module is left with. "{root}" stands for the installation's folder.
void TestCustomConnect::create_data()
{
    QTest::addColumn<Setup>("setup");
    QTest::addColumn<QString>("box");          // exact text of the one error box; empty: none
    QTest::addColumn<QString>("boxMentions");  // or: text the one box must contain
    QTest::addColumn<QString>("privateDir");   // the session's; empty: never set
    QTest::addColumn<bool>("privateMade");
    QTest::addColumn<QString>("systemDir");
    QTest::addColumn<bool>("systemOpen");
    QTest::addColumn<QString>("dataDir");
    QTest::addColumn<bool>("dataOpen");
    QTest::addColumn<bool>("passwords");

    const QString forms = QStringLiteral("{root}/Suite/Forms/TEMP");
    const QString sys = QStringLiteral("{root}/Suite/Data/ZELSYS");
    const QString people = QStringLiteral("{root}/Suite/Data/ZELDATA");
    auto complete = [](InstallationFixture &f) { f.makeComplete(); };

    QTest::addRow("complete installation")
        << Setup(complete) << "" << "" << forms << true << sys << true << people << true << true;
    QTest::addRow("directories with trailing separator")
        << Setup([](InstallationFixture &f) {
               f.makeComplete();
               f.setSystemInfo(f.formDirectory() + "/", f.dataDirectory() + "/");
           })
        << "" << "" << forms << true << sys << true << people << true << true;
    QTest::addRow("key names in any case")
        << Setup([](InstallationFixture &f) {
               f.makeComplete();
               f.writeSystemIni("[systeminfo]\nformdirectory = " + f.formDirectory().toUtf8()
                                + "\nDATADIRECTORY=" + f.dataDirectory().toUtf8() + "\n");
           })
        << "" << "" << forms << true << sys << true << people << true << true;

    // Nothing found: nothing set, both aliases closed on their defaults.
    const auto nothing = [&](const char *name, Setup setup) {
        QTest::addRow("%s", name) << setup << NoDirectories << "" << "" << false << DefaultSystem
                                  << false << DefaultData << false << false;
    };
    nothing("no registry hive", [](InstallationFixture &f) {
        f.makeComplete();
        QFile::remove(f.machineHivePath());
    });
    nothing("no Common AppData value", [](InstallationFixture &f) {
        f.makeComplete();
        f.writeMachineHive("REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\"
                           "CurrentVersion\\Explorer\\Shell Folders]\n\"AppData\"=\"/x\"\n");
    });
    nothing("empty Common AppData", [](InstallationFixture &f) {
        f.makeComplete();
        f.setCommonAppData(QString());
    });
    nothing("no system INI", [](InstallationFixture &f) {
        f.makeComplete();
        QFile::remove(f.systemIniPath());
    });
    nothing("system INI unreadable", [](InstallationFixture &f) {
        f.makeComplete();
        QFile::remove(f.systemIniPath());
        f.makeDirectory(f.systemIniPath());
    });
    nothing("no SYSTEMINFO section", [](InstallationFixture &f) {
        f.makeComplete();
        f.writeSystemIni("[SYSTEM]\nFormDirectory=" + f.formDirectory().toUtf8() + "\n");
    });
    nothing("FormDirectory empty, DataDirectory set", [](InstallationFixture &f) {
        f.makeComplete();
        f.setSystemInfo(QString(), f.dataDirectory());
    });

    QTest::addRow("garbage in the registry hive")
        << Setup([](InstallationFixture &f) {
               f.makeComplete();
               f.writeMachineHive("this is not a registry file\n");
           })
        << "" << "{root}/xdg/registry/HKEY_LOCAL_MACHINE.reg" << "" << false << DefaultSystem
        << false << DefaultData << false << false;
    QTest::addRow("Common AppData not text")
        << Setup([](InstallationFixture &f) {
               f.makeComplete();
               f.writeMachineHive("Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\"
                                  "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\"
                                  "Shell Folders]\n\"Common AppData\"=dword:00000001\n");
           })
        << "" << "Common AppData" << "" << false << DefaultSystem << false << DefaultData << false
        << false;

    // Failures after the private directory is set.
    QTest::addRow("DataDirectory missing")
        << Setup([](InstallationFixture &f) {
               f.makeComplete();
               f.writeSystemIni("[SYSTEMINFO]\nFormDirectory=" + f.formDirectory().toUtf8() + "\n");
           })
        << NoDirectories << "" << forms << true << DefaultSystem << false << DefaultData << false
        << false;
    QTest::addRow("system database missing")
        << Setup([](InstallationFixture &f) {
               f.makeComplete();
               QDir(f.dataDirectory() + "/ZELSYS").removeRecursively();
           })
        << "" << sys << forms << true << sys << false << DefaultData << false << false;
    QTest::addRow("data database missing")
        << Setup([](InstallationFixture &f) {
               f.makeComplete();
               QDir(f.dataDirectory() + "/ZELDATA").removeRecursively();
           })
        << "" << people << forms << true << sys << true << people << false << false;

    // The active people data set.
    QTest::addRow("apppath.ini names the data set")
        << Setup([](InstallationFixture &f) {
               f.makeComplete();
               f.makeDirectory(f.dataDirectory() + "/PEOPLE2");
               f.writeUserIni("[ActivePeopleDataSet]\r\nZEL_DATA=PEOPLE2\r\n");
           })
        << "" << "" << forms << true << sys << true << "{root}/Suite/Data/PEOPLE2" << true << true;
    QTest::addRow("apppath.ini without the key")
        << Setup([](InstallationFixture &f) {
               f.makeComplete();
               f.writeUserIni("[ActivePeopleDataSet]\r\nZEL_FDAT=PEOPLE2\r\n");
           })
        << "" << "" << forms << true << sys << true << people << true << true;
    QTest::addRow("APPDATA unset")
        << Setup([](InstallationFixture &f) {
               f.makeComplete();
               f.setAppData(std::nullopt);
           })
        << "" << "" << forms << true << sys << true << people << true << true;
    QTest::addRow("APPDATA unset, apppath.ini in the working directory")
        << Setup([](InstallationFixture &f) {
               f.makeComplete();
               f.makeDirectory(f.dataDirectory() + "/PEOPLE2");
               InstallationFixture::writeFile(f.path("apppath.ini"),
                                              "[ActivePeopleDataSet]\nZEL_DATA=PEOPLE2\n");
               f.setAppData(std::nullopt);
               QDir::setCurrent(f.root());
           })
        << "" << "" << forms << true << sys << true << people << true << true;
    QTest::addRow("APPDATA empty")
        << Setup([](InstallationFixture &f) {
               f.makeComplete();
               f.setAppData(QByteArray());
           })
        << "" << "" << forms << true << sys << true << people << true << true;

    // The private directory: the first "ZELFORM", as spelt, is taken out.
    QTest::addRow("FormDirectory named ZELFORM")
        << Setup([](InstallationFixture &f) {
               f.makeComplete();
               f.setSystemInfo(f.root() + "/ZELFORM/", f.dataDirectory());
           })
        << "" << "" << "{root}//ZELFORMTEMP" << true << sys << true << people << true << true;
    QTest::addRow("ZELFORM inside a folder name")
        << Setup([](InstallationFixture &f) {
               f.makeComplete();
               f.setSystemInfo(f.root() + "/MyZELFORMs", f.dataDirectory());
           })
        << "" << "" << "{root}/Mys/ZELFORMTEMP" << true << sys << true << people << true << true;
    QTest::addRow("lower-case zelform kept")
        << Setup([](InstallationFixture &f) {
               f.makeComplete();
               f.setSystemInfo(f.root() + "/zelform", f.dataDirectory());
           })
        << "" << "" << "{root}/zelform/TEMP" << true << sys << true << people << true << true;

    // Directories that cannot be made are not errors.
    QTest::addRow("private directory cannot be made")
        << Setup([](InstallationFixture &f) {
               f.makeComplete();
               InstallationFixture::writeFile(f.path("blocker"), "a file");
               f.setSystemInfo(f.path("blocker/Forms"), f.dataDirectory());
           })
        << "" << "" << "{root}/blocker/Forms/TEMP" << false << sys << true << people << true
        << true;
    QTest::addRow("per-user folder cannot be made")
        << Setup([](InstallationFixture &f) {
               f.makeComplete();
               InstallationFixture::writeFile(f.path("blocker"), "a file");
               f.setAppData(f.path("blocker").toLocal8Bit());
           })
        << "" << "" << forms << true << sys << true << people << true << true;
}

void TestCustomConnect::create()
{
    QFETCH(Setup, setup);
    QFETCH(QString, box);
    QFETCH(QString, boxMentions);
    QFETCH(QString, privateDir);
    QFETCH(bool, privateMade);
    QFETCH(QString, systemDir);
    QFETCH(bool, systemOpen);
    QFETCH(QString, dataDir);
    QFETCH(bool, dataOpen);
    QFETCH(bool, passwords);

    InstallationFixture fixture;
    QVERIFY(fixture.isValid());
    setup(fixture);
    platform::ScriptedMessageHost host;

    TdmConnect *connection = GetConnection();
    QVERIFY(connection);

    if (box.isEmpty() && boxMentions.isEmpty()) {
        QVERIFY2(host.boxes().isEmpty(), qPrintable(host.texts().join(QLatin1Char('\n'))));
    } else {
        QCOMPARE(host.boxes().size(), 1);
        const platform::ScriptedMessageHost::Box &shown = host.boxes().first();
        QCOMPARE(shown.kind, platform::MessageKind::Error);
        QCOMPARE(shown.title, QStringLiteral("Tallyport"));
        if (!box.isEmpty())
            QCOMPARE(shown.text, box);
        else
            QVERIFY2(shown.text.contains(expand(boxMentions, fixture)), qPrintable(shown.text));
    }

    data::Session &session = data::Session::defaultSession();
    QCOMPARE(session.privateDir(), expand(privateDir, fixture));
    if (!privateDir.isEmpty())
        QCOMPARE(QFileInfo(expand(privateDir, fixture)).isDir(), privateMade);

    QCOMPARE(connection->dbSystem.databaseName(), QStringLiteral("ZEL_SYS"));
    QCOMPARE(connection->dbSystem.directory(), expand(systemDir, fixture));
    QCOMPARE(connection->dbSystem.connected(), systemOpen);
    QCOMPARE(connection->DBISAMDatabase.databaseName(), QStringLiteral("ZEL_DATA"));
    QCOMPARE(connection->DBISAMDatabase.directory(), expand(dataDir, fixture));
    QCOMPARE(connection->DBISAMDatabase.connected(), dataOpen);
    QCOMPARE(connection->dbFinancials.databaseName(), QStringLiteral("ZEL_FDAT"));
    QCOMPARE(connection->dbFinancials.directory(), DefaultFinancials);
    QVERIFY(!connection->dbFinancials.connected());

    QCOMPARE(session.passwords(), passwords ? TablePasswords() : QStringList());
    // The aliases are what every table finds.
    QCOMPARE(session.findDatabase(QStringLiteral("zel_data")), &connection->DBISAMDatabase);
}

void TestCustomConnect::getConnectionCreatesOnce()
{
    InstallationFixture fixture;
    platform::ScriptedMessageHost host;   // no installation at all: every create fails visibly

    TdmConnect *first = GetConnection();
    QCOMPARE(host.texts(), QStringList{NoDirectories});
    QCOMPARE(GetConnection(), first);
    QCOMPARE(host.boxes().size(), 1);

    FreeConnection();
    QVERIFY(!data::Session::defaultSession().findDatabase(QStringLiteral("ZEL_DATA")));
    FreeConnection();   // nothing left to free
    GetConnection();
    QCOMPARE(host.boxes().size(), 2);
}

void TestCustomConnect::destroyClosesEverything()
{
    InstallationFixture fixture;
    fixture.makeComplete();
    fixture.makeDirectory(fixture.path("Financials"));
    platform::ScriptedMessageHost host;

    TdmConnect module;
    QVERIFY(host.boxes().isEmpty());
    module.dbFinancials.setDirectory(fixture.path("Financials"));
    module.dbFinancials.open();
    QVERIFY(module.DBISAMDatabase.connected());
    QVERIFY(module.dbSystem.connected());
    QVERIFY(module.DBISAMEngine.active());

    module.DataModuleDestroy();
    QVERIFY(!module.DBISAMDatabase.connected());
    QVERIFY(!module.dbSystem.connected());
    QVERIFY(!module.dbFinancials.connected());
    QVERIFY(!data::Engine::instance().active());
    QVERIFY(host.boxes().isEmpty());

    module.DataModuleDestroy();   // closing what is closed is harmless
    QVERIFY(host.boxes().isEmpty());
}

void TestCustomConnect::destroyAfterFailedCreate()
{
    InstallationFixture fixture;
    fixture.makeComplete();
    QDir(fixture.dataDirectory() + "/ZELDATA").removeRecursively();
    platform::ScriptedMessageHost host;

    GetConnection();
    QCOMPARE(host.boxes().size(), 1);
    QVERIFY(data::Engine::instance().active());   // ZEL_SYS did open

    FreeConnection();
    QCOMPARE(host.boxes().size(), 1);
    QVERIFY(!data::Engine::instance().active());
    QVERIFY(data::Session::defaultSession().databases().isEmpty());
}

void TestCustomConnect::passwordsRegisteredOnce()
{
    const QStringList passwords = TablePasswords();
    QCOMPARE(passwords.size(), 2);
    QCOMPARE(passwords.at(0).size(), 12);
    QCOMPARE(passwords.at(1).size(), 14);
    for (const QString &password : passwords) {
        for (QChar c : password)
            QVERIFY(c.unicode() > 0x20 && c.unicode() < 0x7F);
        // Scrambling the decoded text again and decoding gives it back: the
        // stored string was a real scramble, not the text as is.
        QCOMPARE(QString::fromLatin1(DecodeString(EncodeString(password.toLatin1(), 0x3C), true)),
                 password);
    }

    InstallationFixture fixture;
    fixture.makeComplete();
    platform::ScriptedMessageHost host;
    data::Session &session = data::Session::defaultSession();
    session.addPassword(passwords.at(1));
    session.addPassword(QStringLiteral("another"));

    GetConnection();
    QVERIFY(host.boxes().isEmpty());
    QCOMPARE(session.passwords(), (QStringList{QStringLiteral("another"), passwords.at(0),
                                               passwords.at(1)}));
}

void TestCustomConnect::protectedTableOpensThroughAlias()
{
    InstallationFixture fixture;
    fixture.makeComplete();
    const QString directory = fixture.dataDirectory() + QStringLiteral("/ZELDATA");
    {
        data::Table maker;
        maker.setDatabaseName(directory);
        maker.setTableName(QStringLiteral("awusrmst"));
        data::TableDef def;
        def.fields = {{QStringLiteral("UserID"), data::FieldType::Integer, 0, true}};
        def.indexes = {{QString(), {QStringLiteral("UserID")}, true, true, false, false}};
        def.password = TablePasswords().at(1);
        maker.createTable(def);
    }
    platform::ScriptedMessageHost host;

    GetConnection();
    QVERIFY(host.boxes().isEmpty());
    {
        data::Table table;
        table.setDatabaseName(QStringLiteral("ZEL_DATA"));
        table.setTableName(QStringLiteral("awusrmst"));
        table.open();
        QVERIFY(table.active());
        QCOMPARE(GetConnection()->DBISAMDatabase.openTables().size(), 1);
        GetConnection()->DataModuleDestroy();
        QVERIFY(!table.active());
    }

    // Without the registered passwords the same table stays shut.
    FreeConnection();
    resetSession();
    data::Table table;
    table.setDatabaseName(directory);
    table.setTableName(QStringLiteral("awusrmst"));
    QVERIFY_THROWS_EXCEPTION(data::EngineError, table.open());
}

void TestCustomConnect::userAppDataFolder_data()
{
    QTest::addColumn<bool>("set");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("folder");

    QTest::addRow("unset") << false << "" << "";
    QTest::addRow("empty") << true << "" << "";
    QTest::addRow("folder") << true << "{root}/AppData" << "{root}/AppData/Zelvane/";
    QTest::addRow("folder with separator") << true << "{root}/AppData/" << "{root}/AppData/Zelvane/";
}

void TestCustomConnect::userAppDataFolder()
{
    QFETCH(bool, set);
    QFETCH(QString, value);
    QFETCH(QString, folder);

    InstallationFixture fixture;
    fixture.setAppData(set ? std::optional(expand(value, fixture).toLocal8Bit()) : std::nullopt);
    QCOMPARE(GetUserAppDataFolder(), expand(folder, fixture));
    if (folder.isEmpty())
        QCOMPARE(QDir(fixture.root()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList());
    else
        QVERIFY(QFileInfo(expand(folder, fixture)).isDir());
}

void TestCustomConnect::userAppDataFolderCreated()
{
    // A full start-up with a per-user folder that does not exist yet makes it.
    InstallationFixture fixture;
    fixture.makeComplete();
    fixture.setAppData(fixture.path("Users/me/AppData/Roaming").toLocal8Bit());
    platform::ScriptedMessageHost host;
    GetConnection();
    QVERIFY(host.boxes().isEmpty());
    QVERIFY(QFileInfo(fixture.path("Users/me/AppData/Roaming/Zelvane")).isDir());
}

void TestCustomConnect::systemInfoDirectory()
{
    InstallationFixture fixture;
    fixture.setCommonAppData(fixture.commonAppData());
    fixture.writeSystemIni("; the suite's system settings\n[SystemInfo]\nFormDirectory=/srv/forms\n"
                           "DataDirectory=/srv/data/\nFormDirectory=/srv/second\nEmpty=\n");

    QCOMPARE(GetSystemInfoDirectory(QStringLiteral("FormDirectory")), QStringLiteral("/srv/forms/"));
    QCOMPARE(GetSystemInfoDirectory(QStringLiteral("datadirectory")), QStringLiteral("/srv/data/"));
    QCOMPARE(GetFormDirectory(), QStringLiteral("/srv/forms/ZELFORM"));
    QCOMPARE(GetSystemDataDirectory(), QStringLiteral("/srv/data/ZELSYS"));
    QCOMPARE(GetPeopleDataDirectory(), QStringLiteral("/srv/data/ZELDATA"));

    for (const QString &key : {QStringLiteral("Empty"), QStringLiteral("Missing")}) {
        try {
            GetSystemInfoDirectory(key);
            QFAIL("an empty or missing key gave a directory");
        } catch (const platform::Error &e) {
            QCOMPARE(e.message(), NoDirectories);
        }
    }

    fixture.writeMachineHive("this is not a registry file\n");
    QVERIFY_THROWS_EXCEPTION(platform::RegistryError, GetFormDirectory());
}

void TestCustomConnect::lookupsReadAfresh()
{
    InstallationFixture fixture;
    fixture.setCommonAppData(fixture.commonAppData());
    fixture.setSystemInfo(QStringLiteral("/a/forms"), QStringLiteral("/a/data"));
    QCOMPARE(GetFormDirectory(), QStringLiteral("/a/forms/ZELFORM"));
    QCOMPARE(GetSystemDataDirectory(), QStringLiteral("/a/data/ZELSYS"));
    QCOMPARE(GetPeopleDataDirectory(), QStringLiteral("/a/data/ZELDATA"));

    // A changed INI file is seen at once.
    fixture.setSystemInfo(QStringLiteral("/b/forms"), QStringLiteral("/b/data"));
    fixture.writeUserIni("[ActivePeopleDataSet]\nZEL_DATA=Second\n");
    QCOMPARE(GetFormDirectory(), QStringLiteral("/b/forms/ZELFORM"));
    QCOMPARE(GetSystemDataDirectory(), QStringLiteral("/b/data/ZELSYS"));
    QCOMPARE(GetPeopleDataDirectory(), QStringLiteral("/b/data/Second"));

    // So is a changed registry value.
    const QString other = fixture.path("Other");
    InstallationFixture::writeFile(other + "/Zelvane/ZEL_SYS.INI",
                                   "[SYSTEMINFO]\nFormDirectory=/c/forms\nDataDirectory=/c/data\n");
    fixture.setCommonAppData(other);
    QCOMPARE(GetFormDirectory(), QStringLiteral("/c/forms/ZELFORM"));
    QCOMPARE(GetSystemDataDirectory(), QStringLiteral("/c/data/ZELSYS"));
    QCOMPARE(GetPeopleDataDirectory(), QStringLiteral("/c/data/Second"));
}

QTEST_GUILESS_MAIN(TestCustomConnect)
#include "tst_CustomConnect.moc"
