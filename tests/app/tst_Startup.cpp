#include "InstallationFixture.h"

#include "app/Startup.h"
#include "connect/CustomConnect.h"
#include "data/Engine.h"
#include "platform/Application.h"
#include "platform/Error.h"
#include "platform/MessageHost.h"

#include <QFileInfo>
#include <QTimer>
#include <QtTest>

namespace {

const QString NoDirectories = QStringLiteral("Unable to find ZEL directories.");

bool dataOpen()
{
    const data::Database *database = data::Session::defaultSession().findDatabase(QStringLiteral("ZEL_DATA"));
    return database && database->connected();
}

// A main window that closes itself once the loop runs and notes, when it is
// destroyed, whether the databases were still open.
class ProbeWindow : public QWidget {
public:
    explicit ProbeWindow(QStringList &events) : m_events(events)
    {
        QTimer::singleShot(0, this, &QWidget::close);
    }
    ~ProbeWindow() override
    {
        m_events << QStringLiteral("main window destroyed, data %1")
                        .arg(dataOpen() ? QStringLiteral("open") : QStringLiteral("closed"));
    }

protected:
    void showEvent(QShowEvent *event) override
    {
        m_events << QStringLiteral("main window shown");
        QWidget::showEvent(event);
    }

private:
    QStringList &m_events;
};

} // namespace

class TestStartup : public QObject {
    Q_OBJECT

public:
    explicit TestStartup(platform::Application &app) : m_app(app) {}

private slots:
    void cleanup();
    void missingInstallationGoesOnToLogin();
    void loginRunsAfterConnection();
    void fullRunTearsDownInOrder();
    void cancelledLogin();
    void loginFailureIsShown();
    void noLoginYetEndsAfterConnecting();

private:
    platform::Application &m_app;
};

void TestStartup::cleanup()
{
    FreeConnection();
    data::Session &session = data::Session::defaultSession();
    for (const QString &password : session.passwords())
        session.removePassword(password);
}

void TestStartup::missingInstallationGoesOnToLogin()
{
    InstallationFixture fixture;   // no registry hive, no system INI
    platform::ScriptedMessageHost host;
    QStringList events;

    StartupHooks hooks;
    hooks.login = [&](const QString &caption) {
        events << QStringLiteral("login: ") + caption;
        // The failure was shown before the login gate, in the error box.
        [&] {
            QCOMPARE(host.boxes().size(), 1);
            QCOMPARE(host.boxes().first().kind, platform::MessageKind::Error);
            QCOMPARE(host.boxes().first().title, QStringLiteral("Tallyport"));
            QCOMPARE(host.boxes().first().text, NoDirectories);
        }();
        return false;
    };
    hooks.createMainWindow = [&] {
        events << QStringLiteral("main window created");
        return std::unique_ptr<QWidget>();
    };
    hooks.clearCurrentUserName = [&] { events << QStringLiteral("user name cleared"); };

    QCOMPARE(runStartup(m_app, hooks), 0);
    QCOMPARE(events, (QStringList{QStringLiteral("login: Login to Tallyport"),
                                  QStringLiteral("user name cleared")}));
    QCOMPARE(host.boxes().size(), 1);
    QVERIFY(data::Session::defaultSession().databases().isEmpty());
}

void TestStartup::loginRunsAfterConnection()
{
    InstallationFixture fixture;
    fixture.makeComplete();
    platform::ScriptedMessageHost host;
    TdmConnect *seen = nullptr;

    StartupHooks hooks;
    hooks.login = [&](const QString &) {
        seen = GetConnection();   // the instance start-up made; no second create
        [&] {
            QCOMPARE(platform::Application::title(), QStringLiteral("Tallyport"));
            QVERIFY(dataOpen());
            QVERIFY(seen->dbSystem.connected());
            QCOMPARE(data::Session::defaultSession().passwords().size(), 2);
        }();
        return false;
    };
    QCOMPARE(runStartup(m_app, hooks), 0);
    QVERIFY(seen);
    QVERIFY(host.boxes().isEmpty());
    QVERIFY(!data::Engine::instance().active());
}

void TestStartup::fullRunTearsDownInOrder()
{
    InstallationFixture fixture;
    fixture.makeComplete();
    platform::ScriptedMessageHost host;
    QStringList events;

    StartupHooks hooks;
    hooks.login = [&](const QString &) {
        events << QStringLiteral("login");
        return true;
    };
    hooks.createMainWindow = [&] {
        events << QStringLiteral("main window created");
        return std::unique_ptr<QWidget>(new ProbeWindow(events));
    };
    hooks.clearCurrentUserName = [&] {
        events << QStringLiteral("user name cleared, data %1")
                      .arg(dataOpen() ? QStringLiteral("open") : QStringLiteral("closed"));
    };

    QCOMPARE(runStartup(m_app, hooks), 0);
    QCOMPARE(events, (QStringList{QStringLiteral("login"), QStringLiteral("main window created"),
                                  QStringLiteral("main window shown"),
                                  QStringLiteral("main window destroyed, data open"),
                                  QStringLiteral("user name cleared, data open")}));
    QVERIFY(host.boxes().isEmpty());
    QVERIFY(data::Session::defaultSession().databases().isEmpty());
    QVERIFY(!data::Engine::instance().active());
    QVERIFY(!QApplication::windowIcon().isNull());
    QCOMPARE(QApplication::windowIcon().availableSizes(), QList<QSize>{QSize(64, 64)});
}

void TestStartup::cancelledLogin()
{
    InstallationFixture fixture;
    fixture.makeComplete();
    platform::ScriptedMessageHost host;
    bool created = false;
    bool cleared = false;
    bool dataOpenWhenCleared = false;

    StartupHooks hooks;
    hooks.login = [](const QString &) { return false; };
    hooks.createMainWindow = [&] {
        created = true;
        return std::unique_ptr<QWidget>(new QWidget);
    };
    hooks.clearCurrentUserName = [&] {
        cleared = true;
        dataOpenWhenCleared = dataOpen();
    };

    QCOMPARE(runStartup(m_app, hooks), 0);
    QVERIFY(!created);
    QVERIFY(cleared);
    QVERIFY(dataOpenWhenCleared);
    QVERIFY(host.boxes().isEmpty());
    QVERIFY(data::Session::defaultSession().databases().isEmpty());
    QVERIFY(!data::Engine::instance().active());
}

void TestStartup::loginFailureIsShown()
{
    InstallationFixture fixture;
    fixture.makeComplete();
    platform::ScriptedMessageHost host;
    bool created = false;

    StartupHooks hooks;
    hooks.login = [](const QString &) -> bool { throw platform::Error(QStringLiteral("Table awusrmst is locked")); };
    hooks.createMainWindow = [&] {
        created = true;
        return std::unique_ptr<QWidget>(new QWidget);
    };

    QCOMPARE(runStartup(m_app, hooks), 0);
    QVERIFY(!created);
    QCOMPARE(host.texts(), QStringList{QStringLiteral("Table awusrmst is locked")});
    QCOMPARE(host.boxes().first().title, QStringLiteral("Tallyport"));
    QVERIFY(data::Session::defaultSession().databases().isEmpty());
}

void TestStartup::noLoginYetEndsAfterConnecting()
{
    InstallationFixture fixture;
    fixture.makeComplete();
    platform::ScriptedMessageHost host;

    QCOMPARE(runStartup(m_app), 0);
    QVERIFY(host.boxes().isEmpty());
    QVERIFY(QFileInfo(fixture.formDirectory() + QStringLiteral("/TEMP")).isDir());
    QVERIFY(data::Session::defaultSession().databases().isEmpty());
}

int main(int argc, char *argv[])
{
    platform::Application app(argc, argv);
    TestStartup test(app);
    return QTest::qExec(&test, argc, argv);
}

#include "tst_Startup.moc"
