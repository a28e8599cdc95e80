// Speed of the servers window at ten thousand servers in 150 countries, offscreen. Built with the
// tests, run by hand: QT_QPA_PLATFORM=offscreen build-rel/tests/BenchServersWindow

#include "app/Startup.h"
#include "servers/ServerListModel.h"
#include "servers/ServersWindow.h"

#include <QApplication>
#include <QLineEdit>
#include <QListView>

#include <benchmark/benchmark.h>

namespace {

QVector<ServerData> manyServers()
{
    QVector<ServerData> servers;
    for (int i = 0; i < 10000; ++i) {
        ServerData server;
        server.id = i + 1;
        const int country = i % 150;
        server.country = QStringLiteral("Country %1").arg(country);
        server.countryCode = QStringLiteral("DE");
        server.continent = QStringLiteral("Continent %1").arg(country % 6);
        server.city = QStringLiteral("City %1").arg(i % 997);
        server.name = server.city;
        server.hostname = QStringLiteral("srv%1.vpn.example").arg(i);
        servers.append(server);
    }
    return servers;
}

void paintNow(ServersWindow &window)
{
    window.findChild<QListView *>(QStringLiteral("listViewServers"))->viewport()->repaint();
    QApplication::processEvents();
}

// The servers window over a main-window-sized parent, with a model of the given servers.
struct ShownWindow {
    explicit ShownWindow(const QVector<ServerData> &servers)
        : window(new ServersWindow(&parent))
        , model(new ServerListModel(servers, window))
    {
        parent.resize(411, 914);
        window->setModel(model);
        parent.show();
        window->show();
    }

    QWidget parent;
    ServersWindow *window;
    ServerListModel *model;
};

void BM_OpenAndFirstPaint(benchmark::State &state)
{
    const QVector<ServerData> servers = manyServers();
    for (auto _ : state) {
        ShownWindow shown(servers);
        benchmark::DoNotOptimize(shown.window->grab());
    }
}
BENCHMARK(BM_OpenAndFirstPaint)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_SearchKeystrokeWithRepaint(benchmark::State &state)
{
    ShownWindow shown(manyServers());
    paintNow(*shown.window);
    const QStringList typed = {"c", "co", "cou", "coun", "country 1", "country 12", ""};
    int next = 0;
    for (auto _ : state) {
        shown.model->setSearchText(typed.at(next++ % typed.size()));
        paintNow(*shown.window);
    }
}
BENCHMARK(BM_SearchKeystrokeWithRepaint)->Unit(benchmark::kMillisecond);

void BM_LatencySweepWhileShown(benchmark::State &state)
{
    for (auto _ : state) {
        state.PauseTiming();
        ShownWindow shown(manyServers());
        paintNow(*shown.window);
        state.ResumeTiming();
        for (int id = 1; id <= 10000; ++id) {
            ServerData server = shown.model->serverById(id);
            server.ping = 1 + (id * 7919) % 400;
            shown.model->updateServer(server);
            if (id % 50 == 0)
                QApplication::processEvents();
        }
        paintNow(*shown.window);
    }
}
BENCHMARK(BM_LatencySweepWhileShown)->Unit(benchmark::kMillisecond)->Iterations(2);

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    initResourceTree();
    registerServerDataMetaTypes();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
