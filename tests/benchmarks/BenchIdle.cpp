// The whole client at rest: signed in to the demo service, then left alone shown, shown and
// connected (fake tunnel tools), and hidden to the tray while connected. Prints the CPU it used
// in each phase as a share of one core. Built with the tests, run by hand:
//
//   QT_QPA_PLATFORM=offscreen build/tests/BenchIdle [seconds per phase, default 30]

#include "DemoClient.h"
#include "FakePrograms.h"
#include "MainWindowDriver.h"
#include "app/MainWindow.h"
#include "storage/AppSettings.h"
#include "ui/MainForm.h"
#include "vpn/VpnManager.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <sys/resource.h>

#include <cstdio>

namespace {

double cpuSeconds()
{
    rusage usage = {};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

void measure(const char *phase, int seconds)
{
    const double before = cpuSeconds();
    QElapsedTimer wall;
    wall.start();
    QTest::qWait(seconds * 1000);
    std::printf("%-28s %.2f %% CPU\n", phase,
                100.0 * (cpuSeconds() - before) / (double(wall.elapsed()) / 1000));
    std::fflush(stdout);
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 30;
    QTemporaryDir scratch;
    const auto demo = startDemoClient(scratch);
    if (!demo->isRunning())
        return 1;
    FakePrograms fakes;
    fakes.script("ping", "STDOUT", "rtt min/avg/max/mdev = 1/2/3/1 ms\n");
    // A connected tunnel at rest: its counters stand still.
    fakes.script("wg", "STDOUT_FOR_TRANSFER", "key\t1000\t1000\n");
    AppSettings::setSwitchState(AppSettings::TrayIcon, true);

    MainWindow window;
    window.show();
    if (!signInThroughLoginPage(window, "demo@corvane.test", "demo-password"))
        return 1;
    QTest::qWait(2000);
    measure("shown, disconnected", seconds);
    auto *home = window.findChild<MainForm *>();
    if (!clickConnectButton(window) ||
        !QTest::qWaitFor(
            [home] { return home->tunnel()->connectionState() == ConnectionState::Connected; },
            10000))
        return 1;
    QTest::qWait(1000);
    measure("shown, connected", seconds);
    window.close();
    measure("hidden in the tray, connected", seconds);
    return 0;
}
