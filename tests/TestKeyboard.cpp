#include "DemoClient.h"
#include "FakePrograms.h"
#include "MainWindowDriver.h"
#include "app/MainWindow.h"
#include "servers/ServerListModel.h"
#include "servers/ServersWindow.h"
#include "storage/AppSettings.h"
#include "types/ServerData.h"
#include "ui/AccountWindow.h"
#include "ui/MainForm.h"
#include "ui/SettingsWindow.h"
#include "vpn/VpnManager.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QDesktopServices>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QtTest>

#include <functional>
#include <memory>

// A member without a mouse: the whole client, on a real X server, driven by key presses alone
// (each sent where the keyboard focus is). Every control of the login, home, servers, settings
// and account pages is reached with Tab and used with Space, Enter, the arrows or Escape, and
// every control reached is painted differently while it has the focus.
class TestKeyboard : public QObject {
    Q_OBJECT

public slots:
    void openUrl(const QUrl &url) { openedUrls << url; }

private slots:
    void initTestCase();
    void cleanupTestCase();
    void everyPageByKeyboardAlone();

private:
    using Match = std::function<bool(const QWidget *)>;

    QWidget *focused() const { return QApplication::focusWidget(); }
    void press(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier);
    // Presses Tab until a control that matches has the focus (at most a round of the page). Each
    // control left on the way must show differently once the focus has gone.
    bool tabTo(const Match &match, const QString &what);
    bool tabTo(const QString &objectName);
    // What the window paints of area (the real screen shows the same: TestRealDisplay).
    QImage painted(const QRect &area) const { return window->grab(area).toImage(); }
    QRect around(const QWidget *control) const;

    void useLoginPage();
    void useHomePage();
    void useServersPage();
    void useSettingsPage();
    void useAccountPage();
    void signOut();

    std::unique_ptr<DemoService> demo;
    std::unique_ptr<FakePrograms> fakes;
    QTemporaryDir home;
    std::unique_ptr<MainWindow> window;
    QList<QUrl> openedUrls;
    QString failure;
};

void TestKeyboard::initTestCase()
{
    QCOMPARE(QGuiApplication::platformName(), QStringLiteral("xcb"));
    demo = startDemoClient(home);
    QVERIFY2(demo->isRunning(), qPrintable(demo->log()));
    fakes = std::make_unique<FakePrograms>();
    fakes->script("ping", "STDOUT", "rtt min/avg/max/mdev = 1/2/3/1 ms\n");
    fakes->script("wg", "STDOUT", "peer\t4096\t1024\n");
    for (const char *scheme : {"http", "https", "mailto"})
        QDesktopServices::setUrlHandler(QLatin1String(scheme), this, "openUrl");
}

void TestKeyboard::cleanupTestCase()
{
    window.reset();
    fakes.reset();
}

void TestKeyboard::press(int key, Qt::KeyboardModifiers modifiers)
{
    QWidget *target = focused() ? focused() : window.get();
    QTest::keyClick(target, Qt::Key(key), modifiers);
}

QRect TestKeyboard::around(const QWidget *control) const
{
    const QRect area(control->mapTo(window.get(), QPoint(0, 0)), control->size());
    return area.adjusted(-4, -4, 4, 4).intersected(window->rect());
}

bool TestKeyboard::tabTo(const Match &match, const QString &what)
{
    QStringList reached;
    for (int presses = 0; presses < 40; ++presses) {
        QWidget *control = focused();
        if (control && match(control))
            return true;
        reached << (control ? control->objectName() : QStringLiteral("nothing"));
        QRect area;
        QImage focusedLook;
        if (control) {
            if (!control->isVisible() || control->size().isEmpty() ||
                !window->rect().contains(around(control).center())) {
                failure = QStringLiteral("the focus is on %1, which the member cannot see")
                              .arg(control->objectName());
                return false;
            }
            area = around(control);
            focusedLook = painted(area);
        }
        press(Qt::Key_Tab);
        if (control && focused() != control && painted(area) == focusedLook) {
            failure = QStringLiteral("%1 looks the same with and without the focus")
                          .arg(control->objectName());
            return false;
        }
    }
    failure = QStringLiteral("Tab never reached %1; it went to %2").arg(what, reached.join(", "));
    return false;
}

bool TestKeyboard::tabTo(const QString &objectName)
{
    return tabTo(
        [objectName](const QWidget *control) { return control->objectName() == objectName; },
        objectName);
}

void TestKeyboard::everyPageByKeyboardAlone()
{
    window = std::make_unique<MainWindow>();
    window->show();
    window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window.get()));
    QTRY_COMPARE_WITH_TIMEOUT(currentPage(*window), QStringLiteral("pageLogin"), 10000);

    useLoginPage();
    if (QTest::currentTestFailed())
        return;
    useHomePage();
    if (QTest::currentTestFailed())
        return;
    useServersPage();
    if (QTest::currentTestFailed())
        return;
    useSettingsPage();
    if (QTest::currentTestFailed())
        return;
    useAccountPage();
    if (QTest::currentTestFailed())
        return;
    signOut();
}

void TestKeyboard::useLoginPage()
{
    QVERIFY2(tabTo("lineEditEmail"), qPrintable(failure));
    QTest::keyClicks(focused(), QStringLiteral("demo@corvane.test"));
    QVERIFY2(tabTo("lineEditPassword"), qPrintable(failure));
    auto *password = qobject_cast<QLineEdit *>(focused());
    QTest::keyClicks(password, QStringLiteral("demo-password"));

    QVERIFY2(tabTo("pushButtonShowPassword"), qPrintable(failure));
    press(Qt::Key_Space);
    QCOMPARE(password->echoMode(), QLineEdit::Normal);
    press(Qt::Key_Return);
    QCOMPARE(password->echoMode(), QLineEdit::Password);

    QVERIFY2(tabTo("pushButtonRemember"), qPrintable(failure));
    auto *remember = qobject_cast<QAbstractButton *>(focused());
    const bool remembered = remember->isChecked();
    press(Qt::Key_Space);
    QCOMPARE(remember->isChecked(), !remembered);
    press(Qt::Key_Space);

    QVERIFY2(tabTo("labelForgotPassword"), qPrintable(failure));
    press(Qt::Key_Return);
    QTRY_COMPARE(openedUrls.size(), 1);

    QVERIFY2(tabTo("labelDontHaveAccount_2"), qPrintable(failure));
    press(Qt::Key_Return);
    QTRY_COMPARE(openedUrls.size(), 2);

    QVERIFY2(tabTo("pushButtonLogIn"), qPrintable(failure));
    press(Qt::Key_Return);
    QTRY_COMPARE_WITH_TIMEOUT(currentPage(*window), QStringLiteral("pageMain"), 10000);
}

void TestKeyboard::useHomePage()
{
    auto *home = window->findChild<MainForm *>();
    auto *connectButton = home->findChild<QAbstractButton *>("pushButtonChangeConnectionState");
    QTRY_VERIFY_WITH_TIMEOUT(connectButton->isEnabled(), 10000);
    QVERIFY2(tabTo("pushButtonChangeConnectionState"), qPrintable(failure));
    press(Qt::Key_Space);
    QTRY_COMPARE_WITH_TIMEOUT(home->tunnel()->connectionState(), int(ConnectionState::Connected),
                              10000);

    QVERIFY2(tabTo("pushButtonKillSwitch"), qPrintable(failure));
    auto *killSwitch = qobject_cast<QAbstractButton *>(focused());
    const bool blocking = killSwitch->isChecked();
    press(Qt::Key_Space);
    QTRY_COMPARE(killSwitch->isChecked(), !blocking);
    press(Qt::Key_Return);
    QTRY_COMPARE(killSwitch->isChecked(), blocking);

    // The second recommended card: Enter moves the connection there.
    auto *location = window->findChild<QLabel *>("labelServerName");
    const QString before = location->text();
    QVERIFY2(tabTo(
                 [](const QWidget *control) {
                     return control->parentWidget() && control->parentWidget()->parentWidget() &&
                            control->parentWidget()->parentWidget()->objectName() ==
                                "widgetRecomendedLocation_2";
                 },
                 "the second card"),
             qPrintable(failure));
    press(Qt::Key_Return);
    QTRY_VERIFY_WITH_TIMEOUT(location->text() != before, 10000);
    QTRY_COMPARE_WITH_TIMEOUT(home->tunnel()->connectionState(), int(ConnectionState::Connected),
                              10000);

    // The window's own controls take their turn too.
    for (const char *control : {"pushButtonMinimize", "pushButtonClose", "pushButtonMenu"})
        QVERIFY2(tabTo(QLatin1String(control)), qPrintable(failure));
    QVERIFY2(tabTo("pushButtonExploreLocations"), qPrintable(failure));
    press(Qt::Key_Return);
    auto *servers = window->findChild<ServersWindow *>();
    QTRY_VERIFY(servers && servers->isVisible());
    QVERIFY(servers->isAncestorOf(focused()));
}

void TestKeyboard::useServersPage()
{
    auto *servers = window->findChild<ServersWindow *>();
    auto *home = window->findChild<MainForm *>();
    QVERIFY2(tabTo("lineEditSearch"), qPrintable(failure));
    QTest::keyClicks(focused(), QStringLiteral("Spain"));
    QVERIFY2(tabTo("pushButtonGaming"), qPrintable(failure));
    const QString idle = focused()->styleSheet();
    press(Qt::Key_Space);
    QVERIFY(focused()->styleSheet() != idle);
    QVERIFY2(tabTo("pushButtonAllServers"), qPrintable(failure));
    press(Qt::Key_Space);

    QVERIFY2(tabTo("listViewServers"), qPrintable(failure));
    auto *rows = qobject_cast<QListView *>(focused());
    QCOMPARE(rows->model()->rowCount(), 1);
    press(Qt::Key_Down);
    QVERIFY(rows->currentIndex().isValid());
    const ServerData spain = rows->currentIndex().data().value<ServerData>();
    QCOMPARE(spain.country, QStringLiteral("Spain"));
    press(Qt::Key_D, Qt::ControlModifier);
    QTRY_COMPARE(home->model()->serverById(spain.id).isFavorite, !spain.isFavorite);
    press(Qt::Key_Return);
    // The choice closes the page and gives the keyboard back to the connect button.
    QTRY_VERIFY(!servers->isVisible());
    QCOMPARE(focused()->objectName(), QStringLiteral("pushButtonChangeConnectionState"));
    QTRY_COMPARE_WITH_TIMEOUT(home->selectedServer().country, QStringLiteral("Spain"), 10000);

    // Escape closes the page too; the navigation keys go from page to page.
    QVERIFY2(tabTo("pushButtonExploreLocations"), qPrintable(failure));
    press(Qt::Key_Return);
    QTRY_VERIFY(servers->isVisible());
    press(Qt::Key_Escape);
    QTRY_VERIFY(!servers->isVisible());
    QCOMPARE(focused()->objectName(), QStringLiteral("pushButtonChangeConnectionState"));

    QVERIFY2(tabTo("pushButtonExploreLocations"), qPrintable(failure));
    press(Qt::Key_Return);
    QTRY_VERIFY(servers->isVisible());
    QVERIFY2(tabTo("pushButtonNavigationSettings"), qPrintable(failure));
    press(Qt::Key_Return);
    QTRY_VERIFY(window->findChild<SettingsWindow *>() &&
                window->findChild<SettingsWindow *>()->isVisible());
    QVERIFY(!servers->isVisible());
}

void TestKeyboard::useSettingsPage()
{
    auto *settings = window->findChild<SettingsWindow *>();
    QVERIFY(settings->isAncestorOf(focused()));
    // Notifications come with the tray icon.
    QVERIFY2(tabTo("pushButtonTrayIcon"), qPrintable(failure));
    if (!qobject_cast<QAbstractButton *>(focused())->isChecked())
        press(Qt::Key_Space);
    QTRY_VERIFY(settings->findChild<QAbstractButton *>("pushButtonNotifications")->isEnabled());
    for (const char *name :
         {"pushButtonNotifications", "pushButtonAutoConnect", "pushButtonStartup"}) {
        QVERIFY2(tabTo(QLatin1String(name)), qPrintable(failure));
        auto *switchButton = qobject_cast<QAbstractButton *>(focused());
        const bool on = switchButton->isChecked();
        press(Qt::Key_Space);
        QTRY_COMPARE(switchButton->isChecked(), !on);
        press(Qt::Key_Space);
        QTRY_COMPARE(switchButton->isChecked(), on);
    }

    QVERIFY2(tabTo("comboBoxLanguage"), qPrintable(failure));
    auto *languages = qobject_cast<QComboBox *>(focused());
    auto *signOutButton = settings->findChild<QAbstractButton *>("pushButtonLogOut");
    press(Qt::Key_Down);
    QCOMPARE(languages->currentIndex(), 1);
    QTRY_COMPARE(signOutButton->text(), QStringLiteral("SE DÉCONNECTER"));
    press(Qt::Key_Up);
    QTRY_COMPARE(signOutButton->text(), QStringLiteral("SIGN OUT"));

    for (const char *name :
         {"pushButtonHelpCenter", "pushButtonContactSupport", "pushButtonPrivacy"}) {
        const int opened = openedUrls.size();
        QVERIFY2(tabTo(QLatin1String(name)), qPrintable(failure));
        press(Qt::Key_Return);
        QTRY_COMPARE(openedUrls.size(), opened + 1);
    }
    QVERIFY2(tabTo("pushButtonLogOut"), qPrintable(failure));
    QVERIFY2(tabTo("pushButtonNavigationAccount"), qPrintable(failure));
    press(Qt::Key_Return);
    QTRY_VERIFY(window->findChild<AccountWindow *>() &&
                window->findChild<AccountWindow *>()->isVisible());
    QVERIFY(!settings->isVisible());
}

void TestKeyboard::useAccountPage()
{
    auto *account = window->findChild<AccountWindow *>();
    const int opened = openedUrls.size();
    QVERIFY2(tabTo("pushButtonMembers"), qPrintable(failure));
    press(Qt::Key_Return);
    QTRY_COMPARE(openedUrls.size(), opened + 1);
    QVERIFY2(tabTo("pushButtonBack"), qPrintable(failure));
    press(Qt::Key_Space);
    QTRY_VERIFY(!account->isVisible());
    QCOMPARE(focused()->objectName(), QStringLiteral("pushButtonChangeConnectionState"));
}

void TestKeyboard::signOut()
{
    // The menu button opens the settings, where the member signs out.
    QVERIFY2(tabTo("pushButtonMenu"), qPrintable(failure));
    press(Qt::Key_Return);
    auto *settings = window->findChild<SettingsWindow *>();
    QTRY_VERIFY(settings->isVisible());
    QVERIFY2(tabTo("pushButtonLogOut"), qPrintable(failure));
    press(Qt::Key_Return);
    QTRY_COMPARE_WITH_TIMEOUT(currentPage(*window), QStringLiteral("pageLogin"), 10000);
    QVERIFY2(tabTo("lineEditEmail"), qPrintable(failure));
}

QTEST_MAIN(TestKeyboard)
#include "TestKeyboard.moc"
