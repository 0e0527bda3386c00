#include "app/Startup.h"

#include "connect/CustomConnect.h"
#include "platform/Application.h"

#include <QIcon>

// The icon lives in this static library: its resources are pulled in by hand
// (outside any namespace, as the resource initialiser is a global function).
static void initResources()
{
    Q_INIT_RESOURCE(tallyport);
}

int runStartup(platform::Application &app, const StartupHooks &hooks)
{
    initResources();
    platform::Application::setTitle(QStringLiteral("Tallyport"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/app/tallyport.png")));

    // A failure here has been shown by the data module's own creation.
    GetConnection();

    // A login dialog that closes must not end a message loop that has not started.
    QApplication::setQuitOnLastWindowClosed(false);
    bool loggedIn = false;
    if (hooks.login) {
        // A failure escaping the login gate counts as a login that did not
        // succeed: it is shown, and the program ends in good order.
        platform::guarded([&] { loggedIn = hooks.login(QString::fromLatin1(LoginCaption)); });
    }

    std::unique_ptr<QWidget> mainWindow;
    if (loggedIn && hooks.createMainWindow) {
        platform::guarded([&] { mainWindow = hooks.createMainWindow(); });
        if (mainWindow) {
            QApplication::setQuitOnLastWindowClosed(true);
            mainWindow->show();
            app.exec();
        }
    }

    // Tear-down: the main window first, the databases last.
    mainWindow.reset();
    if (hooks.clearCurrentUserName)
        hooks.clearCurrentUserName();
    FreeConnection();
    return 0;
}
