// Speed of the server list model and the latency sweep at ten thousand servers. Built with the
// tests, run by hand: build-test/tests/BenchLatency (see the README for the figures).

#include "ping/PingManager.h"
#include "servers/ServerListModel.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <benchmark/benchmark.h>

namespace {

QVector<ServerData> manyServers(int count, int countries)
{
    QVector<ServerData> servers;
    servers.reserve(count);
    for (int i = 0; i < count; ++i) {
        ServerData server;
        server.id = i + 1;
        const int country = i % countries;
        server.country = QStringLiteral("Country %1").arg(country);
        server.countryCode = QStringLiteral("C%1").arg(country);
        server.continent = QStringLiteral("Continent %1").arg(country % 6);
        server.city = QStringLiteral("City %1").arg(i % 997);
        server.name = server.city + QStringLiteral(" #%1").arg(i);
        server.hostname = QStringLiteral("srv%1.vpn.example").arg(i);
        server.serverIp =
            QStringLiteral("10.%1.%2.%3").arg(i / 65536).arg(i / 256 % 256).arg(i % 256);
        servers.append(server);
    }
    return servers;
}

void readFirstRows(const ServerListModel &model, int rows = 20)
{
    const int count = model.rowCount();
    for (int row = 0; row < std::min(rows, count); ++row)
        benchmark::DoNotOptimize(model.data(model.index(row, 0)));
}

void applyLatencies(ServerListModel &model, int count, bool fullRebuildEach)
{
    for (int id = 1; id <= count; ++id) {
        ServerData server = model.serverById(id);
        server.ping = 1 + (id * 7919) % 400;
        model.updateServer(server);
        if (fullRebuildEach)
            model.setFilter(model.filter());
        readFirstRows(model);
    }
}

void BM_RebuildVisibleRows(benchmark::State &state)
{
    ServerListModel model(manyServers(10000, 150));
    model.sortServers(3);
    for (auto _ : state) {
        model.setFilter(0);
        readFirstRows(model);
    }
}
BENCHMARK(BM_RebuildVisibleRows)->Unit(benchmark::kMillisecond);

void BM_SearchKeystroke(benchmark::State &state)
{
    ServerListModel model(manyServers(10000, 150));
    model.sortServers(3);
    const QStringList typed = {"c", "co", "cou", "coun", "country 1", "country 12"};
    int next = 0;
    for (auto _ : state) {
        model.setSearchText(typed.at(next++ % typed.size()));
        readFirstRows(model);
    }
}
BENCHMARK(BM_SearchKeystroke)->Unit(benchmark::kMillisecond);

void BM_LatencySweep10000(benchmark::State &state)
{
    for (auto _ : state) {
        state.PauseTiming();
        ServerListModel model(manyServers(10000, 150));
        model.sortServers(3);
        readFirstRows(model);
        state.ResumeTiming();
        applyLatencies(model, 10000, false);
    }
}
BENCHMARK(BM_LatencySweep10000)->Unit(benchmark::kMillisecond)->Iterations(3);

// What every result costs when each one rebuilds all rows, as a list without a cache would.
void BM_LatencySweep200FullRebuildEach(benchmark::State &state)
{
    for (auto _ : state) {
        state.PauseTiming();
        ServerListModel model(manyServers(10000, 150));
        model.sortServers(3);
        state.ResumeTiming();
        applyLatencies(model, 200, true);
    }
}
BENCHMARK(BM_LatencySweep200FullRebuildEach)->Unit(benchmark::kMillisecond)->Iterations(3);

// 200 probes of about 100 ms each against the fake ping (FAKE_PING_DELAY_MS=100, fakes first on
// PATH); reports the wall time of the sweep and the longest the event loop was kept waiting.
void BM_PingSweep200(benchmark::State &state)
{
    for (auto _ : state) {
        PingManager::setDefaultMethod(PingManager::Method::Tool);
        PingManager manager(nullptr, Platform::CommandSet::linux());
        int received = 0;
        QEventLoop loop;
        QObject::connect(&manager, &PingManager::pingsReceived, &loop,
                         [&](const QVector<Platform::LatencyResult> &results) {
                             received += results.size();
                             if (received == 200)
                                 loop.quit();
                         });
        qint64 longestGapMs = 0;
        QElapsedTimer gap;
        QTimer tick;
        QObject::connect(&tick, &QTimer::timeout, &loop,
                         [&] { longestGapMs = std::max(longestGapMs, gap.restart()); });
        QElapsedTimer wall;
        wall.start();
        gap.start();
        tick.start(5);
        for (int id = 1; id <= 200; ++id)
            manager.requestPing(id, QStringLiteral("h%1.test").arg(id));
        QTimer::singleShot(60000, &loop, &QEventLoop::quit);
        loop.exec();
        state.counters["wall_ms"] = double(wall.elapsed());
        state.counters["longest_event_loop_gap_ms"] = double(longestGapMs);
        state.counters["results"] = received;
    }
}
BENCHMARK(BM_PingSweep200)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    registerServerDataMetaTypes();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
