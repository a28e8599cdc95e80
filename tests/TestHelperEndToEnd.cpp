#include "PrivateSystemBus.h"
#include "RealSystem.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>
#include <unistd.h>

// The real helper as root on a private system bus, a stand-in polkit authority, and the client
// as an unprivileged user (nobody), all in the client namespace of
// tests/helpers/with-tunnel-namespaces against the demo service and its real WireGuard peer.
class TestHelperEndToEnd : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();

    void connectsThroughTheHelper();
    void blockFromAHelperStartedWithNoEnvironment();
    void refusedByPolkit();
    void helperMissing();

private:
    // Starts one scenario of TestClientThroughHelper as nobody, its output read by the caller.
    void startClient(QProcess &client, const QString &scenario);
    // Runs one scenario to its end; true when it passed.
    bool runClient(const QString &scenario);
    static bool tunnelOrBlockLeft();

    std::unique_ptr<PrivateSystemBus> bus;
    QTemporaryDir runtimeDirectory;
    // The client program where nobody can run it, whatever folder the build lives in.
    QTemporaryDir clientFolder;
    QString clientProgram;
};

bool TestHelperEndToEnd::tunnelOrBlockLeft()
{
    return programOutput("ip", {"link", "show"}).contains("vpn_wg0") ||
           programOutput("nft", {"list", "tables"}).contains("VPNKillSwitch");
}

void TestHelperEndToEnd::initTestCase()
{
    QVERIFY2(::geteuid() == 0, "the helper runs as root");
    QVERIFY2(!qEnvironmentVariableIsEmpty("CORVANE_DEMO_SERVICE_LOG"),
             "run through tests/helpers/with-tunnel-namespaces with CORVANE_TUNNEL_SERVICE=demo");
    qputenv("RUNTIME_DIRECTORY", runtimeDirectory.path().toLocal8Bit());
    const QFileDevice::Permissions everyoneRuns = QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                  QFileDevice::ExeOwner | QFileDevice::ReadGroup |
                                                  QFileDevice::ExeGroup | QFileDevice::ReadOther |
                                                  QFileDevice::ExeOther;
    QVERIFY(QFile::setPermissions(clientFolder.path(), everyoneRuns));
    clientProgram = clientFolder.filePath("TestClientThroughHelper");
    QVERIFY(QFile::copy(CLIENT_TEST_PROGRAM, clientProgram));
    QVERIFY(QFile::setPermissions(clientProgram, everyoneRuns));
}

void TestHelperEndToEnd::cleanup()
{
    bus.reset();
    QVERIFY(!tunnelOrBlockLeft());
}

bool TestHelperEndToEnd::runClient(const QString &scenario)
{
    QProcess client;
    client.setProcessChannelMode(QProcess::ForwardedChannels);
    startClient(client, scenario);
    return client.waitForFinished(120000) && client.exitStatus() == QProcess::NormalExit &&
           client.exitCode() == 0;
}

void TestHelperEndToEnd::startClient(QProcess &client, const QString &scenario)
{
    auto *home = new QTemporaryDir;
    connect(&client, &QObject::destroyed, this, [home] { delete home; });
    const uint nobody = 65534;
    QVERIFY(::chown(QFile::encodeName(home->path()).constData(), nobody, nobody) == 0);
    QStringList environment{
        "PATH=/usr/sbin:/usr/bin:/sbin:/bin",
        "HOME=" + home->path(),
        "XDG_CONFIG_HOME=" + home->path() + "/config",
        "XDG_DATA_HOME=" + home->path() + "/data",
        "XDG_RUNTIME_DIR=" + home->path(),
        "QT_QPA_PLATFORM=offscreen",
        "DBUS_SYSTEM_BUS_ADDRESS=" + bus->address(),
    };
    for (const char *name : {"CORVANE_ACCOUNT_API_URL", "CORVANE_VPN_API_URL",
                             "CORVANE_ALLOW_INSECURE_HTTP", "ASAN_OPTIONS", "UBSAN_OPTIONS"})
        environment << QString::fromLatin1(name) + '=' + qEnvironmentVariable(name);
    environment << "CORVANE_BRAND_DOMAIN=corvane.example";

    client.start("setpriv", QStringList{"--reuid=65534", "--regid=65534", "--clear-groups",
                                        "--inh-caps=-all", "--", "env", "-i"} +
                                environment + QStringList{CLIENT_TEST_PROGRAM, scenario});
}

void TestHelperEndToEnd::connectsThroughTheHelper()
{
    bus = std::make_unique<PrivateSystemBus>(PrivateSystemBus::Helper::Activatable,
                                             PrivateSystemBus::Tools::System);
    QVERIFY2(bus->isRunning(), qPrintable(bus->log()));
    QVERIFY(runClient("connectsThroughTheHelper"));
    QVERIFY(!bus->polkitChecks().isEmpty());
    QVERIFY(bus->polkitChecks().first().startsWith("org.corvane.helper.manage-tunnel\t"));
}

// The real system bus starts the helper with no environment at all: no PATH. It still finds
// nft in the system's folders and the block is really in force.
void TestHelperEndToEnd::blockFromAHelperStartedWithNoEnvironment()
{
    bus = std::make_unique<PrivateSystemBus>(PrivateSystemBus::Helper::Activatable,
                                             PrivateSystemBus::Tools::System);
    QVERIFY2(bus->isRunning(), qPrintable(bus->log()));
    QProcess client;
    client.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    startClient(client, "killSwitchThroughTheHelper");
    QByteArray output;
    QVERIFY(QTest::qWaitFor(
        [&] {
            output += client.readAllStandardOutput();
            return output.contains("block in force") || client.state() == QProcess::NotRunning;
        },
        120000));
    QVERIFY2(output.contains("block in force"), output.constData());
    QVERIFY(
        programOutput("nft", {"list", "table", "inet", "VPNKillSwitch"}).contains("policy drop"));
    client.write("\n");
    QVERIFY(client.waitForFinished(60000));
    QCOMPARE(client.exitCode(), 0);
    QVERIFY(!programOutput("nft", {"list", "tables"}).contains("VPNKillSwitch"));
}

void TestHelperEndToEnd::refusedByPolkit()
{
    bus = std::make_unique<PrivateSystemBus>(PrivateSystemBus::Helper::Activatable,
                                             PrivateSystemBus::Tools::System);
    QVERIFY2(bus->isRunning(), qPrintable(bus->log()));
    bus->setPolkitAnswer(false);
    QVERIFY(runClient("refusedByPolkit"));
    QVERIFY(!bus->polkitChecks().isEmpty());
}

void TestHelperEndToEnd::helperMissing()
{
    bus = std::make_unique<PrivateSystemBus>(PrivateSystemBus::Helper::Missing);
    QVERIFY2(bus->isRunning(), qPrintable(bus->log()));
    QVERIFY(runClient("helperMissing"));
    QVERIFY(bus->polkitChecks().isEmpty());
}

QTEST_GUILESS_MAIN(TestHelperEndToEnd)
#include "TestHelperEndToEnd.moc"
