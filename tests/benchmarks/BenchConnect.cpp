// Connect on a real tunnel: from the click on Connect to "Connected" in the whole client (the
// request to the demo service, the configuration checked and written, the tunnel brought up),
// against `wg-quick up` alone on the same configuration, alternately. Run by hand as root:
//
//   export CORVANE_TUNNEL_SERVICE=demo QT_QPA_PLATFORM=offscreen
//   export CORVANE_DEMO_SERVICE_SCRIPT=$PWD/tools/demo-service/server.js
//   tests/helpers/with-tunnel-namespaces build/tests/BenchConnect [runs]

#include "ClientSetUp.h"
#include "MainWindowDriver.h"
#include "Median.h"
#include "RealSystem.h"
#include "app/MainWindow.h"
#include "app/Startup.h"
#include "ui/MainForm.h"
#include "vpn/VpnManager.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

double elapsedMs(const QElapsedTimer &timer)
{
    return double(timer.nsecsElapsed()) / 1e6;
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 9;
    if (qEnvironmentVariableIsEmpty("CORVANE_DEMO_SERVICE_LOG")) {
        std::puts(
            "run through tests/helpers/with-tunnel-namespaces with CORVANE_TUNNEL_SERVICE=demo");
        return 1;
    }
    initResourceTree();
    QTemporaryDir home;
    keepClientFilesUnder(home);
    qputenv("XDG_STATE_HOME", home.filePath("state").toLocal8Bit());
    qputenv("CORVANE_BRAND_DOMAIN", "corvane.example");
    qunsetenv("DBUS_SESSION_BUS_ADDRESS");

    MainWindow window;
    window.show();
    if (!signInThroughLoginPage(window, "demo@corvane.test", "demo-password"))
        return 1;
    VpnManager *tunnel = window.findChild<MainForm *>()->tunnel();
    // Waits in a real event loop: QTest::qWaitFor sleeps 10 ms between looks, which would add
    // up to 10 ms to every step of the connection.
    const auto reaches = [tunnel](int state) {
        QSignalSpy changes(tunnel, &VpnManager::connectionStateChanged);
        QDeadlineTimer deadline(30000);
        while (tunnel->connectionState() != state) {
            if (deadline.hasExpired() || !changes.wait(int(deadline.remainingTime())))
                return false;
        }
        return true;
    };
    const QString reference = home.filePath("reference/vpn_wg0.conf");
    QDir().mkpath(home.filePath("reference"));
    std::vector<double> client;
    std::vector<double> wgQuick;
    for (int run = 0; run < runs; ++run) {
        QElapsedTimer timer;
        timer.start();
        if (!clickConnectButton(window) || !reaches(ConnectionState::Connected))
            return 1;
        client.push_back(elapsedMs(timer));
        // The configuration the client was just given, for the tool alone.
        QFile::remove(reference);
        QFile::copy(tunnel->configFilePath(), reference);
        if (!clickConnectButton(window) || !reaches(ConnectionState::Disconnected))
            return 1;
        QTest::qWait(200);

        timer.restart();
        if (runProgram("wg-quick", {"up", reference}) != 0)
            return 1;
        wgQuick.push_back(elapsedMs(timer));
        runProgram("wg-quick", {"down", reference});
        QTest::qWait(200);
    }
    std::printf("wg-quick up alone:        median %.1f ms, fastest %.1f ms\n", median(wgQuick),
                *std::min_element(wgQuick.begin(), wgQuick.end()));
    std::printf("click to Connected:       median %.1f ms, fastest %.1f ms\n", median(client),
                *std::min_element(client.begin(), client.end()));
    std::printf("ratio of medians: %.2f\n", median(client) / median(wgQuick));
    return 0;
}
