// The client as main.cpp starts it, saying "painted" once the login page has painted: what
// BenchLaunch times against LaunchMinimal. Uses the caller's XDG_CONFIG_HOME (no stored member,
// so the login page follows the brand lookup).

#include "TellWhenPainted.h"
#include "app/MainWindow.h"
#include "app/Startup.h"
#include "ui/LoginForm.h"

#include <QApplication>

int main(int argc, char **argv)
{
    QCoreApplication::setAttribute(Qt::AA_UseHighDpiPixmaps);
    qputenv("QT_BEARER_POLL_TIMEOUT", "2147483647");
    QApplication app(argc, argv);
    TellWhenPainted teller([](QObject *watched) { return qobject_cast<LoginForm *>(watched); });
    app.installEventFilter(&teller);
    applyApplicationVersion();
    initResourceTree();
    installApplicationFont();
    MainWindow window;
    window.start(false);
    return app.exec();
}
