#include "app/MainWindow.h"
#include "app/RunGuard.h"
#include "app/Startup.h"

#include <QApplication>

#include <memory>

int main(int argc, char *argv[])
{
    auto app = std::make_unique<QApplication>(argc, argv);
    initResourceTree();
    installApplicationFont();

    auto guard = std::make_unique<RunGuard>(QStringLiteral("VPN_APP_EXAMPLE_NAME_RunGuard"));
    if (!guard->tryToAcquire()) {
        guard.reset();
        app.reset();
        return 0;
    }

    int exitCode = 0;
    {
        MainWindow window;
        window.show();
        exitCode = app->exec();
    }
    guard.reset();
    app.reset();
    return exitCode;
}
