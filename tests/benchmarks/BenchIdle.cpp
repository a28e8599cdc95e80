// The whole client at rest: signed in to the demo service, then left alone shown, shown and
// connected (fake tunnel tools), and hidden to the tray while connected. Prints the CPU it used
// in each phase as a share of one core. Built with the tests, run by hand:
//
//   QT_QPA_PLATFORM=offscreen build/tests/BenchIdle [seconds per phase, default 30]
//
// The fake tunnel has no interface, so hidden the traffic poll runs the (fake) tool. As root, a
// network namespace with an interface of the tunnel's name and a default route gives the poll
// the kernel counters it reads with a real tunnel:
//
//   unshare -n sh -c 'ip link set lo up; for d in vpn_wg0 uplink; do ip tuntap add $d mode tun;
//       ip link set $d up; done; ip route add default dev uplink;
//       QT_QPA_PLATFORM=offscreen build/tests/BenchIdle'
//
// Each phase also lists the timer events per second by receiver.

#include "DemoClient.h"
#include "FakePrograms.h"
#include "MainWindowDriver.h"
#include "app/MainWindow.h"
#include "storage/AppSettings.h"
#include "ui/MainForm.h"
#include "vpn/VpnManager.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QHash>
#include <QTemporaryDir>
#include <QTimer>
#include <QTimerEvent>

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

// Counts the timer events each object receives, so a phase names what woke the program.
class TimerCensus final : public QObject {
public:
    bool eventFilter(QObject *receiver, QEvent *event) override
    {
        if (event->type() == QEvent::Timer)
            ++counts[describe(receiver)];
        return false;
    }

    void print(double seconds) const
    {
        for (auto it = counts.cbegin(); it != counts.cend(); ++it)
            std::printf("    %6.2f timer events/s  %s\n", it.value() / seconds,
                        qPrintable(it.key()));
    }

    QHash<QString, int> counts;

private:
    static QString describe(QObject *receiver)
    {
        QString name = QString::fromLatin1(receiver->metaObject()->className());
        if (!receiver->objectName().isEmpty())
            name += QLatin1Char(' ') + receiver->objectName();
        return name;
    }
};

void measure(const char *phase, int seconds)
{
    TimerCensus census;
    QCoreApplication::instance()->installEventFilter(&census);
    const double before = cpuSeconds();
    QElapsedTimer wall;
    wall.start();
    // A plain event loop: QTest::qWait would wake the program every 10 ms itself.
    QEventLoop rest;
    QTimer::singleShot(seconds * 1000, &rest, &QEventLoop::quit);
    rest.exec();
    const double elapsed = double(wall.elapsed()) / 1000;
    QCoreApplication::instance()->removeEventFilter(&census);
    std::printf("%-28s %.2f %% CPU\n", phase, 100.0 * (cpuSeconds() - before) / elapsed);
    census.print(elapsed);
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
