// Renders Corvane's pages to PNG files, so anyone can look at them without a desktop:
// scripts/screenshots writes them under the build folder.

#include "app/Startup.h"
#include "ui/LoadingForm.h"
#include "ui/LoginForm.h"
#include "ui/MessageForm.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPixmap>

#include <cstdio>

namespace {

bool save(QWidget &page, const QDir &folder, const QString &name, int settleMs = 0)
{
    page.resize(411, 914);
    page.show();
    QElapsedTimer settling;
    settling.start();
    do
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    while (settling.elapsed() < settleMs);
    const QString path = folder.filePath(name + QStringLiteral(".png"));
    const bool saved = page.grab().save(path);
    std::printf("%s %s\n", saved ? "wrote" : "could not write", qPrintable(path));
    return saved;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    initResourceTree();
    installApplicationFont();
    const QDir folder(argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("screenshots"));
    QDir().mkpath(folder.path());

    bool ok = true;
    LoadingForm loading;
    ok &= save(loading, folder, QStringLiteral("loading"), 400);

    LoginForm emptyLogin;
    ok &= save(emptyLogin, folder, QStringLiteral("login-empty"));

    LoginForm failedLogin;
    failedLogin.setCredentials(QStringLiteral("member@corvane.test"),
                               QStringLiteral("wrong-password"));
    failedLogin.showError(QStringLiteral("Your email / password is incorrect."));
    ok &= save(failedLogin, folder, QStringLiteral("login-error"));

    MessageForm message;
    message.setMessage(QStringLiteral("Your subscription is inactive."),
                       QStringLiteral("Manage Account"), true,
                       AppStyleUtil::ApplicationForm::LoginPage);
    ok &= save(message, folder, QStringLiteral("message"));
    return ok ? 0 : 1;
}
