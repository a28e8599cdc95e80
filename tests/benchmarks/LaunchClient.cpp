// The client started as main.cpp starts it (without the diagnostic log and the single-instance
// guard), saying "painted" once the login page has painted: what BenchLaunch times against
// LaunchMinimal. Uses the caller's XDG_CONFIG_HOME (no stored member, so the login page follows
// the brand lookup).

#include "TellWhenPainted.h"
#include "app/MainWindow.h"
#include "app/Startup.h"
#include "ui/LoginForm.h"

#include <QApplication>

int main(int argc, char **argv)
{
    prepareProcess();
    QApplication app(argc, argv);
    TellWhenPainted teller(
        [](QObject *watched) { return qobject_cast<LoginForm *>(watched) != nullptr; });
    app.installEventFilter(&teller);
    setUpApplication();
    MainWindow window;
    window.start(false);
    return app.exec();
}
