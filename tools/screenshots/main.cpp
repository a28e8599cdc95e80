// Renders Corvane's pages to PNG files, so anyone can look at them without a desktop:
// scripts/screenshots writes them under the build folder.

#include "app/Startup.h"
#include "i18n/LanguageManager.h"
#include "servers/RecomendedServerItem.h"
#include "servers/ServerListModel.h"
#include "servers/ServersWindow.h"
#include "ui/AccountWindow.h"
#include "ui/LoadingForm.h"
#include "ui/LoginForm.h"
#include "ui/MainForm.h"
#include "ui/MessageForm.h"
#include "ui/SettingsWindow.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QListView>
#include <QPixmap>
#include <QVBoxLayout>

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

QVector<ServerData> demoServers()
{
    struct Row {
        const char *country;
        const char *code;
        const char *city;
        int ping;
    };
    const Row rows[] = {{"Germany", "DE", "Frankfurt", 24},
                        {"Germany", "DE", "Berlin", 31},
                        {"France", "FR", "Paris", 38},
                        {"Netherlands", "NL", "Amsterdam", 27},
                        {"United Kingdom", "GB", "London", 45},
                        {"Spain", "ES", "Madrid", 120},
                        {"United States", "US", "New York", 190},
                        {"Japan", "JP", "Tokyo", 420},
                        {"Brazil", "BR", "Sao Paulo", 0},
                        {"Australia", "AU", "Sydney", 360}};
    QVector<ServerData> servers;
    int id = 1;
    for (const Row &row : rows) {
        ServerData server;
        server.id = id++;
        server.country = QString::fromLatin1(row.country);
        server.countryCode = QString::fromLatin1(row.code);
        server.city = QString::fromLatin1(row.city);
        server.name = server.city;
        server.continent = QStringLiteral("World");
        server.ping = row.ping;
        servers.append(server);
    }
    return servers;
}

bool saveServersWindow(const QDir &folder, LanguageManager &languages)
{
    bool ok = true;
    QWidget host;
    host.resize(411, 914);
    auto *window = new ServersWindow(&host);
    auto *model = new ServerListModel(demoServers(), window);
    window->setModel(model);
    window->setLanguageManager(&languages);
    ok &= save(host, folder, QStringLiteral("servers-all"));
    auto *view = window->findChild<QListView *>(QStringLiteral("listViewServers"));
    emit view->entered(model->index(1, 0));
    ok &= save(host, folder, QStringLiteral("servers-row-under-mouse"));
    model->setSearchText(QStringLiteral("an"));
    window->findChild<QLineEdit *>(QStringLiteral("lineEditSearch"))->setText(QStringLiteral("an"));
    ok &= save(host, folder, QStringLiteral("servers-search"));
    return ok;
}

bool saveCards(const QDir &folder, LanguageManager &languages)
{
    QWidget page;
    page.setStyleSheet(QStringLiteral("background: #F2F6FA;"));
    auto *layout = new QVBoxLayout(&page);
    for (const int ping : {35, 140, 260, 900, 0}) {
        auto *card = new RecomendedServerItem(&page);
        card->setLanguageManager(&languages);
        ServerData server = demoServers().at(ping == 0 ? 8 : 0);
        server.ping = ping;
        card->setServer(server);
        layout->addWidget(card);
    }
    page.resize(411, 420);
    page.show();
    QApplication::processEvents();
    const QString path = folder.filePath(QStringLiteral("cards.png"));
    const bool saved = page.grab().save(path);
    std::printf("%s %s\n", saved ? "wrote" : "could not write", qPrintable(path));
    return saved;
}

bool saveSettingsAndAccount(const QDir &folder, LanguageManager &languages)
{
    bool ok = true;
    for (const auto language : {Translation::English, Translation::French}) {
        languages.languageChanged(language);
        const QString suffix =
            language == Translation::French ? QStringLiteral("fr") : QStringLiteral("en");
        QWidget settingsHost;
        auto *settings = new SettingsWindow(&settingsHost);
        settings->setLanguageManager(&languages);
        ok &= save(settingsHost, folder, QStringLiteral("settings-") + suffix);
        QWidget accountHost;
        auto *account = new AccountWindow(&accountHost);
        account->setLanguageManager(&languages);
        ok &= save(accountHost, folder, QStringLiteral("account-") + suffix);
    }
    languages.languageChanged(Translation::English);
    return ok;
}

bool saveHomeStates(const QDir &folder, LanguageManager &languages)
{
    bool ok = true;
    const char *const stateNames[] = {"connected", "disconnected", "connecting", "disconnecting",
                                      "error"};
    for (const auto language : {Translation::English, Translation::Spanish}) {
        languages.languageChanged(language);
        MainForm home;
        home.setLanguageManager(&languages);
        home.setServers(demoServers());
        // The removal that choosing the first location starts reports back before the states.
        QElapsedTimer settling;
        settling.start();
        while (settling.elapsed() < 300)
            QApplication::processEvents(QEventLoop::AllEvents, 20);
        for (int state = 0; state < 5; ++state) {
            QMetaObject::invokeMethod(&home, "setVpnConnectionState", Q_ARG(int, state));
            if (state == 0)
                QMetaObject::invokeMethod(&home, "updateConnectionTime", Q_ARG(int, 3723));
            const QString suffix =
                language == Translation::Spanish ? QStringLiteral("es") : QStringLiteral("en");
            ok &= save(home, folder,
                       QStringLiteral("home-%1-%2").arg(QLatin1String(stateNames[state]), suffix),
                       200);
        }
    }
    languages.languageChanged(Translation::English);
    return ok;
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

    LanguageManager languages;
    ok &= saveServersWindow(folder, languages);
    ok &= saveCards(folder, languages);
    ok &= saveSettingsAndAccount(folder, languages);
    ok &= saveHomeStates(folder, languages);
    return ok ? 0 : 1;
}
