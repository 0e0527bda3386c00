#include "platform/IniFile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using platform::IniFile;

class TestIniFile : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

    QString write(const QByteArray &bytes)
    {
        const QString path = m_dir.filePath("ZEL_SYS.INI");
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
            qFatal("cannot write the test file");
        f.write(bytes);
        return path;
    }

private slots:
    void readString_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("section");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("expected");   // the default is "DEF"

        const QByteArray sys = "[SYSTEMINFO]\r\nFormDirectory=D:\\Suite\\Forms\r\nDataDirectory = D:\\Suite\\Data\\ \r\n";
        QTest::addRow("plain, CR LF") << sys << "SYSTEMINFO" << "FormDirectory" << "D:\\Suite\\Forms";
        QTest::addRow("names ignore case") << sys << "systeminfo" << "FORMDIRECTORY" << "D:\\Suite\\Forms";
        QTest::addRow("blanks trimmed") << sys << " SystemInfo " << " DataDirectory " << "D:\\Suite\\Data\\";
        QTest::addRow("missing key") << sys << "SYSTEMINFO" << "Other" << "DEF";
        QTest::addRow("missing section") << sys << "Other" << "FormDirectory" << "DEF";
        QTest::addRow("LF only, blanks around the section name")
            << QByteArray("[ ActivePeopleDataSet ]\nZEL_DATA=ZELDATA2\n") << "ActivePeopleDataSet" << "ZEL_DATA"
            << "ZELDATA2";
        QTest::addRow("value keeps later =") << QByteArray("[s]\nk=a=b==c\n") << "s" << "k" << "a=b==c";
        QTest::addRow("no percent decoding, no list splitting")
            << QByteArray("[s]\nk=50%20off, a, b\n") << "s" << "k" << "50%20off, a, b";
        QTest::addRow("first key wins") << QByteArray("[s]\nk=one\nK=two\n") << "s" << "k" << "one";
        QTest::addRow("first section wins") << QByteArray("[s]\nx=1\n[S]\nk=two\n") << "s" << "k" << "DEF";
        QTest::addRow("empty value is not the default") << QByteArray("[s]\nk=\n") << "s" << "k" << "";
        QTest::addRow("comment lines") << QByteArray("; [s]\n[s]\n;k=no\n  ; k=no\nk=yes\n") << "s" << "k" << "yes";
        QTest::addRow("enclosing quotes dropped") << QByteArray("[s]\nk=\" padded \"\n") << "s" << "k" << " padded ";
        QTest::addRow("keys outside sections are unreachable") << QByteArray("k=v\n[s]\n") << "s" << "k" << "DEF";
        QTest::addRow("line without = is no key") << QByteArray("[s]\nk\nk=v\n") << "s" << "k" << "v";
        QTest::addRow("UTF-8 with BOM") << QByteArray("\xEF\xBB\xBF[s]\nk=\xC3\xA9t\xC3\xA9\n") << "s" << "k"
                                         << QString::fromUtf8("été");
        QTest::addRow("8-bit text") << QByteArray("[s]\nk=\xE9t\xE9\n") << "s" << "k" << QString::fromUtf8("été");
        QTest::addRow("UTF-16LE with BOM") << QByteArray("\xFF\xFE[\0s\0]\0\n\0k\0=\0v\0", 16) << "s" << "k" << "v";
        QTest::addRow("empty file") << QByteArray() << "s" << "k" << "DEF";
    }

    void readString()
    {
        QFETCH(QByteArray, file);
        QFETCH(QString, section);
        QFETCH(QString, key);
        QFETCH(QString, expected);
        const IniFile ini(write(file));
        QCOMPARE(ini.status(), IniFile::Status::Ok);
        QCOMPARE(ini.readString(section, key, "DEF"), expected);
    }

    void readSection()
    {
        const IniFile ini(write("[other]\na=0\n[SystemInfo]\nDataDirectory=/d\n; c\nFormDirectory = /f \nformdirectory=/g\n"
                                "[systeminfo]\nLater=1\n"));
        const QList<std::pair<QString, QString>> expected{
            {"DataDirectory", "/d"}, {"FormDirectory", "/f"}, {"formdirectory", "/g"}};
        QCOMPARE(ini.readSection("SYSTEMINFO"), expected);
        QVERIFY(ini.sectionExists("OTHER"));
        QVERIFY(ini.readSection("none").isEmpty());
    }

    void missingAndUnreadableReadEmpty()
    {
        const IniFile missing(m_dir.filePath("nothing.ini"));
        QCOMPARE(missing.status(), IniFile::Status::Missing);
        QCOMPARE(missing.readString("s", "k", "DEF"), QString("DEF"));
        QVERIFY(missing.readSection("s").isEmpty());

        QVERIFY(QDir(m_dir.path()).mkpath("folder.ini"));
        const IniFile folder(m_dir.filePath("folder.ini"));
        QCOMPARE(folder.status(), IniFile::Status::Unreadable);
        QCOMPARE(folder.readString("s", "k", "DEF"), QString("DEF"));

        const IniFile noName{QString()};
        QCOMPARE(noName.status(), IniFile::Status::Missing);
    }

    void readsTheFileWhenMade()
    {
        const QString path = write("[s]\nk=old\n");
        const IniFile before(path);
        write("[s]\nk=new\n");
        QCOMPARE(before.readString("s", "k"), QString("old"));
        QCOMPARE(IniFile(path).readString("s", "k"), QString("new"));
    }
};

QTEST_GUILESS_MAIN(TestIniFile)
#include "test_inifile.moc"
