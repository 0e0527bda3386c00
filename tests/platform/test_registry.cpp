#include "platform/Registry.h"
#include "EnvGuard.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

using platform::Registry;
using platform::RegistryError;
using platform::RegistryRoot;

namespace {

const char *const kHeader = "Windows Registry Editor Version 5.00\r\n\r\n";

void writeFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

QByteArray utf16le(const QString &s)
{
    QByteArray out("\xFF\xFE", 2);
    for (QChar c : s) {
        out.append(char(c.unicode() & 0xFF));
        out.append(char(c.unicode() >> 8));
    }
    return out;
}

} // namespace

class TestRegistry : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    EnvGuard *m_env = nullptr;

    QString machineDir() const { return m_dir.path() + "/etc-xdg"; }
    QString userDir() const { return m_dir.path() + "/config"; }
    QString machineHive() const { return machineDir() + "/registry/HKEY_LOCAL_MACHINE.reg"; }
    QString userHive() const { return userDir() + "/registry/HKEY_CURRENT_USER.reg"; }

private slots:
    void init()
    {
        QVERIFY(m_dir.isValid());
        QDir(m_dir.path()).removeRecursively();
        QDir().mkpath(m_dir.path());
        m_env = new EnvGuard;
        m_env->set("XDG_CONFIG_DIRS", machineDir().toUtf8());
        m_env->set("XDG_CONFIG_HOME", userDir().toUtf8());
        m_env->set("HOME", m_dir.path().toUtf8());
    }
    void cleanup()
    {
        delete m_env;
        m_env = nullptr;
    }

    void readString_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("found");
        QTest::addColumn<QString>("expected");

        const QByteArray shell =
            QByteArray(kHeader) +
            "[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders]\r\n"
            "\"Common AppData\"=\"/srv/all users\"\r\n";
        const QString shellKey = Registry::shellFoldersKey();

        QTest::addRow("plain") << shell << shellKey << "Common AppData" << true << "/srv/all users";
        QTest::addRow("key and name ignore case")
            << shell << shellKey.toUpper() << "COMMON appdata" << true << "/srv/all users";
        QTest::addRow("outer backslashes on the key path")
            << shell << "\\" + shellKey + "\\" << "Common AppData" << true << "/srv/all users";
        QTest::addRow("missing value") << shell << shellKey << "Personal" << false << "";
        QTest::addRow("missing key") << shell << "Software\\Other" << "Common AppData" << false << "";
        QTest::addRow("parent key is not the value's key")
            << shell << "Software\\Microsoft" << "Common AppData" << false << "";
        QTest::addRow("escapes and the default value")
            << QByteArray(kHeader) + "[HKEY_LOCAL_MACHINE\\A]\n@=\"C:\\\\Data \\\"x\\\" = y\"\n"
            << "A" << "" << true << "C:\\Data \"x\" = y";
        QTest::addRow("empty string") << QByteArray(kHeader) + "[HKEY_LOCAL_MACHINE\\A]\n\"v\"=\"\"\n"
                                      << "A" << "v" << true << "";
        QTest::addRow("later line replaces earlier")
            << QByteArray(kHeader) + "[HKEY_LOCAL_MACHINE\\A]\n\"v\"=\"one\"\n[HKEY_LOCAL_MACHINE\\a]\n\"V\"=\"two\"\n"
            << "A" << "v" << true << "two";
        QTest::addRow("comments and blank lines")
            << QByteArray(kHeader) + "; note\n\n[HKEY_LOCAL_MACHINE\\A]\n  ; indented note\n  \"v\" = \"x\"  \n"
            << "A" << "v" << true << "x";
        // hex(2) is REG_EXPAND_SZ in UTF-16LE, read unexpanded; continued over two lines.
        QTest::addRow("expand string in hex, continued")
            << QByteArray(kHeader) + "[HKEY_LOCAL_MACHINE\\A]\n\"v\"=hex(2):25,00,41,00,\\\n  25,00,00,00\n"
            << "A" << "v" << true << "%A%";
        QTest::addRow("REGEDIT4 hex(1) is 8-bit")
            << QByteArray("REGEDIT4\n[HKEY_LOCAL_MACHINE\\A]\n\"v\"=hex(1):e9,74,e9,00\n")
            << "A" << "v" << true << QString::fromUtf8("été");
        QTest::addRow("UTF-8 text") << QByteArray(kHeader) + "[HKEY_LOCAL_MACHINE\\Ä]\n\"ö\"=\"ü\"\n"
                                    << QString::fromUtf8("ä") << QString::fromUtf8("Ö") << true
                                    << QString::fromUtf8("ü");
        QTest::addRow("UTF-16LE file as regedit writes it")
            << utf16le(QString(kHeader) + "[HKEY_LOCAL_MACHINE\\A]\r\n\"v\"=\"wide\"\r\n")
            << "A" << "v" << true << "wide";
        QTest::addRow("a name holding = and hex is still a string")
            << QByteArray(kHeader) + "[HKEY_LOCAL_MACHINE\\A]\n\"a=hex\"=\"x=hex:\\\\\"\n\"b\"=\"y\"\n"
            << "A" << "b" << true << "y";
        QTest::addRow("empty file is an empty hive") << QByteArray() << "A" << "v" << false << "";
    }

    void readString()
    {
        QFETCH(QByteArray, file);
        QFETCH(QString, key);
        QFETCH(QString, name);
        QFETCH(bool, found);
        QFETCH(QString, expected);
        writeFile(machineHive(), file);
        const auto value = Registry::readString(RegistryRoot::LocalMachine, key, name);
        QCOMPARE(value.has_value(), found);
        if (found)
            QCOMPARE(*value, expected);
    }

    void nonStringValueRaises_data()
    {
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<QString>("type");
        QTest::addRow("dword") << QByteArray("dword:0000001f") << "REG_DWORD";
        QTest::addRow("binary") << QByteArray("hex:01,02") << "REG_BINARY";
        QTest::addRow("multi string") << QByteArray("hex(7):41,00,00,00,00,00") << "REG_MULTI_SZ";
        QTest::addRow("qword") << QByteArray("hex(b):01,00,00,00,00,00,00,00") << "REG_QWORD";
    }

    void nonStringValueRaises()
    {
        QFETCH(QByteArray, data);
        QFETCH(QString, type);
        writeFile(machineHive(), QByteArray(kHeader) + "[HKEY_LOCAL_MACHINE\\A]\n\"Common AppData\"=" + data + "\n");
        QVERIFY(Registry::valueExists(RegistryRoot::LocalMachine, "A", "common appdata"));
        try {
            Registry::readString(RegistryRoot::LocalMachine, "A", "Common AppData");
            QFAIL("no error raised");
        } catch (const RegistryError &e) {
            QVERIFY2(e.message().contains("Invalid data type for 'Common AppData'"), qPrintable(e.message()));
            QVERIFY2(e.message().contains(type), qPrintable(e.message()));
        }
    }

    void malformedFileNamesFileAndLine_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<int>("line");
        QTest::addColumn<QString>("what");
        const QByteArray k = QByteArray(kHeader) + "[HKEY_LOCAL_MACHINE\\A]\n";   // lines 1-3
        QTest::addRow("no header") << QByteArray("[HKEY_LOCAL_MACHINE\\A]\n") << 1 << "header";
        QTest::addRow("garbage line") << k + "this is not a value\n" << 4 << "expected a [key]";
        QTest::addRow("unterminated string") << k + "\"v\"=\"open\n" << 4 << "unterminated string";
        QTest::addRow("unterminated name") << k + "\"v=\"x\n" << 4 << "";
        QTest::addRow("lone backslash escape") << k + "\"v\"=\"C:\\Data\"\n" << 4 << "unknown escape";
        QTest::addRow("text after the string") << k + "\"v\"=\"x\" y\n" << 4 << "after the closing quote";
        QTest::addRow("no equals") << k + "\"v\" \"x\"\n" << 4 << "expected =";
        QTest::addRow("value before any key") << QByteArray(kHeader) + "\"v\"=\"x\"\n" << 3 << "outside";
        QTest::addRow("key of another root") << QByteArray(kHeader) + "[HKEY_CURRENT_USER\\A]\n" << 3
                                             << "does not belong to HKEY_LOCAL_MACHINE";
        QTest::addRow("key without bracket") << QByteArray(kHeader) + "[HKEY_LOCAL_MACHINE\\A\n" << 3 << "]";
        QTest::addRow("bad dword") << k + "\"v\"=dword:12345678a\n" << 4 << "dword";
        QTest::addRow("bad hex byte") << k + "\"v\"=hex:01,zz\n" << 4 << "zz";
        QTest::addRow("bad hex type") << k + "\"v\"=hex(q):01\n" << 4 << "hex type";
        QTest::addRow("odd UTF-16 string") << k + "\"v\"=hex(2):41\n" << 4 << "odd";
        QTest::addRow("unknown data") << k + "\"v\"=42\n" << 4 << "unrecognised";
        QTest::addRow("value deletion") << k + "\"v\"=-\n" << 4 << "deletion";
        QTest::addRow("error further down the file") << k + "\"v\"=\"x\"\n\n\n\"w\"=\"\n" << 7 << "unterminated";
    }

    void malformedFileNamesFileAndLine()
    {
        QFETCH(QByteArray, file);
        QFETCH(int, line);
        QFETCH(QString, what);
        writeFile(machineHive(), file);
        // Every access checks the whole file, also one for an unrelated value.
        try {
            Registry::readString(RegistryRoot::LocalMachine, "Other", "x");
            QFAIL("no error raised");
        } catch (const RegistryError &e) {
            const QString msg = e.message();
            QVERIFY2(msg.contains(machineHive()), qPrintable(msg));
            QVERIFY2(msg.contains(QString("line %1:").arg(line)), qPrintable(msg));
            QVERIFY2(msg.contains(what), qPrintable(msg));
        }
        QVERIFY_THROWS_EXCEPTION(RegistryError, Registry::keyExists(RegistryRoot::LocalMachine, "A"));
    }

    void invalidUtf8Raises()
    {
        writeFile(machineHive(), QByteArray(kHeader) + "[HKEY_LOCAL_MACHINE\\A]\n\"v\"=\"\xE9t\xE9\"\n");
        QVERIFY_THROWS_EXCEPTION(RegistryError, Registry::readString(RegistryRoot::LocalMachine, "A", "v"));
    }

    void unreadableHiveRaises()
    {
        QDir().mkpath(machineHive());   // a folder where the file should be
        try {
            Registry::readString(RegistryRoot::LocalMachine, "A", "v");
            QFAIL("no error raised");
        } catch (const RegistryError &e) {
            QVERIFY2(e.message().contains(machineHive()), qPrintable(e.message()));
        }
        if (geteuid() != 0) {   // root reads everything
            writeFile(userHive(), kHeader);
            QFile::setPermissions(userHive(), QFileDevice::Permissions());
            QVERIFY_THROWS_EXCEPTION(RegistryError, Registry::readString(RegistryRoot::CurrentUser, "A", "v"));
        }
    }

    void machineHiveSearchOrder()
    {
        const QString first = m_dir.path() + "/first";
        const QString second = m_dir.path() + "/second";
        const auto hive = [](const QString &value) {
            return QByteArray(kHeader) + "[HKEY_LOCAL_MACHINE\\A]\n\"v\"=\"" + value.toUtf8() + "\"\n";
        };
        m_env->set("XDG_CONFIG_DIRS", ("relative/dir::" + first + ":" + second).toUtf8());
        QCOMPARE(Registry::hivePath(RegistryRoot::LocalMachine), QString());
        QVERIFY(!Registry::readString(RegistryRoot::LocalMachine, "A", "v"));
        QVERIFY(!Registry::keyExists(RegistryRoot::LocalMachine, "A"));

        writeFile(second + "/registry/HKEY_LOCAL_MACHINE.reg", hive("second"));
        QCOMPARE(*Registry::readString(RegistryRoot::LocalMachine, "A", "v"), QString("second"));
        writeFile(first + "/registry/HKEY_LOCAL_MACHINE.reg", hive("first"));
        QCOMPARE(*Registry::readString(RegistryRoot::LocalMachine, "A", "v"), QString("first"));

        // Read afresh on every call.
        writeFile(first + "/registry/HKEY_LOCAL_MACHINE.reg", hive("changed"));
        QCOMPARE(*Registry::readString(RegistryRoot::LocalMachine, "A", "v"), QString("changed"));

        // The user hive lives elsewhere and does not see machine values.
        QVERIFY(!Registry::readString(RegistryRoot::CurrentUser, "A", "v"));
    }

    void defaultLocations()
    {
        m_env->unset("XDG_CONFIG_DIRS");
        m_env->set("XDG_CONFIG_HOME", "");
        writeFile(m_dir.path() + "/.config/registry/HKEY_CURRENT_USER.reg",
                  QByteArray(kHeader) + "[HKEY_CURRENT_USER\\A]\n\"v\"=\"home\"\n");
        QCOMPARE(Registry::hivePath(RegistryRoot::CurrentUser),
                 m_dir.path() + "/.config/registry/HKEY_CURRENT_USER.reg");
        QCOMPARE(*Registry::readString(RegistryRoot::CurrentUser, "A", "v"), QString("home"));
        const QString machine = Registry::hivePath(RegistryRoot::LocalMachine);
        QVERIFY(machine.isEmpty() || machine == "/etc/xdg/registry/HKEY_LOCAL_MACHINE.reg");
    }

    void keyExists()
    {
        writeFile(userHive(), QByteArray(kHeader) + "[HKEY_CURRENT_USER\\Software\\Zelvane\\Sub]\n"
                                                    "[HKEY_CURRENT_USER\\Software\\Empty]\n");
        QVERIFY(Registry::keyExists(RegistryRoot::CurrentUser, "software\\zelvane\\SUB"));
        QVERIFY(Registry::keyExists(RegistryRoot::CurrentUser, "Software\\Zelvane"));
        QVERIFY(Registry::keyExists(RegistryRoot::CurrentUser, "Software\\Empty"));
        QVERIFY(!Registry::keyExists(RegistryRoot::CurrentUser, "Software\\Zel"));
        QVERIFY(!Registry::keyExists(RegistryRoot::CurrentUser, "Software\\Zelvane\\Sub\\Deeper"));
        QVERIFY(!Registry::readString(RegistryRoot::CurrentUser, "Software\\Empty", ""));
    }

    void shellFolder()
    {
        // The XDG folders as the desktop configures them in user-dirs.dirs.
        writeFile(userDir() + "/user-dirs.dirs",
                  "XDG_DOCUMENTS_DIR=\"$HOME/Papers\"\nXDG_DESKTOP_DIR=\"$HOME/Table\"\n");
        QCOMPARE(Registry::shellFolder("Personal"), m_dir.path() + "/Papers");
        QCOMPARE(Registry::shellFolder("Desktop"), m_dir.path() + "/Table");
        QCOMPARE(Registry::shellFolder("Favorites"), QString());

        writeFile(userHive(), QByteArray(kHeader) + "[HKEY_CURRENT_USER\\" + Registry::shellFoldersKey().toUtf8() +
                                  "]\n\"Personal\"=\"/data/mine\"\n\"Desktop\"=\"\"\n");
        QCOMPARE(Registry::shellFolder("personal"), QString("/data/mine"));
        QCOMPARE(Registry::shellFolder("Desktop"), QString());   // set, though empty

        writeFile(userHive(), QByteArray(kHeader) + "[HKEY_CURRENT_USER\\" + Registry::shellFoldersKey().toUtf8() +
                                  "]\n\"Personal\"=dword:1\n");
        QVERIFY_THROWS_EXCEPTION(RegistryError, Registry::shellFolder("Personal"));
    }
};

QTEST_GUILESS_MAIN(TestRegistry)
#include "test_registry.moc"
