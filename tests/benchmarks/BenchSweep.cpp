// What a member with ten thousand servers feels: a latency sweep of loopback hosts through the
// real prober (ICMP sockets where allowed, else the ping tool), and the home screen's work per
// latency result. Built with the tests, run by hand as root for the sweep:
//
//   tests/helpers/with-icmp-namespace build-test/tests/BenchSweep           # ICMP sockets
//   build-test/tests/BenchSweep --tool 1000                                 # the ping tool
//   build-test/tests/BenchSweep --home                                      # the home screen only
//
// Prints wall time, the GUI thread's longest stall (gaps of a 5 ms timer), this process's CPU
// and its children's, and the home screen's cost per result at 10,000 servers, batched as the
// prober delivers and one result at a time as before.

#include "app/Startup.h"
#include "ping/PingManager.h"
#include "types/ServerData.h"
#include "ui/MainForm.h"
#include "vpn/VpnManager.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <sys/resource.h>

#include <cstdio>

namespace {

double cpuSeconds(int who)
{
    rusage usage = {};
    getrusage(who, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

QString loopbackHost(int index)
{
    return QStringLiteral("127.%1.%2.%3")
        .arg(index / 62500 + 1)
        .arg(index / 250 % 250 + 1)
        .arg(index % 250 + 1);
}

void sweep(int hosts, PingManager::Method method)
{
    PingManager::setDefaultMethod(method);
    PingManager manager(nullptr, Platform::CommandSet::linux());
    int received = 0;
    int answered = 0;
    QEventLoop loop;
    QObject::connect(&manager, &PingManager::pingsReceived, &loop,
                     [&](const QVector<Platform::LatencyResult> &results) {
                         received += results.size();
                         for (const auto &result : results)
                             answered += result.ping > 0 ? 1 : 0;
                         if (received == hosts)
                             loop.quit();
                     });
    qint64 longestStallMs = 0;
    QElapsedTimer gap;
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, &loop,
                     [&] { longestStallMs = std::max(longestStallMs, gap.restart() - 5); });
    QVector<PingManager::Request> requests;
    for (int index = 0; index < hosts; ++index)
        requests.append({index + 1, loopbackHost(index)});
    const double selfBefore = cpuSeconds(RUSAGE_SELF);
    const double childrenBefore = cpuSeconds(RUSAGE_CHILDREN);
    QElapsedTimer wall;
    wall.start();
    gap.start();
    tick.start(5);
    QElapsedTimer handOver;
    handOver.start();
    manager.requestPings(requests);
    const qint64 handOverMs = handOver.elapsed();
    QTimer::singleShot(600000, &loop, &QEventLoop::quit);
    loop.exec();
    std::printf("sweep %d hosts (%s): %.2f s wall, longest GUI stall %lld ms (handing the sweep "
                "over %lld ms), CPU %.2f s own + %.2f s children, %d answered\n",
                hosts, manager.usesIcmpSockets() ? "ICMP sockets" : "ping tool",
                double(wall.elapsed()) / 1000, longestStallMs, handOverMs,
                cpuSeconds(RUSAGE_SELF) - selfBefore, cpuSeconds(RUSAGE_CHILDREN) - childrenBefore,
                answered);
}

QVector<ServerData> manyServers(int count)
{
    QVector<ServerData> servers;
    for (int i = 0; i < count; ++i) {
        ServerData server;
        server.id = i + 1;
        const int country = i % 150;
        server.country = QStringLiteral("Country %1").arg(country);
        server.countryCode = QStringLiteral("C%1").arg(country);
        server.city = QStringLiteral("City %1").arg(i % 997);
        server.name = server.city;
        server.serverIp = loopbackHost(i);
        servers.append(server);
    }
    return servers;
}

void homeScreenCost(int servers, int batchSize, bool serversPageBuilt)
{
    MainForm home;
    home.setServers(manyServers(servers));
    // Once opened, the servers page's list reads the model after every change.
    if (serversPageBuilt)
        QMetaObject::invokeMethod(&home, "on_pushButtonExploreLocations_clicked");
    QVector<Platform::LatencyResult> results;
    for (int id = 1; id <= servers; ++id)
        results.append({id, 1 + (id * 7919) % 400});
    QElapsedTimer timer;
    timer.start();
    for (int start = 0; start < results.size(); start += batchSize) {
        if (batchSize == 1)
            QMetaObject::invokeMethod(&home, "setServerPing", Q_ARG(int, results.at(start).id),
                                      Q_ARG(int, results.at(start).ping));
        else
            QMetaObject::invokeMethod(
                &home, "setServerPings",
                Q_ARG(QVector<Platform::LatencyResult>, results.mid(start, batchSize)));
    }
    std::printf("home screen, %d servers, batches of %d%s: %.1f us per result\n", servers,
                batchSize, serversPageBuilt ? ", servers page built" : "",
                double(timer.nsecsElapsed()) / 1000 / servers);
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    initResourceTree();
    qRegisterMetaType<QVector<Platform::LatencyResult>>();
    const QStringList arguments = app.arguments();
    if (arguments.contains(QStringLiteral("--tool"))) {
        sweep(arguments.last().toInt(), PingManager::Method::Tool);
        return 0;
    }
    // The home screen's own sweep goes to the fake-free tool path: only its figures count here.
    VpnManager::setToolsFactory(VpnManager::localTools);
    for (const bool serversPageBuilt : {false, true}) {
        homeScreenCost(10000, 150, serversPageBuilt);
        homeScreenCost(10000, 1, serversPageBuilt);
    }
    if (arguments.contains(QStringLiteral("--home")))
        return 0;
    for (const int hosts : {1000, 10000})
        sweep(hosts, PingManager::Method::Automatic);
    return 0;
}
