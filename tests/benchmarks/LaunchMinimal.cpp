// The reference for BenchLaunch: a minimal Qt Widgets program that shows a window with a line
// of text and says "painted" once it has painted it.

#include "TellWhenPainted.h"

#include <QApplication>
#include <QLabel>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QLabel window(QStringLiteral("Sign in"));
    TellWhenPainted teller([&window](QObject *watched) { return watched == &window; });
    app.installEventFilter(&teller);
    window.resize(411, 914);
    window.show();
    return app.exec();
}
