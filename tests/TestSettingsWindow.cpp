#include "app/Startup.h"
#include "i18n/LanguageManager.h"
#include "platform/StartupEntry.h"
#include "servers/ServersWindow.h"
#include "storage/AppSettings.h"
#include "storage/CredentialVault.h"
#include "ui/AccountWindow.h"
#include "ui/SettingsWindow.h"

#include <QComboBox>
#include <QDesktopServices>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QUrlQuery>
#include <QtTest>

#include <memory>

class OpenedUrls : public QObject {
    Q_OBJECT
public:
    QList<QUrl> urls;
public slots:
    void open(const QUrl &url) { urls << url; }
};

// The settings and account pages under the offscreen platform, with a private settings folder
// and a private keyring (tests/helpers/with-private-keyring).
class TestSettingsWindow : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void storedLanguageSelectsTheComboItem_data();
    void storedLanguageSelectsTheComboItem();
    void choosingFrenchSwitchesEveryPageAtOnce();
    void supportMailWithoutRememberedMember();
    void supportMailWithRememberedMember();
    void linksOnTheBrandDomain();
    void loadSettingsShowsEachSwitch();
    void trayOffDisablesNotifications();
    void dailySwitchesAreOnThePage_data();
    void dailySwitchesAreOnThePage();
    void switchHandlersWriteTheirSwitch_data();
    void switchHandlersWriteTheirSwitch();
    void signOutButton();
    void settingsZones_data();
    void settingsZones();
    void accountPage();
    void accountZones_data();
    void accountZones();

private:
    bool showsOn(const char *button) const;
    QString supportMailOf(const QUrl &url, const char *item) const;

    QTemporaryDir configHome;
    OpenedUrls opened;
    std::unique_ptr<QWidget> host;
    SettingsWindow *settings = nullptr;
    LanguageManager languages;
};

void TestSettingsWindow::initTestCase()
{
    initResourceTree();
    qputenv("XDG_CONFIG_HOME", configHome.path().toLocal8Bit());
    qputenv("XDG_STATE_HOME", (configHome.path() + "/state").toLocal8Bit());
    qputenv("CORVANE_BRAND_DOMAIN", "corvane.example");
    QDesktopServices::setUrlHandler("https", &opened, "open");
    QDesktopServices::setUrlHandler("mailto", &opened, "open");
}

void TestSettingsWindow::init()
{
    QSettings(QSettings::NativeFormat, QSettings::UserScope, "Ostrel Limited", "Corvane").clear();
    Platform::setStartupEntry(false);
    opened.urls.clear();
    languages.languageChanged(Translation::English);
    host = std::make_unique<QWidget>();
    host->resize(411, 914);
    host->move(50, 50);
    settings = new SettingsWindow(host.get());
    host->show();
    settings->show();
}

void TestSettingsWindow::cleanup()
{
    host.reset();
}

bool TestSettingsWindow::showsOn(const char *button) const
{
    const QImage on = QIcon(":/images/buttons/toggleOn.png").pixmap(40, 23).toImage();
    return settings->findChild<QPushButton *>(button)->icon().pixmap(40, 23).toImage() == on;
}

QString TestSettingsWindow::supportMailOf(const QUrl &url, const char *item) const
{
    return QUrlQuery(url).queryItemValue(item, QUrl::FullyDecoded);
}

void TestSettingsWindow::storedLanguageSelectsTheComboItem_data()
{
    QTest::addColumn<int>("stored");
    QTest::addColumn<QString>("item");
    QTest::newRow("7 selects English") << 7 << "English";
    QTest::newRow("0") << 0 << "English";
    QTest::newRow("5") << 5 << "French";
    QTest::newRow("3") << 3 << "Spanish";
}

void TestSettingsWindow::storedLanguageSelectsTheComboItem()
{
    QFETCH(int, stored);
    AppSettings::setValue(AppSettings::Language, stored);
    settings->setLanguageManager(&languages);
    auto *combo = settings->findChild<QComboBox *>("comboBoxLanguage");
    QCOMPARE(combo->count(), 3);
    QTEST(combo->currentText(), "item");
    QCOMPARE(AppSettings::value(AppSettings::Language).toInt(), stored);
}

void TestSettingsWindow::choosingFrenchSwitchesEveryPageAtOnce()
{
    settings->setLanguageManager(&languages);
    auto *servers = new ServersWindow(host.get());
    servers->setLanguageManager(&languages);
    QCOMPARE(settings->findChild<QLabel *>("mobileSectionTitle")->text(),
             QStringLiteral("Settings"));
    settings->findChild<QComboBox *>("comboBoxLanguage")->setCurrentIndex(1);
    QCOMPARE(AppSettings::value(AppSettings::Language).toInt(), 5);
    QCOMPARE(settings->findChild<QLabel *>("mobileSectionTitle")->text(),
             QStringLiteral("Paramètres"));
    QCOMPARE(servers->findChild<QLabel *>("mobileSectionTitle")->text(),
             QStringLiteral("Serveurs"));
    QCOMPARE(settings->findChild<QPushButton *>("pushButtonLogOut")->text(),
             QStringLiteral("SE DÉCONNECTER"));
    settings->findChild<QComboBox *>("comboBoxLanguage")->setCurrentIndex(2);
    QCOMPARE(AppSettings::value(AppSettings::Language).toInt(), 3);
    QCOMPARE(servers->findChild<QLabel *>("mobileNavHomeLabel")->text(), QStringLiteral("INICIO"));
}

void TestSettingsWindow::supportMailWithoutRememberedMember()
{
    settings->setLanguageManager(&languages);
    QTest::mouseClick(settings->findChild<QPushButton *>("pushButtonContactSupport"),
                      Qt::LeftButton);
    QCOMPARE(opened.urls.size(), 1);
    const QUrl mail = opened.urls.first();
    QCOMPARE(mail.scheme(), QStringLiteral("mailto"));
    QCOMPARE(mail.path(), QStringLiteral("support@corvane.example"));
    QCOMPARE(supportMailOf(mail, "subject"), QStringLiteral("Support request - 1.0.0"));
    const QString device = QSysInfo::productType() + ' ' + QSysInfo::prettyProductName();
    QCOMPARE(supportMailOf(mail, "body"),
             QStringLiteral("Account email: \nDevice: %1\nApp version: 1.0.0\nLog file: %2\n\n"
                            "----------------------------------------\n"
                            "Please describe your issue below:\n\n")
                 .arg(device, qEnvironmentVariable("XDG_STATE_HOME") + "/corvane/corvane.log"));
    QVERIFY(mail.toString(QUrl::FullyEncoded).contains("%0A"));
    QVERIFY(!mail.toString(QUrl::FullyEncoded).contains('\n'));
}

void TestSettingsWindow::supportMailWithRememberedMember()
{
    QVERIFY2(!qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS"),
             "run through tests/helpers/with-private-keyring");
    const QString email = QStringLiteral("member+vpn@corvane.test");
    AppSettings::setValue(AppSettings::CredentialTarget, email);
    QVERIFY(CredentialVault::write(
        email, "pw", AppSettings::value(AppSettings::CredentialTarget).toByteArray()));
    QTest::mouseClick(settings->findChild<QPushButton *>("pushButtonContactSupport"),
                      Qt::LeftButton);
    QVERIFY(
        supportMailOf(opened.urls.first(), "body").startsWith("Account email: " + email + "\n"));
}

void TestSettingsWindow::linksOnTheBrandDomain()
{
    QTest::mouseClick(settings->findChild<QPushButton *>("pushButtonHelpCenter"), Qt::LeftButton);
    QTest::mouseClick(settings->findChild<QPushButton *>("pushButtonPrivacy"), Qt::LeftButton);
    QMetaObject::invokeMethod(settings, "on_pushButtonManageAccount_clicked");
    QCOMPARE(opened.urls, QList<QUrl>({QUrl("https://support.corvane.example/"),
                                       QUrl("https://corvane.example/privacy"),
                                       QUrl("https://members.corvane.example/login")}));
}

void TestSettingsWindow::loadSettingsShowsEachSwitch()
{
    AppSettings::setSwitchState(AppSettings::AutoConnect, true);
    AppSettings::setSwitchState(AppSettings::KillSwitch, true);
    AppSettings::setSwitchState(AppSettings::TrayIcon, true);
    Platform::setStartupEntry(true);
    settings->loadSettings();
    QVERIFY(showsOn("pushButtonAutoConnect"));
    QVERIFY(showsOn("pushButtonKillSwitch"));
    QVERIFY(showsOn("pushButtonTrayIcon"));
    QVERIFY(showsOn("pushButtonStartup"));
    QVERIFY(!showsOn("pushButtonAnalytics"));
    QVERIFY(!showsOn("pushButtonCrashReports"));
    QVERIFY(!showsOn("pushButtonNotifications"));
    QVERIFY(settings->findChild<QPushButton *>("pushButtonNotifications")->isEnabled());
    QVERIFY(settings->findChild<QPushButton *>("pushButtonSetDNS")->isHidden());
    // Loading writes nothing back.
    QCOMPARE(AppSettings::switchState(AppSettings::AutoConnect), true);
    QCOMPARE(AppSettings::switchState(AppSettings::Analytics), false);
}

void TestSettingsWindow::trayOffDisablesNotifications()
{
    settings->loadSettings();
    QVERIFY(!settings->findChild<QPushButton *>("pushButtonNotifications")->isEnabled());
    QVERIFY(!settings->findChild<QLabel *>("labelNotifications")->isEnabled());
    QSignalSpy tray(settings, &SettingsWindow::changeTrayIconState);
    QTest::mouseClick(settings->findChild<QPushButton *>("pushButtonTrayIcon"), Qt::LeftButton);
    QCOMPARE(tray.count(), 1);
    QCOMPARE(tray.first().at(0).toBool(), true);
    QVERIFY(settings->findChild<QPushButton *>("pushButtonNotifications")->isEnabled());
    QVERIFY(AppSettings::switchState(AppSettings::TrayIcon));
}

void TestSettingsWindow::dailySwitchesAreOnThePage_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("key");
    QTest::addColumn<QString>("title");
    QTest::newRow("tray icon") << "TrayIcon" << int(AppSettings::TrayIcon) << "Enable Tray Icon";
    QTest::newRow("notifications")
        << "Notifications" << int(AppSettings::Notifications) << "Allow Notifications";
    QTest::newRow("auto-connect") << "AutoConnect" << int(AppSettings::AutoConnect)
                                  << "Auto-Connect";
    QTest::newRow("start-up") << "Startup" << int(AppSettings::Startup) << "Launch at Startup";
}

// The switches a member turns every day are on the page, titled, explained in a tooltip and
// under the pointer where they show; a click there turns the stored switch.
void TestSettingsWindow::dailySwitchesAreOnThePage()
{
    QFETCH(QString, name);
    QFETCH(int, key);
    QFETCH(QString, title);
    const auto sw = AppSettings::Switch(key);
    AppSettings::setSwitchState(AppSettings::TrayIcon, sw == AppSettings::Notifications);
    settings->setLanguageManager(&languages);
    settings->loadSettings();
    auto *label = settings->findChild<QLabel *>("label" + name);
    auto *button = settings->findChild<QPushButton *>("pushButton" + name);
    QVERIFY(label->isVisible());
    QCOMPARE(label->text(), title);
    QVERIFY(!button->toolTip().isEmpty());
    QCOMPARE(button->toolTip(),
             settings->findChild<QLabel *>("label" + name + "Description")->text());
    const QPoint centre = button->mapTo(settings, button->rect().center());
    QCOMPARE(settings->childAt(centre), button);
    const bool before = AppSettings::switchState(sw);
    QTest::mouseClick(button, Qt::LeftButton);
    QCOMPARE(AppSettings::switchState(sw), !before);
    QCOMPARE(showsOn(qPrintable("pushButton" + name)), !before);
}

void TestSettingsWindow::switchHandlersWriteTheirSwitch_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<int>("key");
    QTest::newRow("auto-connect") << "pushButtonAutoConnect" << int(AppSettings::AutoConnect);
    QTest::newRow("crash reports") << "pushButtonCrashReports" << int(AppSettings::CrashReports);
    QTest::newRow("analytics") << "pushButtonAnalytics" << int(AppSettings::Analytics);
    QTest::newRow("notifications") << "pushButtonNotifications" << int(AppSettings::Notifications);
    QTest::newRow("DNS") << "pushButtonSetDNS" << int(AppSettings::SetDNS);
    QTest::newRow("start-up") << "pushButtonStartup" << int(AppSettings::Startup);
    QTest::newRow("kill switch") << "pushButtonKillSwitch" << int(AppSettings::KillSwitch);
}

void TestSettingsWindow::switchHandlersWriteTheirSwitch()
{
    QFETCH(QString, button);
    QFETCH(int, key);
    const auto sw = AppSettings::Switch(key);
    settings->loadSettings();
    QSignalSpy killSwitch(settings, &SettingsWindow::killSwitchChanged);
    for (const bool expected : {true, false}) {
        QMetaObject::invokeMethod(settings, qPrintable("on_" + button + "_clicked"));
        QCOMPARE(AppSettings::switchState(sw), expected);
        QCOMPARE(showsOn(qPrintable(button)), expected);
        if (sw == AppSettings::Startup)
            QCOMPARE(QFile::exists(Platform::autostartEntryPath()), expected);
    }
    QCOMPARE(killSwitch.count(), sw == AppSettings::KillSwitch ? 2 : 0);
    if (sw == AppSettings::KillSwitch) {
        QCOMPARE(killSwitch.at(0).at(0).toBool(), true);
        QCOMPARE(killSwitch.at(1).at(0).toBool(), false);
    }
}

void TestSettingsWindow::signOutButton()
{
    QSignalSpy logOut(settings, &SettingsWindow::logOut);
    auto *button = settings->findChild<QPushButton *>("pushButtonLogOut");
    QCOMPARE(button->geometry(), QRect(24, 490, 363, 52));
    QVERIFY(button->isVisible());
    QTest::mouseClick(button, Qt::LeftButton);
    QCOMPARE(logOut.count(), 1);
}

void TestSettingsWindow::settingsZones_data()
{
    QTest::addColumn<QPoint>("press");
    QTest::addColumn<QString>("outcome");
    QTest::newRow("(24, 814) closes") << QPoint(24, 814) << "close";
    QTest::newRow("(23, 814) drags") << QPoint(23, 814) << "drag";
    QTest::newRow("(117, 814) servers") << QPoint(117, 814) << "servers";
    QTest::newRow("(201, 872) servers") << QPoint(201, 872) << "servers";
    QTest::newRow("(210, 814) account") << QPoint(210, 814) << "account";
    QTest::newRow("Settings item drags") << QPoint(340, 840) << "drag";
}

void TestSettingsWindow::settingsZones()
{
    QFETCH(QPoint, press);
    QFETCH(QString, outcome);
    QSignalSpy servers(settings, &SettingsWindow::requestOpenServers);
    QSignalSpy account(settings, &SettingsWindow::requestOpenAccount);
    const QPoint start = host->pos();
    QTest::mousePress(settings, Qt::LeftButton, Qt::NoModifier, press);
    QMouseEvent move(QEvent::MouseMove, press + QPoint(10, 20),
                     settings->mapToGlobal(press + QPoint(10, 20)), Qt::NoButton, Qt::LeftButton,
                     Qt::NoModifier);
    QApplication::sendEvent(settings, &move);
    QTest::mouseRelease(settings, Qt::LeftButton, Qt::NoModifier, press);
    QCOMPARE(settings->isVisible(), outcome != "close");
    QCOMPARE(servers.count(), outcome == "servers" ? 1 : 0);
    QCOMPARE(account.count(), outcome == "account" ? 1 : 0);
    QCOMPARE(host->pos(), outcome == "drag" ? start + QPoint(10, 20) : start);
}

void TestSettingsWindow::accountPage()
{
    auto *account = new AccountWindow(host.get());
    account->setLanguageManager(&languages);
    QCOMPARE(account->findChild<QLabel *>("labelAccountTitle")->text(),
             QStringLiteral("Account page is being redesigned"));
    auto *members = account->findChild<QPushButton *>("pushButtonMembers");
    QCOMPARE(members->text(), QStringLiteral("https://members.corvane.example"));
    QTest::mouseClick(members, Qt::LeftButton);
    QCOMPARE(opened.urls, QList<QUrl>{QUrl("https://members.corvane.example")});
    languages.languageChanged(Translation::Spanish);
    QCOMPARE(account->findChild<QLabel *>("mobileSectionTitle")->text(), QStringLiteral("Cuenta"));
    languages.languageChanged(Translation::German);
    QVERIFY(account->findChild<QLabel *>("labelAccountTitle")->text().isEmpty());
}

void TestSettingsWindow::accountZones_data()
{
    QTest::addColumn<QPoint>("press");
    QTest::addColumn<QString>("outcome");
    QTest::newRow("Home closes") << QPoint(60, 840) << "close";
    QTest::newRow("Servers") << QPoint(150, 840) << "servers";
    QTest::newRow("Settings") << QPoint(340, 840) << "settings";
    QTest::newRow("its own Account item drags") << QPoint(250, 840) << "drag";
}

void TestSettingsWindow::accountZones()
{
    QFETCH(QPoint, press);
    QFETCH(QString, outcome);
    auto *account = new AccountWindow(host.get());
    account->show();
    QSignalSpy servers(account, &AccountWindow::requestOpenServers);
    QSignalSpy settingsSpy(account, &AccountWindow::requestOpenSettings);
    const QPoint start = host->pos();
    QTest::mousePress(account, Qt::LeftButton, Qt::NoModifier, press);
    QMouseEvent move(QEvent::MouseMove, press + QPoint(-5, 15),
                     account->mapToGlobal(press + QPoint(-5, 15)), Qt::NoButton, Qt::LeftButton,
                     Qt::NoModifier);
    QApplication::sendEvent(account, &move);
    QTest::mouseRelease(account, Qt::LeftButton, Qt::NoModifier, press);
    QCOMPARE(account->isVisible(), outcome != "close");
    QCOMPARE(servers.count(), outcome == "servers" ? 1 : 0);
    QCOMPARE(settingsSpy.count(), outcome == "settings" ? 1 : 0);
    QCOMPARE(host->pos(), outcome == "drag" ? start + QPoint(-5, 15) : start);
}

QTEST_MAIN(TestSettingsWindow)
#include "TestSettingsWindow.moc"
