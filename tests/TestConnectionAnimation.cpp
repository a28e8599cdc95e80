#include "types/ConnectionState.h"
#include "ui/ConnectionAnimation.h"

#include <QPainter>
#include <QtTest>

class TestConnectionAnimation : public QObject {
    Q_OBJECT

private slots:
    void levelsAndCaptions_data();
    void levelsAndCaptions();
    void newStateRestartsTheArcs();
    void runsOnlyWhileShownAndMoving();
    void turnsFiveDegreesPerTick();
    void keepsItsProportionsWhenResized();
    void discColourFollowsTheState();

private:
    static QImage render(ConnectionAnimation &button, int size);
};

QImage TestConnectionAnimation::render(ConnectionAnimation &button, int size)
{
    button.resize(size, size);
    QImage image(size, size, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    button.render(&image);
    return image;
}

void TestConnectionAnimation::levelsAndCaptions_data()
{
    QTest::addColumn<int>("state");
    QTest::addColumn<double>("level");
    QTest::addColumn<QString>("caption");
    QTest::newRow("Connected") << 0 << 1.0 << "DISCONNECT";
    QTest::newRow("Disconnected") << 1 << 0.0 << "DISCONNECTED";
    QTest::newRow("Connecting") << 2 << 0.5 << "CONNECTING...";
    QTest::newRow("Disconnecting") << 3 << 0.5 << "CONNECTING...";
    QTest::newRow("Error") << 4 << 0.0 << "DISCONNECTED";
}

void TestConnectionAnimation::levelsAndCaptions()
{
    QFETCH(int, state);
    ConnectionAnimation button;
    button.setState(state);
    QTEST(button.currentLevel(), "level");
    QTEST(button.caption(), "caption");
    button.setTexts("Disconnect", "Connecting", "Disconnected");
    QVERIFY(button.caption().startsWith(state == 0                 ? "Disconnect"
                                        : state == 1 || state == 4 ? "Disconnected"
                                                                   : "Connecting"));
}

void TestConnectionAnimation::newStateRestartsTheArcs()
{
    ConnectionAnimation button;
    button.show();
    button.setState(ConnectionState::Disconnected);
    QTRY_VERIFY_WITH_TIMEOUT(button.currentAngle() > 0, 1000);
    button.setState(ConnectionState::Connecting);
    QVERIFY(button.currentAngle() <= 5);
    QCOMPARE(button.currentLevel(), 0.5);
    button.setState(99);
    QCOMPARE(button.currentLevel(), 0.5);
}

// The arcs turn only while they show and move: a connected ring is still, a hidden button idle.
void TestConnectionAnimation::runsOnlyWhileShownAndMoving()
{
    ConnectionAnimation button;
    button.setState(ConnectionState::Connecting);
    QVERIFY(!button.isAnimating());
    button.show();
    QVERIFY(QTest::qWaitForWindowExposed(&button));
    QVERIFY(button.isAnimating());
    button.setState(ConnectionState::Connected);
    QVERIFY(!button.isAnimating());
    const int still = button.currentAngle();
    QTest::qWait(4 * ConnectionAnimation::tickMs);
    QCOMPARE(button.currentAngle(), still);
    button.setState(ConnectionState::Disconnected);
    QVERIFY(button.isAnimating());
    button.hide();
    QVERIFY(!button.isAnimating());
}

void TestConnectionAnimation::turnsFiveDegreesPerTick()
{
    QCOMPARE(ConnectionAnimation::tickMs, 33);
    ConnectionAnimation button;
    for (int tick = 1; tick <= 73; ++tick)
        QMetaObject::invokeMethod(&button, "slotTimerAlarm");
    QCOMPARE(button.currentAngle() % 5, 0);
}

void TestConnectionAnimation::keepsItsProportionsWhenResized()
{
    ConnectionAnimation button;
    button.setState(ConnectionState::Connected);
    const QImage large =
        render(button, 246).scaled(123, 123, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    const QImage small = render(button, 123);
    qint64 difference = 0;
    for (int y = 0; y < 123; ++y)
        for (int x = 0; x < 123; ++x)
            difference += qAbs(qGreen(large.pixel(x, y)) - qGreen(small.pixel(x, y)));
    // Text and antialiasing differ a little; a layout that did not scale would differ a lot.
    QVERIFY2(difference / (123 * 123) < 12, qPrintable(QString::number(difference / (123 * 123))));
}

void TestConnectionAnimation::discColourFollowsTheState()
{
    ConnectionAnimation button;
    button.setState(ConnectionState::Disconnected);
    QCOMPARE(QColor(render(button, 246).pixel(123, 70)), QColor("#FFFFFF"));
    button.setState(ConnectionState::Connected);
    const QColor connected(render(button, 246).pixel(123, 70));
    QVERIFY(connected.green() > connected.red() + 60);
    // The full ring is drawn only while connected.
    QCOMPARE(QColor(render(button, 246).pixel(123, 7)).rgb() & 0xffffff,
             QColor("#159452").rgb() & 0xffffff);
}

QTEST_MAIN(TestConnectionAnimation)
#include "TestConnectionAnimation.moc"
