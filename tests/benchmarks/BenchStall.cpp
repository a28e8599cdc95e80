// The longest the GUI thread stops answering while a member without rights signs in, connects,
// stays connected (the traffic and health polls going through the system helper) and
// disconnects. The helper runs on a private system bus with a polkit stand-in that says yes at
// once, and the fake tunnel tools: what is measured is the client's own waiting, never a real
// password prompt. Built with the tests, run by hand as root (the private bus's helper is root):
//
//   QT_QPA_PLATFORM=offscreen build/tests/BenchStall [seconds connected, default 60]
//
// A timer asks every 5 ms; a stall is how much later than that its next turn came. Prints the
// longest stall and the number over 16 ms (a frame) in each phase.

#include "DemoClient.h"
#include "FakePrograms.h"
#include "MainWindowDriver.h"
#include "PrivateSystemBus.h"
#include "app/MainWindow.h"
#include "ui/MainForm.h"
#include "vpn/HelperTunnelTools.h"
#include "vpn/VpnManager.h"

#include <QApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>

namespace {

constexpr int tickMs = 5;
constexpr double frameMs = 16;

class StallMeter final : public QObject {
public:
    StallMeter()
    {
        ticker.setTimerType(Qt::PreciseTimer);
        ticker.setInterval(tickMs);
        connect(&ticker, &QTimer::timeout, this, [this] {
            const double late = double(sinceLastTick.nsecsElapsed()) / 1e6 - tickMs;
            sinceLastTick.restart();
            longest = std::max(longest, late);
            if (late > frameMs)
                ++overAFrame;
        });
    }

    void start()
    {
        longest = 0;
        overAFrame = 0;
        sinceLastTick.start();
        ticker.start();
    }

    void report(const char *phase)
    {
        ticker.stop();
        std::printf("%-34s longest stall %7.1f ms, %3d over %.0f ms\n", phase, longest, overAFrame,
                    frameMs);
        std::fflush(stdout);
    }

private:
    QTimer ticker;
    QElapsedTimer sinceLastTick;
    double longest = 0;
    int overAFrame = 0;
};

bool waitForState(MainForm *home, int state)
{
    return QTest::qWaitFor([home, state] { return home->tunnel()->connectionState() == state; },
                           30000);
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 60;
    QTemporaryDir scratch;
    QTemporaryDir helperRuntime;
    FakePrograms fakes;
    fakes.script("ping", "STDOUT", "rtt min/avg/max/mdev = 1/2/3/1 ms\n");
    fakes.script("wg", "STDOUT_FOR_TRANSFER", "key\t1000\t1000\n");
    // A handshake a moment ago, so that the health check finds the tunnel alive.
    fakes.script("wg", "STDOUT_FOR_LATEST_HANDSHAKES",
                 QStringLiteral("key\t%1\n").arg(QDateTime::currentSecsSinceEpoch()).toUtf8());
    qputenv("RUNTIME_DIRECTORY", helperRuntime.path().toLocal8Bit());
    PrivateSystemBus bus;
    if (!bus.isRunning()) {
        std::fprintf(stderr, "no private system bus: %s\n", qPrintable(bus.log()));
        return 1;
    }
    const auto demo = startDemoClient(scratch);
    if (!demo->isRunning())
        return 1;
    VpnManager::setToolsFactory([](const Platform::CommandSet &, const QString &) -> TunnelTools * {
        return new HelperTunnelTools();
    });

    StallMeter meter;
    MainWindow window;
    window.show();
    auto *home = window.findChild<MainForm *>();

    meter.start();
    if (!signInThroughLoginPage(window, "demo@corvane.test", "demo-password"))
        return 1;
    meter.report("sign-in");

    meter.start();
    if (!clickConnectButton(window) || !waitForState(home, ConnectionState::Connected))
        return 1;
    meter.report("connect");

    meter.start();
    QTest::qWait(seconds * 1000);
    meter.report(qPrintable(QStringLiteral("%1 s connected, polls").arg(seconds)));

    meter.start();
    if (!clickConnectButton(window) || !waitForState(home, ConnectionState::Disconnected))
        return 1;
    meter.report("disconnect");
    return 0;
}
