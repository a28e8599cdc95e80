#include "ClientSetUp.h"
#include "FakePrograms.h"
#include "app/Startup.h"
#include "i18n/LanguageManager.h"
#include "servers/RecomendedServerItem.h"
#include "servers/ServersWindow.h"
#include "storage/AppSettings.h"
#include "ui/LoginForm.h"
#include "ui/MainForm.h"
#include "ui/SettingsWindow.h"
#include "widgets/Accessibility.h"
#include "widgets/FocusRing.h"

#include <QAccessible>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

#include <memory>

namespace {

QAccessibleInterface *accessible(QWidget *widget)
{
    return QAccessible::queryAccessibleInterface(widget);
}

} // namespace

// What a screen reader is told of the pages, as Qt hands it to AT-SPI: names in the member's
// language, switches as check boxes with their state, decorations left out; and the mark of the
// keyboard focus.
class TestAccessibility : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void loginControlsAreNamed_data();
    void loginControlsAreNamed();
    void rememberIsACheckBoxWithItsState();
    void decorationsAreLeftOut();
    void connectButtonIsNamedAfterWhatItDoes_data();
    void connectButtonIsNamedAfterWhatItDoes();
    void killSwitchIsACheckBoxWithItsState();
    void focusIsMarkedWhileTheKeyboardIsInUse();
    void settingsSwitchesAreCheckBoxesWithTheirNames();
    void recommendedCardSaysItsLocation();
    void ctrlFOpensTheServersAtTheSearchBox();
    void tabReachesTheHomeControlsOnly();

private:
    std::unique_ptr<FakePrograms> fakes;
    std::unique_ptr<LanguageManager> languages;
    QTemporaryDir home;
};

void TestAccessibility::initTestCase()
{
    initResourceTree();
    runToolsFromPath();
    keepClientFilesUnder(home);
    qputenv("CORVANE_ACCOUNT_API_URL", "http://127.0.0.1:9/graphql");
    qputenv("CORVANE_VPN_API_URL", "http://127.0.0.1:9");
    Accessibility::install();
}

void TestAccessibility::init()
{
    fakes = std::make_unique<FakePrograms>();
    languages = std::make_unique<LanguageManager>();
}

void TestAccessibility::cleanup()
{
    languages.reset();
    fakes.reset();
}

void TestAccessibility::loginControlsAreNamed_data()
{
    QTest::addColumn<Translation::Language>("language");
    QTest::addColumn<QString>("email");
    QTest::addColumn<QString>("showPassword");
    QTest::addColumn<QString>("hidePassword");
    QTest::newRow("English") << Translation::English << "Email Address"
                             << "Show password"
                             << "Hide password";
    QTest::newRow("French") << Translation::French << "Adresse e-mail"
                            << "Afficher le mot de passe"
                            << "Masquer le mot de passe";
    QTest::newRow("Spanish") << Translation::Spanish << "Correo electrónico"
                             << "Mostrar la contraseña"
                             << "Ocultar la contraseña";
}

void TestAccessibility::loginControlsAreNamed()
{
    QFETCH(Translation::Language, language);
    LoginForm form;
    form.setLanguageManager(languages.get());
    languages->languageChanged(language);
    form.show();

    auto *email = form.findChild<QLineEdit *>("lineEditEmail");
    QCOMPARE(accessible(email)->text(QAccessible::Name), email->placeholderText());
    QTEST(accessible(email)->text(QAccessible::Name), "email");
    auto *password = form.findChild<QLineEdit *>("lineEditPassword");
    QVERIFY(!accessible(password)->text(QAccessible::Name).isEmpty());

    auto *show = form.findChild<QPushButton *>("pushButtonShowPassword");
    QTEST(accessible(show)->text(QAccessible::Name), "showPassword");
    show->click();
    QCOMPARE(password->echoMode(), QLineEdit::Normal);
    QTEST(accessible(show)->text(QAccessible::Name), "hidePassword");
}

void TestAccessibility::rememberIsACheckBoxWithItsState()
{
    LoginForm form;
    form.setLanguageManager(languages.get());
    form.show();
    auto *remember = form.findChild<QPushButton *>("pushButtonRemember");
    QAccessibleInterface *switchInterface = accessible(remember);
    QCOMPARE(switchInterface->role(), QAccessible::CheckBox);
    QCOMPARE(switchInterface->text(QAccessible::Name), QStringLiteral("Remember password"));
    QVERIFY(!switchInterface->state().checked);
    remember->setFocus();
    QTest::keyClick(remember, Qt::Key_Space);
    QVERIFY(form.isRememberPassword());
    QVERIFY(switchInterface->state().checked);
}

void TestAccessibility::decorationsAreLeftOut()
{
    LoginForm form;
    form.show();
    for (const char *name : {"labelAppLogo", "labelEmailIcon", "pushButtonRememberRow"}) {
        auto *widget = form.findChild<QWidget *>(name);
        QVERIFY2(widget, name);
        QVERIFY2(accessible(widget)->state().invisible, name);
        QVERIFY2(accessible(widget)->text(QAccessible::Name).isEmpty(), name);
    }
    // The overlay takes no keyboard focus: the switch it lies over does.
    QCOMPARE(form.findChild<QWidget *>("pushButtonRememberRow")->focusPolicy(), Qt::NoFocus);
}

void TestAccessibility::connectButtonIsNamedAfterWhatItDoes_data()
{
    QTest::addColumn<int>("state");
    QTest::addColumn<QString>("name");
    QTest::newRow("disconnected") << int(ConnectionState::Disconnected) << "Connect";
    QTest::newRow("error") << int(ConnectionState::Error) << "Connect";
    QTest::newRow("connecting") << int(ConnectionState::Connecting) << "Connecting...";
    QTest::newRow("connected") << int(ConnectionState::Connected) << "Disconnect";
    QTest::newRow("disconnecting") << int(ConnectionState::Disconnecting) << "Disconnecting...";
}

void TestAccessibility::connectButtonIsNamedAfterWhatItDoes()
{
    QFETCH(int, state);
    MainForm home;
    home.setLanguageManager(languages.get());
    home.show();
    QVERIFY(QMetaObject::invokeMethod(&home, "setVpnConnectionState", Q_ARG(int, state)));
    auto *button = home.findChild<QPushButton *>("pushButtonChangeConnectionState");
    QTEST(accessible(button)->text(QAccessible::Name), "name");
}

void TestAccessibility::killSwitchIsACheckBoxWithItsState()
{
    MainForm home;
    home.setLanguageManager(languages.get());
    home.show();
    auto *killSwitch = home.findChild<QPushButton *>("pushButtonKillSwitch");
    QAccessibleInterface *switchInterface = accessible(killSwitch);
    QCOMPARE(switchInterface->role(), QAccessible::CheckBox);
    QCOMPARE(switchInterface->text(QAccessible::Name), QStringLiteral("Internet Kill Switch"));
    QCOMPARE(switchInterface->text(QAccessible::Description),
             QStringLiteral("Stop traffic if VPN drops"));
    const bool before = switchInterface->state().checked;
    killSwitch->setFocus();
    QTest::keyClick(killSwitch, Qt::Key_Space);
    QCOMPARE(bool(switchInterface->state().checked), !before);
    QCOMPARE(AppSettings::switchState(AppSettings::KillSwitch), !before);
}

void TestAccessibility::focusIsMarkedWhileTheKeyboardIsInUse()
{
    LoginForm form;
    FocusRing ring;
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    auto *email = form.findChild<QLineEdit *>("lineEditEmail");
    QTest::mouseClick(email, Qt::LeftButton);
    QVERIFY(!ring.mark());

    QTest::keyClick(email, Qt::Key_Tab);
    QWidget *focused = QApplication::focusWidget();
    QVERIFY(focused && focused != email);
    QVERIFY(ring.mark());
    const QRect marked(ring.mark()->mapTo(&form, QPoint(0, 0)), ring.mark()->size());
    QVERIFY(marked.contains(QRect(focused->mapTo(&form, QPoint(0, 0)), focused->size())));

    // The mark changes what the window shows around the control.
    const QImage withMark = form.grab().toImage();
    QTest::mouseClick(email, Qt::LeftButton);
    QVERIFY(!ring.mark());
    QVERIFY(form.grab().toImage() != withMark);
}

void TestAccessibility::settingsSwitchesAreCheckBoxesWithTheirNames()
{
    QWidget host;
    auto *settings = new SettingsWindow(&host);
    settings->setLanguageManager(languages.get());
    settings->loadSettings();
    host.show();
    settings->show();
    auto *killSwitch = settings->findChild<QPushButton *>("pushButtonKillSwitch");
    QAccessibleInterface *switchInterface = accessible(killSwitch);
    QCOMPARE(switchInterface->role(), QAccessible::CheckBox);
    QCOMPARE(switchInterface->text(QAccessible::Name), QStringLiteral("Kill Switch"));
    QCOMPARE(switchInterface->text(QAccessible::Description),
             QStringLiteral("Block internet if VPN disconnects unexpectedly"));
    const bool before = switchInterface->state().checked;
    QCOMPARE(before, AppSettings::switchState(AppSettings::KillSwitch));
    killSwitch->click();
    QCOMPARE(bool(switchInterface->state().checked), !before);
    QCOMPARE(AppSettings::switchState(AppSettings::KillSwitch), !before);
}

void TestAccessibility::recommendedCardSaysItsLocation()
{
    RecomendedServerItem card;
    card.setLanguageManager(languages.get());
    ServerData server;
    server.id = 4;
    server.country = QStringLiteral("Spain");
    server.city = QStringLiteral("Madrid");
    server.ping = 12;
    server.isFavorite = true;
    card.setServer(server);
    auto *button = card.findChild<QPushButton *>("pushButton");
    QCOMPARE(accessible(button)->text(QAccessible::Name),
             QStringLiteral("Spain, Madrid, 1 Location, 12 milliseconds, favourite"));
    languages->languageChanged(Translation::Spanish);
    QCOMPARE(accessible(button)->text(QAccessible::Name),
             QStringLiteral("Spain, Madrid, 1 Ubicación, 12 milisegundos, favorito"));
}

void TestAccessibility::ctrlFOpensTheServersAtTheSearchBox()
{
    MainForm home;
    home.setLanguageManager(languages.get());
    home.show();
    QVERIFY(QTest::qWaitForWindowExposed(&home));
    QTest::keyClick(&home, Qt::Key_F, Qt::ControlModifier);
    auto *servers = home.findChild<ServersWindow *>();
    QVERIFY(servers);
    QTRY_VERIFY(servers->isVisible());
    QTRY_COMPARE(QApplication::focusWidget(),
                 static_cast<QWidget *>(servers->findChild<QLineEdit *>("lineEditSearch")));
}

// Tab goes round every control the home page shows, and to nothing it does not show.
void TestAccessibility::tabReachesTheHomeControlsOnly()
{
    MainForm home;
    home.setLanguageManager(languages.get());
    home.show();
    QVERIFY(QTest::qWaitForWindowExposed(&home));
    home.activateWindow();
    home.findChild<QPushButton *>("pushButtonChangeConnectionState")->setFocus();
    QSet<QString> reached;
    for (int press = 0; press < 20; ++press) {
        QWidget *focused = QApplication::focusWidget();
        QVERIFY(focused);
        QVERIFY2(focused->isVisible() && home.rect().contains(QRect(
                                             focused->mapTo(&home, QPoint(0, 0)), focused->size())),
                 qPrintable(focused->objectName()));
        reached << focused->objectName();
        QTest::keyClick(focused, Qt::Key_Tab);
    }
    for (const char *control :
         {"pushButtonMenu", "pushButtonChangeConnectionState", "pushButtonKillSwitch",
          "pushButtonExploreLocations", "pushButtonAccountNav", "pushButtonSettingsNav"})
        QVERIFY2(reached.contains(QLatin1String(control)), control);
}

QTEST_MAIN(TestAccessibility)
#include "TestAccessibility.moc"
