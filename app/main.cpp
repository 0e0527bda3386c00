#include "app/Startup.h"
#include "controls/FormFonts.h"
#include "extract/Main.h"
#include "login/login.h"
#include "platform/Application.h"

int main(int argc, char *argv[])
{
    platform::Application app(argc, argv);
    LoadFormFonts();

    StartupHooks hooks;
    hooks.login = ExecuteLogin;
    hooks.createMainWindow = [] { return std::make_unique<TfrmMain>(); };
    hooks.clearCurrentUserName = ClearCurrentUserName;
    return runStartup(app, hooks);
}
