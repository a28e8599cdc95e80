#include "DemoService.h"
#include "FakePrograms.h"
#include "MainWindowDriver.h"
#include "app/MainWindow.h"
#include "app/Startup.h"
#include "servers/ServersWindow.h"
#include "ui/AccountWindow.h"
#include "ui/MainForm.h"
#include "ui/SettingsWindow.h"
#include "vpn/VpnManager.h"

#include <QGuiApplication>
#include <QtTest>

#include <memory>

// The real main window as a Wayland client of a headless Weston (tests/helpers/with-weston):
// it starts, signs in to the demo service and shows every page.
class TestWayland : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void signsInAndShowsEveryPage();

private:
    std::unique_ptr<DemoService> demo;
    QTemporaryDir home;
};

void TestWayland::initTestCase()
{
    QCOMPARE(QGuiApplication::platformName(), QStringLiteral("wayland"));
    initResourceTree();
    qputenv("XDG_CONFIG_HOME", home.filePath("config").toLocal8Bit());
    qputenv("XDG_DATA_HOME", home.filePath("data").toLocal8Bit());
    qputenv("CORVANE_BRAND_DOMAIN", "corvane.example");
    qunsetenv("DBUS_SESSION_BUS_ADDRESS");
    demo = std::make_unique<DemoService>();
    QVERIFY2(demo->isRunning(), qPrintable(demo->log()));
    demo->exportEndpoints();
    VpnManager::setToolsFactory(VpnManager::localTools);
}

void TestWayland::signsInAndShowsEveryPage()
{
    FakePrograms fakes;
    MainWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QVERIFY(signInThroughLoginPage(window, "demo@corvane.test", "demo-password"));

    auto *home = window.findChild<MainForm *>();
    for (const char *slot : {"on_pushButtonExploreLocations_clicked",
                             "on_pushButtonSettingsNav_clicked", "on_pushButtonAccountNav_clicked"})
        QVERIFY(QMetaObject::invokeMethod(home, slot));
    for (QWidget *shown : {static_cast<QWidget *>(window.findChild<ServersWindow *>()),
                           static_cast<QWidget *>(window.findChild<SettingsWindow *>()),
                           static_cast<QWidget *>(window.findChild<AccountWindow *>())})
        QVERIFY(!shown->grab().isNull());
    QVERIFY(window.windowHandle()->isExposed());
}

QTEST_MAIN(TestWayland)
#include "TestWayland.moc"
