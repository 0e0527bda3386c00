#include "data/Engine.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <unistd.h>

using namespace data;

namespace {

// Records the order in which a database closes what it holds open.
class RecordingDataSet : public DataSet {
public:
    RecordingDataSet(Database &db, QStringList &log, QString name)
        : m_db(db), m_log(log), m_name(std::move(name)) { m_db.attach(this); }
    void close() override { m_log << m_name; m_db.detach(this); }
private:
    Database &m_db;
    QStringList &m_log;
    QString m_name;
};

} // namespace

class TestEngine : public QObject {
    Q_OBJECT
private slots:
    void openMissingOrUnreadableDirectory_data();
    void openMissingOrUnreadableDirectory();
    void openAndCloseTwice();
    void renameOrMoveClosesFirst();
    void closeClosesTablesLastToFirst();
    void passwordsWithoutDuplicates();
    void findDatabaseIgnoresCase();
    void engineInactiveClosesEveryDatabase();
    void passwordVerifier();
};

void TestEngine::openMissingOrUnreadableDirectory_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addRow("missing") << "missing";
    QTest::addRow("empty name") << "empty";
    QTest::addRow("a file, not a directory") << "file";
    QTest::addRow("unreadable") << "unreadable";
}

void TestEngine::openMissingOrUnreadableDirectory()
{
    QFETCH(QString, kind);
    QTemporaryDir tmp;
    QVERIFY(tmp.isValid());
    QString dir;
    if (kind == "missing") {
        dir = tmp.filePath("NoSuchDir");
    } else if (kind == "file") {
        dir = tmp.filePath("plain.txt");
        QFile f(dir);
        QVERIFY(f.open(QIODevice::WriteOnly));
    } else if (kind == "unreadable") {
        if (geteuid() == 0)
            QSKIP("permissions do not stop root");
        dir = tmp.filePath("locked");
        QVERIFY(QDir().mkdir(dir));
        QVERIFY(QFile::setPermissions(dir, QFileDevice::Permissions()));
    }
    Session session;
    Database db(session, "ZEL_DATA", dir);
    try {
        db.open();
        QFAIL("open succeeded");
    } catch (const EngineError &e) {
        if (!dir.isEmpty())
            QVERIFY2(e.message().contains(QDir::toNativeSeparators(dir)), qPrintable(e.message()));
        QVERIFY(e.message().contains("ZEL_DATA"));
    }
    QVERIFY(!db.connected());
    if (kind == "unreadable")
        QFile::setPermissions(dir, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}

void TestEngine::openAndCloseTwice()
{
    QTemporaryDir tmp;
    Session session;
    Database db(session, "ZEL_SYS", tmp.path());
    db.close();                     // closed: harmless
    QVERIFY(!db.connected());
    db.open();
    QVERIFY(db.connected());
    QVERIFY(Engine::instance().active());
    db.open();                      // already open: stays open
    db.close();
    db.close();
    QVERIFY(!db.connected());
}

void TestEngine::renameOrMoveClosesFirst()
{
    QTemporaryDir a, b;
    Session session;
    Database db(session, "ZEL_DATA", a.path());
    QStringList log;
    db.open();
    RecordingDataSet t1(db, log, "t1");
    db.setDatabaseName("ZEL_SYS");
    QVERIFY(!db.connected());
    QCOMPARE(log, QStringList{"t1"});
    QCOMPARE(db.databaseName(), QString("ZEL_SYS"));

    db.open();
    RecordingDataSet t2(db, log, "t2");
    db.setDirectory(b.path());
    QVERIFY(!db.connected());
    QCOMPARE(log, (QStringList{"t1", "t2"}));
    QCOMPARE(db.directory(), b.path());
    QVERIFY(db.openTables().isEmpty());
}

void TestEngine::closeClosesTablesLastToFirst()
{
    QTemporaryDir tmp;
    Session session;
    Database db(session, "ZEL_DATA", tmp.path());
    db.open();
    QStringList log;
    RecordingDataSet a(db, log, "a"), b(db, log, "b"), c(db, log, "c");
    db.close();
    QCOMPARE(log, (QStringList{"c", "b", "a"}));
    QVERIFY(db.openTables().isEmpty());
}

void TestEngine::passwordsWithoutDuplicates()
{
    Session session;
    session.addPassword("alpha");
    session.addPassword("beta");
    session.addPassword("alpha");
    QCOMPARE(session.passwords(), (QStringList{"alpha", "beta"}));
    session.removePassword("gamma");
    session.removePassword("alpha");
    QCOMPARE(session.passwords(), QStringList{"beta"});
    session.removePassword("alpha");
    session.addPassword("alpha");
    QCOMPARE(session.passwords(), (QStringList{"beta", "alpha"}));
}

void TestEngine::findDatabaseIgnoresCase()
{
    Session session;
    Database data(session, "ZEL_DATA"), sys(session, "ZEL_SYS");
    QCOMPARE(session.findDatabase("zel_data"), &data);
    QCOMPARE(session.findDatabase("Zel_Sys"), &sys);
    QCOMPARE(session.findDatabase("ZEL_FDAT"), nullptr);
    {
        Database temp(session, "ZEL_FDAT");
        QCOMPARE(session.findDatabase("zel_fdat"), &temp);
    }
    QCOMPARE(session.findDatabase("ZEL_FDAT"), nullptr);   // gone with its component
}

void TestEngine::engineInactiveClosesEveryDatabase()
{
    QTemporaryDir tmp;
    Session s1, s2;
    Database a(s1, "A", tmp.path()), b(s2, "B", tmp.path()), c(Session::defaultSession(), "C", tmp.path());
    QStringList log;
    a.open();
    b.open();
    c.open();
    RecordingDataSet ta(a, log, "ta"), tb(b, log, "tb");
    QVERIFY(Engine::instance().active());
    Engine::instance().setActive(false);
    QVERIFY(!Engine::instance().active());
    QVERIFY(!a.connected());
    QVERIFY(!b.connected());
    QVERIFY(!c.connected());
    log.sort();
    QCOMPARE(log, (QStringList{"ta", "tb"}));
    a.open();                       // opening wakes the engine again
    QVERIFY(Engine::instance().active());
}

void TestEngine::passwordVerifier()
{
    const QByteArray verifier = makePasswordVerifier("Secret-1");
    QVERIFY(verifier.startsWith("$argon2id$"));
    Session session;
    QVERIFY(!session.passwordMatches(verifier));
    session.addPassword("other");
    QVERIFY(!session.passwordMatches(verifier));
    session.addPassword("Secret-1");
    QVERIFY(session.passwordMatches(verifier));
    QVERIFY(session.passwordMatches(verifier));
    session.removePassword("Secret-1");    // a remembered match goes with its password
    QVERIFY(!session.passwordMatches(verifier));
    QVERIFY(!session.passwordMatches(makePasswordVerifier("secret-1")));
}

QTEST_GUILESS_MAIN(TestEngine)
#include "tst_engine.moc"
