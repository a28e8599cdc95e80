#include "DemoClient.h"
#include "FakePrograms.h"
#include "MainWindowDriver.h"
#include "app/MainWindow.h"
#include "servers/ServersWindow.h"
#include "ui/AccountWindow.h"
#include "ui/MainForm.h"
#include "ui/SettingsWindow.h"

#include <QGuiApplication>
#include <QProcess>
#include <QtTest>

#include <memory>

// The real main window as a Wayland client of Weston (tests/helpers/with-weston): under the
// headless back-end it starts, signs in to the demo service and shows every page; under a
// compositor with a seat (with-weston --seat), a drag on a press zone moves the window.
class TestWayland : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void signsInAndShowsEveryPage();
    void dragOnPressZoneMovesTheWindow();

private:
    std::unique_ptr<DemoService> demo;
    QTemporaryDir home;
};

void TestWayland::initTestCase()
{
    QCOMPARE(QGuiApplication::platformName(), QStringLiteral("wayland"));
    demo = startDemoClient(home);
    QVERIFY2(demo->isRunning(), qPrintable(demo->log()));
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

namespace {

// Where the window's presses land, in the window's own coordinates: a Wayland client cannot
// learn its place on the screen, but the compositor reports each press relative to the window.
class PressRecorder : public QObject {
public:
    QList<QPoint> presses;
    bool pointerInside = false;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Enter || event->type() == QEvent::MouseMove)
            pointerInside = true;
        if (event->type() == QEvent::MouseButtonPress)
            presses.append(static_cast<QMouseEvent *>(event)->localPos().toPoint());
        return QObject::eventFilter(watched, event);
    }
};

bool runPointer(const QStringList &actions)
{
    return QProcess::execute(QStringLiteral("xdotool"), actions) == 0;
}

} // namespace

void TestWayland::dragOnPressZoneMovesTheWindow()
{
    if (qEnvironmentVariableIsEmpty("DISPLAY"))
        QSKIP("needs a compositor with a seat: run under with-weston --seat");
    MainWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QTRY_COMPARE_WITH_TIMEOUT(currentPage(window), QStringLiteral("pageLogin"), 10000);
    PressRecorder recorder;
    window.windowHandle()->installEventFilter(&recorder);

    // The output is as large as the window, so the compositor places it at the origin; the
    // logo area at the top is a press zone.
    const QPoint pressZone(205, 60);
    const QPoint offset(40, 30);
    // The press goes to the window only once the compositor has given it the pointer. A busy
    // compositor may lose the first motion while it still maps its output, so the pointer moves
    // again until the window sees it.
    for (int attempt = 0; attempt < 40 && !recorder.pointerInside; ++attempt) {
        const QPoint at = pressZone + QPoint(attempt % 2, 0);
        QVERIFY(runPointer({"mousemove", QString::number(at.x()), QString::number(at.y())}));
        QTest::qWait(250);
    }
    QVERIFY(recorder.pointerInside);
    QVERIFY(
        runPointer({"mousemove", QString::number(pressZone.x()), QString::number(pressZone.y())}));
    QVERIFY(runPointer({"mousedown", "1"}));
    QTRY_COMPARE(recorder.presses.size(), 1);
    QCOMPARE(recorder.presses.first(), pressZone);
    for (int step = 1; step <= 4; ++step) {
        const QPoint to = pressZone + offset * step / 4;
        QVERIFY(runPointer({"mousemove", QString::number(to.x()), QString::number(to.y())}));
        QTest::qWait(50);
    }
    QVERIFY(runPointer({"mouseup", "1"}));

    // Pressing where the press zone now is lands on the same point of the window, once the
    // compositor has moved it along with the pointer.
    QVERIFY(runPointer({"click", "1"}));
    QTRY_COMPARE(recorder.presses.size(), 2);
    QCOMPARE(recorder.presses.last(), pressZone);
}

QTEST_MAIN(TestWayland)
#include "TestWayland.moc"
