// Launch to the first page painted: the client's login page against a minimal Qt Widgets
// program built in the same tree (the client against the demo service, whose brand lookup comes
// before the login page), each started as a new process and timed until it says it
// has painted, alternately, so both see the same machine. Run by hand on a real display:
//
//   tests/helpers/with-xvfb build/tests/BenchLaunch [runs, default 15]
//
// Prints the median and the fastest of each and their ratio.

#include "DemoService.h"
#include "Median.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>

namespace {

// Milliseconds from starting the program to its "painted"; -1 when it never says it.
double timeToPainted(const QString &program, const QProcessEnvironment &environment)
{
    QProcess process;
    process.setProcessEnvironment(environment);
    QElapsedTimer timer;
    timer.start();
    process.start(program, QStringList());
    while (process.waitForReadyRead(10000)) {
        if (process.readAllStandardOutput().contains("painted")) {
            const double ms = double(timer.nsecsElapsed()) / 1e6;
            process.kill();
            process.waitForFinished();
            return ms;
        }
    }
    process.kill();
    process.waitForFinished();
    return -1;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 15;
    const QString directory = QCoreApplication::applicationDirPath();
    QTemporaryDir configHome;
    // The login page follows the brand lookup: the client asks the demo service.
    DemoService demo;
    if (!demo.isRunning())
        return 1;
    demo.exportEndpoints();
    qputenv("CORVANE_BRAND_DOMAIN", "corvane.example");
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), configHome.path());
    environment.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
    std::vector<double> client;
    std::vector<double> minimal;
    for (int run = 0; run < runs; ++run) {
        minimal.push_back(timeToPainted(directory + QStringLiteral("/LaunchMinimal"), environment));
        client.push_back(timeToPainted(directory + QStringLiteral("/LaunchClient"), environment));
        if (client.back() < 0 || minimal.back() < 0) {
            std::puts("a program did not paint");
            return 1;
        }
    }
    std::printf("minimal Qt Widgets program: median %.1f ms, fastest %.1f ms\n", median(minimal),
                *std::min_element(minimal.begin(), minimal.end()));
    std::printf("client to login page:       median %.1f ms, fastest %.1f ms\n", median(client),
                *std::min_element(client.begin(), client.end()));
    std::printf("ratio of medians: %.2f\n", median(client) / median(minimal));
    return 0;
}
