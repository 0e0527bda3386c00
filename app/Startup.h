#pragma once

// The tool's start-up and tear-down, in their fixed order: title, connection,
// login gate, main window and its message loop; then the main window is
// destroyed first, the current user name cleared and the connection freed
// last, so that its destroy handler closes every table and database.

#include <QString>
#include <QWidget>
#include <functional>
#include <memory>

namespace platform {
class Application;
}

struct StartupHooks {
    // The login gate, given the caption "Login to Tallyport": true when the
    // user logged in. Unset: nobody can log in, and the program ends after
    // the connection step.
    std::function<bool(const QString &caption)> login;
    // Creates the main window once the user has logged in; the message loop
    // runs until it closes, then it is destroyed before anything else.
    std::function<std::unique_ptr<QWidget>()> createMainWindow;
    // Clears the current user name at shutdown.
    std::function<void()> clearCurrentUserName;
};

// The caption the login gate is shown with.
inline constexpr char LoginCaption[] = "Login to Tallyport";

// Runs start-up and tear-down on the application; answers the process's exit
// code, which is 0 on every path.
int runStartup(platform::Application &app, const StartupHooks &hooks = {});
