#include "platform/Paths.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

using namespace platform;

class TestPaths : public QObject {
    Q_OBJECT
private slots:
    void delimiters_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("included");
        QTest::addColumn<QString>("excluded");
        QTest::addRow("empty") << "" << "/" << "";
        QTest::addRow("root") << "/" << "/" << "/";
        QTest::addRow("plain") << "/srv/data" << "/srv/data/" << "/srv/data";
        QTest::addRow("trailing") << "/srv/data/" << "/srv/data/" << "/srv/data";
        QTest::addRow("only one is dropped") << "/srv//" << "/srv//" << "/srv/";
        QTest::addRow("relative") << "Zelvane" << "Zelvane/" << "Zelvane";
    }

    void delimiters()
    {
        QFETCH(QString, path);
        QFETCH(QString, included);
        QFETCH(QString, excluded);
        QCOMPARE(includeTrailingDelimiter(path), included);
        QCOMPARE(excludeTrailingDelimiter(path), excluded);
    }

    void joinPath_data()
    {
        QTest::addColumn<QString>("a");
        QTest::addColumn<QString>("b");
        QTest::addColumn<QString>("expected");
        QTest::addRow("plain") << "/srv" << "Zelvane" << "/srv/Zelvane";
        QTest::addRow("a ends in delimiter") << "/srv/" << "Zelvane" << "/srv/Zelvane";
        QTest::addRow("b starts with delimiters") << "/srv/" << "//Zelvane/x.ini" << "/srv/Zelvane/x.ini";
        QTest::addRow("empty a") << "" << "apppath.ini" << "apppath.ini";
        QTest::addRow("empty b") << "/srv" << "" << "/srv";
        QTest::addRow("root") << "/" << "etc" << "/etc";
    }

    void joinPath()
    {
        QFETCH(QString, a);
        QFETCH(QString, b);
        QFETCH(QString, expected);
        QCOMPARE(platform::joinPath(a, b), expected);
    }

    void fromWindowsPath_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("expected");
        QTest::addRow("drive root") << "C:\\" << "/";
        QTest::addRow("default data directory") << "c:\\dedidu\\zeldata" << "/dedidu/zeldata";
        QTest::addRow("bare drive") << "D:" << "/";
        QTest::addRow("drive-relative") << "D:Suite" << "/Suite";
        QTest::addRow("no drive") << "Zelvane\\ZEL_SYS.INI" << "Zelvane/ZEL_SYS.INI";
        QTest::addRow("already native") << "/srv/data" << "/srv/data";
        QTest::addRow("empty") << "" << "";
    }

    void fromWindowsPath()
    {
        QFETCH(QString, path);
        QFETCH(QString, expected);
        QCOMPARE(platform::fromWindowsPath(path), expected);
    }

    void existenceTests()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString file = dir.filePath("a.txt");
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.close();
        QVERIFY(directoryExists(dir.path()));
        QVERIFY(directoryExists(includeTrailingDelimiter(dir.path())));
        QVERIFY(!directoryExists(file));
        QVERIFY(!directoryExists(dir.filePath("none")));
        QVERIFY(!directoryExists(""));
        QVERIFY(fileExists(file));
        QVERIFY(!fileExists(dir.path()));
        QVERIFY(!fileExists(dir.filePath("none")));
        QVERIFY(!fileExists(""));
    }

    void forceDirectories()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString deep = dir.filePath("a/b/c/");
        QVERIFY(platform::forceDirectories(deep));
        QVERIFY(directoryExists(dir.filePath("a/b/c")));
        QVERIFY(platform::forceDirectories(deep));   // already there

        QVERIFY(!platform::forceDirectories(""));

        // A file in the way of a parent.
        QFile blocker(dir.filePath("file"));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        QVERIFY(!platform::forceDirectories(dir.filePath("file/sub")));
        QVERIFY(!platform::forceDirectories(dir.filePath("file")));

        if (geteuid() != 0) {
            QVERIFY(QDir().mkpath(dir.filePath("locked")));
            QFile::setPermissions(dir.filePath("locked"), QFileDevice::ReadOwner | QFileDevice::ExeOwner);
            QVERIFY(!platform::forceDirectories(dir.filePath("locked/x/y")));
            QFile::setPermissions(dir.filePath("locked"), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                              QFileDevice::ExeOwner);
        }
    }
};

QTEST_GUILESS_MAIN(TestPaths)
#include "test_paths.moc"
