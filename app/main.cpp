#include "app/Startup.h"
#include "platform/Application.h"

int main(int argc, char *argv[])
{
    platform::Application app(argc, argv);

    // Wiring point of the login gate and the main window:
    //   hooks.login = ExecuteLogin;
    //   hooks.createMainWindow = [] { return std::make_unique<TfrmMain>(); };
    //   hooks.clearCurrentUserName = ClearCurrentUserName;
    // Until they are set, the program ends after connecting.
    StartupHooks hooks;

    return runStartup(app, hooks);
}
