#include "ClientSetUp.h"
#include "FakePrograms.h"
#include "SampleConfig.h"
#include "controllers/ConnectionController.h"
#include "platform/NetworkMonitor.h"
#include "platform/SleepMonitor.h"
#include "storage/AppSettings.h"
#include "vpn/VpnManager.h"

#include <QHash>
#include <QMetaEnum>
#include <QSettings>
#include <QtTest>

#include <memory>

namespace {

const char *const cities[] = {"Alpha", "Bravo", "Charlie", "Delta"};

// Four listed servers, 127.0.1.1 to 127.0.1.4, measured at 10 to 40 ms in that order.
QHash<int, ServerData> fourServers()
{
    QHash<int, ServerData> servers;
    for (int id = 1; id <= 4; ++id) {
        ServerData record;
        record.id = id;
        record.name = record.city = QLatin1String(cities[id - 1]);
        record.serverIp = QStringLiteral("127.0.1.%1").arg(id);
        record.ping = id * 10;
        servers.insert(id, record);
    }
    return servers;
}

QString stateName(ConnectionController::State state)
{
    return QLatin1String(QMetaEnum::fromType<ConnectionController::State>().valueToKey(int(state)));
}

} // namespace

// The connection's decisions without a page: each row is what the member and the machine do,
// and what the controller says to the page, the service and the tunnel in return. The tunnel is
// the real one, over fake tools.
class TestConnectionController : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void decisions_data();
    void decisions();
    void theLocationOfferedNextTime_data();
    void theLocationOfferedNextTime();
    void latenciesAreMeasuredWhileSignedIn();

private:
    void apply(const QString &step);
    // The tunnel neither comes up, goes down nor changes its block.
    void waitForTheTunnel();

    QTemporaryDir dataHome;
    std::unique_ptr<FakePrograms> fakes;
    std::unique_ptr<VpnManager> tunnel;
    std::unique_ptr<NetworkMonitor> network;
    std::unique_ptr<SleepMonitor> sleep;
    std::unique_ptr<ConnectionController> controller;
    QHash<int, ServerData> listed;
    QVector<ServerData> inListOrder() const;
    QStringList log;
    bool waitAfterStep = true;
};

void TestConnectionController::initTestCase()
{
    runToolsFromPath();
    qputenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent/corvane-test-bus");
    keepClientFilesUnder(dataHome);
}

void TestConnectionController::init()
{
    QSettings(QSettings::NativeFormat, QSettings::UserScope, "Ostrel Limited", "Corvane").clear();
    fakes = std::make_unique<FakePrograms>();
    tunnel = std::make_unique<VpnManager>();
    network = std::make_unique<NetworkMonitor>();
    sleep = std::make_unique<SleepMonitor>();
    controller = std::make_unique<ConnectionController>(tunnel.get(), network.get(), sleep.get());
    listed = fourServers();
    controller->setServerLookup([this](int id) {
        return listed.contains(id) ? std::optional<ServerData>(listed.value(id)) : std::nullopt;
    });
    log.clear();
    waitAfterStep = true;

    using C = ConnectionController;
    connect(controller.get(), &C::stateChanged, this,
            [this](C::State state) { log << stateName(state); });
    connect(controller.get(), &C::currentServerChanged, this,
            [this](const ServerData &server) { log << "at " + server.city; });
    connect(controller.get(), &C::requestVpnConnect, this,
            [this](const QString &ip) { log << "ask " + ip; });
    connect(controller.get(), &C::requestVpnDisconnect, this, [this] { log << "withdraw"; });
    connect(controller.get(), &C::requestPings, this,
            [this](const QVector<QPair<int, QString>> &requests) {
                log << QStringLiteral("sweep %1").arg(requests.size());
            });
    connect(
        controller.get(), &C::serverAbandoned, this,
        [this](const QString &from, const QString &to) { log << "left " + from + " for " + to; });
    connect(controller.get(), &C::linkConditionChanged, this,
            [this](ConnectionState::LinkCondition condition) {
                const char *const names[] = {"link normal", "link unstable", "no network"};
                log << QLatin1String(names[int(condition)]);
            });

    // Signed in with Alpha, the first listed, current; what that says is the rows' common start.
    controller->setServers(inListOrder());
    waitForTheTunnel();
    log.clear();
}

QVector<ServerData> TestConnectionController::inListOrder() const
{
    QVector<ServerData> servers;
    for (int id = 1; id <= listed.size(); ++id)
        servers.append(listed.value(id));
    return servers;
}

void TestConnectionController::cleanup()
{
    controller.reset();
    tunnel.reset();
    sleep.reset();
    network.reset();
    fakes.reset();
}

void TestConnectionController::waitForTheTunnel()
{
    QTRY_VERIFY_WITH_TIMEOUT(tunnel->connectionState() != ConnectionState::Connecting &&
                                 tunnel->connectionState() != ConnectionState::Disconnecting &&
                                 !tunnel->isRemovalUnderWay() && !tunnel->isKillSwitchChanging(),
                             10000);
}

void TestConnectionController::apply(const QString &step)
{
    const QStringList words = step.split(' ');
    const QString what = words.first();
    const auto nextToolCall = [this](const QString &tool) {
        return QString::number(fakes->callsOf(tool).size() + 1);
    };
    if (what == "toggle") {
        controller->toggleConnection();
    } else if (what == "config") {
        controller->configurationReceived(words.value(1) == "PostUp"
                                              ? sampleConfig() + "PostUp = touch /tmp/x\n"
                                              : sampleConfig());
    } else if (what == "fail") {
        controller->configurationFailed();
    } else if (what == "choose") {
        controller->setCurrentServer(words.at(1).toInt());
    } else if (what == "pick") {
        controller->chooseServer(words.at(1).toInt(), words.value(2) == "connect");
    } else if (what == "favourites") {
        AppSettings::setSwitchState(AppSettings::AutoConnect, true);
        controller->favoritesArrived();
    } else if (what == "unmeasured") {
        listed[words.at(1).toInt()].ping = 0;
    } else if (what == "slow") {
        // The next removal takes a while, and the next step comes while it runs.
        fakes->script("wg-quick", "DELAY_MS_" + nextToolCall("wg-quick"), "500");
        waitAfterStep = false;
        return;
    } else if (what == "upFails") {
        fakes->script("wg-quick", "EXIT_" + nextToolCall("wg-quick"), "1");
    } else if (what == "blockFails") {
        fakes->script("nft", "EXIT", "1");
    } else if (what == "switchOn") {
        controller->setKillSwitchEnabled(true);
    } else if (what == "offline" || what == "online") {
        emit network->onlineChanged(what == "online");
    } else if (what == "route") {
        emit network->routeChanged();
    } else if (what == "wake") {
        emit sleep->resumed();
    } else if (what == "dead") {
        emit tunnel->tunnelDead();
    } else if (what == "logout") {
        controller->logOut();
    } else {
        QFAIL(qPrintable("unknown step " + step));
    }
    if (std::exchange(waitAfterStep, true))
        waitForTheTunnel();
}

void TestConnectionController::decisions_data()
{
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QStringList>("said");

    QTest::newRow("connect, then disconnect")
        << QStringList{"toggle", "config", "toggle"}
        << QStringList{"Connecting",    "ask 127.0.1.1", "Connected",
                       "Disconnecting", "Disconnected",  "withdraw"};
    QTest::newRow("fallback tries three others, fastest first, then errs")
        << QStringList{"choose 3", "toggle", "fail", "fail", "fail", "fail"}
        << QStringList{"at Charlie",    "Disconnecting", "Disconnected",  "Connecting",
                       "ask 127.0.1.3", "at Alpha",      "ask 127.0.1.1", "at Charlie",
                       "ask 127.0.1.3", "at Delta",      "ask 127.0.1.4", "Error"};
    QTest::newRow("fallback passes over servers not measured")
        << QStringList{"unmeasured 2", "unmeasured 3", "toggle", "fail", "fail"}
        << QStringList{"Connecting", "ask 127.0.1.1", "at Delta", "ask 127.0.1.4", "Error"};
    QTest::newRow("a success starts the fallback's count again")
        << QStringList{"toggle", "fail", "config", "toggle", "toggle",
                       "fail",   "fail", "fail",   "fail"}
        << QStringList{"Connecting", "ask 127.0.1.1", "at Bravo",     "ask 127.0.1.2",
                       "Connected",  "Disconnecting", "Disconnected", "withdraw",
                       "Connecting", "ask 127.0.1.2", "at Alpha",     "ask 127.0.1.1",
                       "at Charlie", "ask 127.0.1.3", "at Delta",     "ask 127.0.1.4",
                       "Error"};
    QTest::newRow("a configuration that would run a command falls back")
        << QStringList{"toggle", "config PostUp"}
        << QStringList{"Connecting", "ask 127.0.1.1", "at Bravo", "ask 127.0.1.2"};
    QTest::newRow("a tunnel that does not come up withdraws its configuration")
        << QStringList{"upFails", "toggle", "config"}
        << QStringList{"Connecting", "ask 127.0.1.1", "Error", "withdraw"};
    QTest::newRow("a new location while connected reconnects once the tunnel is gone")
        << QStringList{"toggle", "config", "choose 2", "config"}
        << QStringList{"Connecting", "ask 127.0.1.1", "Connected",     "at Bravo", "Disconnected",
                       "withdraw",   "Connecting",    "ask 127.0.1.2", "Connected"};
    QTest::newRow("a choice during a removal is ignored")
        << QStringList{"slow", "choose 2", "pick 3 connect"}
        << QStringList{"at Bravo", "Disconnecting", "Disconnected"};
    QTest::newRow("auto-connect during a removal connects once it is done")
        << QStringList{"slow", "choose 2", "favourites", "favourites"}
        << QStringList{"at Bravo", "Disconnecting", "Disconnected", "Connecting", "ask 127.0.1.2"};
    QTest::newRow("auto-connect while connecting asks nothing more")
        << QStringList{"toggle", "favourites"} << QStringList{"Connecting", "ask 127.0.1.1"};
    QTest::newRow("picking with connect asks at once")
        << QStringList{"pick 4 connect"}
        << QStringList{"at Delta", "Disconnecting", "Disconnected", "Connecting", "ask 127.0.1.4"};
    QTest::newRow("log-out ends the tunnel and every reconnect")
        << QStringList{"toggle", "config",     "offline", "logout",
                       "online", "favourites", "wake",    "route"}
        << QStringList{"Connecting",    "ask 127.0.1.1", "Connected",  "no network",
                       "Disconnecting", "Disconnected",  "link normal"};
    QTest::newRow("no network: the connect waits for it")
        << QStringList{"offline", "toggle", "online"}
        << QStringList{"no network", "no network", "link normal", "Connecting", "ask 127.0.1.1"};
    QTest::newRow("a request lost with the network is asked again, without fallback")
        << QStringList{"toggle", "offline", "fail", "online"}
        << QStringList{"Connecting",  "ask 127.0.1.1", "no network",   "Error",
                       "link normal", "Connecting",    "ask 127.0.1.1"};
    QTest::newRow("connected when the network went: nothing to redo while still connected")
        << QStringList{"toggle", "config", "offline", "online"}
        << QStringList{"Connecting", "ask 127.0.1.1", "Connected", "no network", "link normal"};
    QTest::newRow("a server that stopped answering is left for the fastest other")
        << QStringList{"choose 3", "toggle", "config", "dead", "config"}
        << QStringList{"at Charlie",
                       "Disconnecting",
                       "Disconnected",
                       "Connecting",
                       "ask 127.0.1.3",
                       "Connected",
                       "left Charlie for Alpha",
                       "at Alpha",
                       "Disconnected",
                       "withdraw",
                       "Connecting",
                       "ask 127.0.1.1",
                       "Connected"};
    QTest::newRow("a dead server is kept while there is no network")
        << QStringList{"toggle", "config", "offline", "dead"}
        << QStringList{"Connecting", "ask 127.0.1.1", "Connected", "no network"};
    QTest::newRow("a dead server with no other measured is kept")
        << QStringList{"unmeasured 2", "unmeasured 3", "unmeasured 4", "toggle", "config", "dead"}
        << QStringList{"Connecting", "ask 127.0.1.1", "Connected"};
    QTest::newRow("a block that cannot be put stops the connect")
        << QStringList{"blockFails", "switchOn", "toggle"} << QStringList{"Error"};
    QTest::newRow("waking and a new route measure every server again")
        << QStringList{"wake", "route"} << QStringList{"sweep 4", "sweep 4"};
}

void TestConnectionController::decisions()
{
    QFETCH(QStringList, steps);
    for (const QString &step : qAsConst(steps)) {
        apply(step);
        if (QTest::currentTestFailed())
            return;
    }
    QFETCH(QStringList, said);
    // As one line each, so that a failure shows the whole story.
    QCOMPARE(log.join(" | "), said.join(" | "));
}

void TestConnectionController::theLocationOfferedNextTime_data()
{
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<int>("stored");
    QTest::newRow("the list's first, at the start") << QStringList() << 1;
    QTest::newRow("the member's choice") << QStringList{"choose 3"} << 3;
    QTest::newRow("the server a fallback reached") << QStringList{"toggle", "fail"} << 2;
    QTest::newRow("not the server that replaced a dead one")
        << QStringList{"choose 3", "toggle", "config", "dead"} << 3;
}

void TestConnectionController::theLocationOfferedNextTime()
{
    QFETCH(QStringList, steps);
    QFETCH(int, stored);
    for (const QString &step : qAsConst(steps))
        apply(step);
    // The location is written a turn after it was chosen.
    QTest::qWait(20);
    QCOMPARE(AppSettings::value(AppSettings::LastServerId).toInt(), stored);
}

// The five-minute refresh runs between a server list and the log-out, and never after.
void TestConnectionController::latenciesAreMeasuredWhileSignedIn()
{
    controller->setLatencyRefreshInterval(50);
    controller->setServers(inListOrder());
    QTRY_VERIFY_WITH_TIMEOUT(log.count("sweep 4") >= 3, 5000);
    controller->logOut();
    waitForTheTunnel();
    log.clear();
    QTest::qWait(200);
    QVERIFY(!log.contains("sweep 4"));
}

QTEST_GUILESS_MAIN(TestConnectionController)
#include "TestConnectionController.moc"
