#include "ClientSetUp.h"
#include "FakePrograms.h"
#include "PrivateSystemBus.h"
#include "SampleConfig.h"
#include "vpn/HelperInterface.h"
#include "vpn/HelperTunnelTools.h"
#include "vpn/VpnManager.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDir>
#include <QProcess>
#include <QStandardPaths>
#include <QXmlStreamReader>
#include <QtTest>

#include <algorithm>
#include <memory>

#include <unistd.h>

namespace {

// Each method of the helper's interface in an introspection document, with its arguments'
// directions and types ("in s", "out i"): the ins in order, then the outs in order (D-Bus orders
// each on its own; Qt lists a return value first).
QMap<QString, QStringList> helperMethods(const QString &introspection)
{
    QMap<QString, QStringList> methods;
    QXmlStreamReader reader(introspection);
    bool inHelper = false;
    QString method;
    while (!reader.atEnd()) {
        reader.readNext();
        if (reader.isEndElement() && reader.name() == QLatin1String("interface"))
            inHelper = false;
        if (!reader.isStartElement())
            continue;
        const QXmlStreamAttributes attributes = reader.attributes();
        if (reader.name() == QLatin1String("interface")) {
            inHelper = attributes.value("name") == QLatin1String(HelperInterface::interfaceName);
        } else if (inHelper && reader.name() == QLatin1String("method")) {
            method = attributes.value("name").toString();
            methods[method];
        } else if (inHelper && reader.name() == QLatin1String("arg")) {
            const QString direction = attributes.hasAttribute("direction")
                                          ? attributes.value("direction").toString()
                                          : QStringLiteral("in");
            methods[method] << direction + ' ' + attributes.value("type").toString();
        }
    }
    for (QStringList &arguments : methods)
        std::stable_sort(arguments.begin(), arguments.end(),
                         [](const QString &a, const QString &b) {
                             return a.startsWith("in ") && b.startsWith("out ");
                         });
    return methods;
}

} // namespace

// The helper as the bus starts it, with fake tools on its PATH, called over a private system
// bus whose polkit authority answers as each test says.
class TestHelperService : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanupTestCase();

    void installsAValidConfigurationInItsOwnFolder();
    void refusesAHookSentWithDbusSend();
    void refusedCallsChangeNothing_data();
    void refusedCallsChangeNothing();
    void killSwitchArgumentsAreChecked_data();
    void killSwitchArgumentsAreChecked();
    void transferIsTheToolsOutput_data();
    void transferIsTheToolsOutput();
    void exitsWhenIdleWithNothingToKeep();
    void aVanishedClientLeavesTheBlockInForce();
    void readingNeverAsksAndLiftingHasItsOwnAction();
    void anotherUserNeedsAnAdministrator_data();
    void anotherUserNeedsAnAdministrator();
    void busInterfaceIsTheContract();
    void firewallStepsKeepTheirOrderWhileAPasswordIsAwaited();
    void aTunnelWaitsForTheAnswerToItsBlock();

private:
    // The helper called by another user (nobody) with dbus-send; true when it answered well.
    static bool callAsAnotherUser(const QString &method);
    static QDBusMessage call(const char *method, const QVariantList &arguments = {});
    QStringList nftCalls() const { return fakes->calls().filter(QRegularExpression("^nft\\t")); }

    std::unique_ptr<FakePrograms> fakes;
    std::unique_ptr<PrivateSystemBus> bus;
    QTemporaryDir runtimeDirectory;
};

QDBusMessage TestHelperService::call(const char *method, const QVariantList &arguments)
{
    QDBusMessage message =
        QDBusMessage::createMethodCall(HelperInterface::serviceName, HelperInterface::objectPath,
                                       HelperInterface::interfaceName, method);
    message.setArguments(arguments);
    return QDBusConnection::systemBus().call(message, QDBus::Block, 20000);
}

void TestHelperService::initTestCase()
{
    // The helper inherits this environment when the bus starts it: fakes, a runtime folder.
    fakes = std::make_unique<FakePrograms>();
    fakes->script("wg", "STDOUT", "key\t1000\t500\n");
    fakes->script("wg", "STDOUT_FOR_LATEST_HANDSHAKES", "key\t1760000000\n");
    qputenv("RUNTIME_DIRECTORY", runtimeDirectory.path().toLocal8Bit());
    bus = std::make_unique<PrivateSystemBus>();
    QVERIFY2(bus->isRunning(), qPrintable(bus->log()));
}

void TestHelperService::init()
{
    bus->setPolkitAnswer(true);
}

void TestHelperService::cleanupTestCase()
{
    bus.reset();
    fakes.reset();
    qunsetenv("RUNTIME_DIRECTORY");
}

void TestHelperService::installsAValidConfigurationInItsOwnFolder()
{
    const QString file = runtimeDirectory.filePath("vpn_wg0.conf");
    const QDBusMessage reply = call("Install", {QString::fromUtf8(sampleConfig())});
    QCOMPARE(reply.type(), QDBusMessage::ReplyMessage);
    QCOMPARE(reply.arguments(), QVariantList({0, QString()}));
    QVERIFY(fakes->calls().contains("wg-quick\tup\t" + file));
    QFile written(file);
    QVERIFY(written.open(QIODevice::ReadOnly));
    QVERIFY(written.readAll().contains("MTU = 1420"));
    QCOMPARE(int(written.permissions() & 0x0077), 0);

    QCOMPARE(call("Remove").type(), QDBusMessage::ReplyMessage);
    QCOMPARE(fakes->calls().last(), "wg-quick\tdown\t" + file);
    QVERIFY(!QFile::exists(file));
    // Every call was put to polkit, for the caller's own bus name.
    const QString self = QDBusConnection::systemBus().baseService();
    const QStringList checks = bus->polkitChecks();
    QVERIFY(checks.size() >= 2);
    for (const QString &check : checks)
        QCOMPARE(check, "org.corvane.helper.manage-tunnel\tsystem-bus-name\t" + self + "\t1");
}

// A configuration the client would refuse too, sent straight over the bus.
void TestHelperService::refusesAHookSentWithDbusSend()
{
    const int before = fakes->calls().size();
    QProcess send;
    send.start(QStandardPaths::findExecutable("dbus-send", {"/usr/bin", "/bin"}),
               {"--system", "--print-reply", "--dest=org.corvane.Helper1", "/org/corvane/Helper1",
                "org.corvane.Helper1.Install",
                "string:" + QString::fromUtf8(sampleConfig()) + "PostUp = touch /tmp/x\n"});
    QVERIFY(send.waitForFinished(20000));
    QVERIFY(send.exitCode() != 0);
    QVERIFY2(send.readAllStandardError().contains("org.corvane.Helper1.Error.InvalidArguments"),
             "refused as invalid");
    QCOMPARE(fakes->calls().size(), before);
    QVERIFY(!QFile::exists(runtimeDirectory.filePath("vpn_wg0.conf")));
}

void TestHelperService::refusedCallsChangeNothing_data()
{
    QTest::addColumn<QString>("method");
    QTest::addColumn<QVariantList>("arguments");
    QTest::newRow("Install") << "Install" << QVariantList{QString::fromUtf8(sampleConfig())};
    QTest::newRow("Remove") << "Remove" << QVariantList{};
    QTest::newRow("Transfer") << "Transfer" << QVariantList{};
    QTest::newRow("Handshakes") << "Handshakes" << QVariantList{};
    QTest::newRow("PutKillSwitch")
        << "PutKillSwitch" << QVariantList{QStringList{"192.0.2.1:443"}, false, QStringList{}};
    QTest::newRow("LiftKillSwitch") << "LiftKillSwitch" << QVariantList{};
}

void TestHelperService::refusedCallsChangeNothing()
{
    QFETCH(QString, method);
    QFETCH(QVariantList, arguments);
    bus->setPolkitAnswer(false);
    const int before = fakes->calls().size();
    const QDBusMessage reply = call(method.toLatin1().constData(), arguments);
    QCOMPARE(reply.type(), QDBusMessage::ErrorMessage);
    QCOMPARE(reply.errorName(), QString(HelperInterface::notAuthorizedError));
    QCOMPARE(fakes->calls().size(), before);
}

void TestHelperService::killSwitchArgumentsAreChecked_data()
{
    QTest::addColumn<QStringList>("services");
    QTest::addColumn<QStringList>("peers");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("addresses") << QStringList{"192.0.2.1:443", "[2001:db8::1]:8000"}
                               << QStringList{"198.51.100.7:51820", "[2001:db8::7]:443"} << true;
    QTest::newRow("a word after an address")
        << QStringList{"192.0.2.1:443 accept"} << QStringList{} << false;
    QTest::newRow("a rule in a service")
        << QStringList{"192.0.2.1:443 }\nchain x {"} << QStringList{} << false;
    QTest::newRow("scope") << QStringList{"[fe80::1%eth0]:443"} << QStringList{} << false;
    QTest::newRow("service without port") << QStringList{"192.0.2.1"} << QStringList{} << false;
    QTest::newRow("service by name") << QStringList{"api.example:443"} << QStringList{} << false;
    QTest::newRow("peer by name") << QStringList{} << QStringList{"vpn.example:51820"} << false;
    QTest::newRow("peer without port") << QStringList{} << QStringList{"198.51.100.7"} << false;
    QStringList many;
    for (int i = 0; i < 65; ++i)
        many << QStringLiteral("192.0.2.%1:443").arg(i);
    QTest::newRow("more addresses than any service has") << many << QStringList{} << false;
}

void TestHelperService::killSwitchArgumentsAreChecked()
{
    QFETCH(QStringList, services);
    QFETCH(QStringList, peers);
    QFETCH(bool, accepted);
    const int before = nftCalls().size();
    const QDBusMessage reply = call("PutKillSwitch", {services, true, peers});
    QCOMPARE(reply.type() == QDBusMessage::ReplyMessage, accepted);
    QCOMPARE(nftCalls().size(), before + (accepted ? 1 : 0));
    if (!accepted) {
        QCOMPARE(reply.errorName(), QString(HelperInterface::invalidArgumentsError));
        return;
    }
    const QString rules = nftCalls().last();
    QVERIFY(rules.contains("oifname \"vpn_wg0\" accept"));
    QVERIFY(rules.contains("ip daddr 198.51.100.7 udp dport 51820 accept"));
    QVERIFY(rules.contains("ip6 daddr 2001:db8::7 udp dport 443 accept"));
    // Open to the caller's own user, whoever the call says it is.
    const QString owner = QStringLiteral(" meta skuid %1 accept").arg(::getuid());
    QVERIFY(rules.contains("ip daddr { 192.0.2.1 } tcp dport 443" + owner));
    QVERIFY(rules.contains("ip6 daddr { 2001:db8::1 } tcp dport 8000" + owner));
    QCOMPARE(call("LiftKillSwitch").type(), QDBusMessage::ReplyMessage);
}

void TestHelperService::transferIsTheToolsOutput_data()
{
    QTest::addColumn<QString>("method");
    QTest::addColumn<QString>("output");
    QTest::addColumn<QString>("toolCall");
    QTest::newRow("Transfer") << "Transfer"
                              << "key\t1000\t500\n"
                              << "wg\tshow\tvpn_wg0\ttransfer";
    QTest::newRow("Handshakes") << "Handshakes"
                                << "key\t1760000000\n"
                                << "wg\tshow\tvpn_wg0\tlatest-handshakes";
}

// The tools' own answers, read through the helper.
void TestHelperService::transferIsTheToolsOutput()
{
    QFETCH(QString, method);
    QFETCH(QString, output);
    QFETCH(QString, toolCall);
    const QDBusMessage reply = call(qPrintable(method));
    QCOMPARE(reply.type(), QDBusMessage::ReplyMessage);
    QCOMPARE(reply.arguments().value(0).toString(), output);
    QCOMPARE(fakes->calls().last(), toolCall);
}

// A block in force keeps the helper; with nothing to keep it leaves, and the bus starts it again.
void TestHelperService::exitsWhenIdleWithNothingToKeep()
{
    QCOMPARE(call("PutKillSwitch", {QStringList{"192.0.2.1:443"}, false, QStringList{}}).type(),
             QDBusMessage::ReplyMessage);
    const qint64 helper = bus->helperProcessId();
    QVERIFY(helper > 0);
    QTest::qWait(1500);
    QCOMPARE(bus->helperProcessId(), helper);
    QCOMPARE(call("LiftKillSwitch").type(), QDBusMessage::ReplyMessage);
    QTRY_COMPARE_WITH_TIMEOUT(bus->helperProcessId(), qint64(0), 5000);
    QCOMPARE(call("Transfer").type(), QDBusMessage::ReplyMessage);
    QVERIFY(bus->helperProcessId() > 0);
}

// Fail closed: a client that disappears without lifting its block (a crash) leaves it in force.
void TestHelperService::aVanishedClientLeavesTheBlockInForce()
{
    {
        QDBusConnection client =
            QDBusConnection::connectToBus(QDBusConnection::SystemBus, "vanishing-client");
        QDBusMessage put = QDBusMessage::createMethodCall(
            HelperInterface::serviceName, HelperInterface::objectPath,
            HelperInterface::interfaceName, "PutKillSwitch");
        put.setArguments({QStringList{"192.0.2.1:443"}, false, QStringList{}});
        QCOMPARE(client.call(put, QDBus::Block, 20000).type(), QDBusMessage::ReplyMessage);
    }
    QDBusConnection::disconnectFromBus("vanishing-client");
    const int before = nftCalls().size();
    const qint64 helper = bus->helperProcessId();
    QTest::qWait(1500);
    QCOMPARE(bus->helperProcessId(), helper);
    QCOMPARE(nftCalls().size(), before);
    QCOMPARE(call("LiftKillSwitch").type(), QDBusMessage::ReplyMessage);
}

bool TestHelperService::callAsAnotherUser(const QString &method)
{
    // By full path: only the fakes are on PATH.
    const QStringList systemFolders{"/usr/bin", "/bin"};
    QProcess send;
    send.start(QStandardPaths::findExecutable("setpriv", systemFolders),
               {"--reuid=65534", "--regid=65534", "--clear-groups",
                QStandardPaths::findExecutable("dbus-send", systemFolders), "--system",
                "--print-reply", "--dest=org.corvane.Helper1", "/org/corvane/Helper1",
                "org.corvane.Helper1." + method});
    return send.waitForFinished(20000) && send.exitStatus() == QProcess::NormalExit &&
           send.exitCode() == 0;
}

void TestHelperService::readingNeverAsksAndLiftingHasItsOwnAction()
{
    QCOMPARE(call("Transfer").type(), QDBusMessage::ReplyMessage);
    QCOMPARE(call("Handshakes").type(), QDBusMessage::ReplyMessage);
    QCOMPARE(call("LiftKillSwitch").type(), QDBusMessage::ReplyMessage);
    const QStringList checks = bus->polkitChecks().mid(bus->polkitChecks().size() - 3);
    QVERIFY(checks.at(0).startsWith("org.corvane.helper.manage-tunnel\t"));
    QVERIFY(checks.at(0).endsWith("\t0"));
    QVERIFY(checks.at(1).endsWith("\t0"));
    QVERIFY(checks.at(2).startsWith("org.corvane.helper.lift-kill-switch\t"));
    QVERIFY(checks.at(2).endsWith("\t1"));
}

void TestHelperService::anotherUserNeedsAnAdministrator_data()
{
    QTest::addColumn<QString>("method");
    QTest::addColumn<QString>("tool");
    QTest::newRow("Remove after an install") << "Remove"
                                             << "wg-quick";
    QTest::newRow("LiftKillSwitch after a block") << "LiftKillSwitch"
                                                  << "nft";
}

// What one user put in place another may change only with an administrator's word.
void TestHelperService::anotherUserNeedsAnAdministrator()
{
    QFETCH(QString, method);
    QFETCH(QString, tool);
    if (method == "Remove")
        QCOMPARE(call("Install", {QString::fromUtf8(sampleConfig())}).arguments(),
                 QVariantList({0, QString()}));
    else
        QCOMPARE(call("PutKillSwitch", {QStringList{"192.0.2.1:443"}, false, QStringList{}}).type(),
                 QDBusMessage::ReplyMessage);
    const auto toolCalls = [&] {
        return fakes->calls().filter(QRegularExpression("^" + tool + "\t")).size();
    };
    const int before = toolCalls();
    bus->setPolkitAnswer(true, "org.corvane.helper.manage-others-tunnel", false);
    QVERIFY(!callAsAnotherUser(method));
    QCOMPARE(toolCalls(), before);
    QVERIFY(bus->polkitChecks().last().startsWith("org.corvane.helper.manage-others-tunnel\t"));

    bus->setPolkitAnswer(true, "org.corvane.helper.manage-others-tunnel", true);
    QVERIFY(callAsAnotherUser(method));
    QCOMPARE(toolCalls(), before + 1);
}

// What the helper answers on the bus is the interface its contract file describes, from which
// the client's proxy is generated.
void TestHelperService::busInterfaceIsTheContract()
{
    QFile contract(QStringLiteral(CORVANE_HELPER_CONTRACT));
    QVERIFY(contract.open(QIODevice::ReadOnly));
    const QMap<QString, QStringList> described =
        helperMethods(QString::fromUtf8(contract.readAll()));
    QCOMPARE(described.size(), 6);

    const QDBusMessage reply = QDBusConnection::systemBus().call(
        QDBusMessage::createMethodCall(HelperInterface::serviceName, HelperInterface::objectPath,
                                       "org.freedesktop.DBus.Introspectable", "Introspect"),
        QDBus::Block, 20000);
    QCOMPARE(reply.type(), QDBusMessage::ReplyMessage);
    const QMap<QString, QStringList> answered = helperMethods(reply.arguments().first().toString());
    for (auto it = described.begin(); it != described.end(); ++it)
        QVERIFY2(answered.value(it.key()) == it.value(),
                 qPrintable(it.key() + " answers " + answered.value(it.key()).join(", ")));
    QCOMPARE(answered.keys(), described.keys());
}

// The member is asked for a password before the block goes up, and turns the switch off
// meanwhile: the call returns at once, and the lift, though allowed without asking, follows the
// block rather than overtaking it.
void TestHelperService::firewallStepsKeepTheirOrderWhileAPasswordIsAwaited()
{
    bus->setPolkitAnswer(true, "org.corvane.helper.manage-tunnel", true, 1500);
    HelperTunnelTools tools;
    QSignalSpy put(&tools, &TunnelTools::killSwitchPut);
    QSignalSpy lifted(&tools, &TunnelTools::killSwitchLifted);
    Platform::KillSwitchRules rules;
    rules.services.append({"192.0.2.1", 443});
    const int before = nftCalls().size();
    tools.putKillSwitch(rules);
    tools.liftKillSwitch();
    QCOMPARE(put.count(), 0);
    QTRY_COMPARE_WITH_TIMEOUT(lifted.count(), 1, 20000);
    QCOMPARE(put.count(), 1);
    QCOMPARE(put.first().at(0).toBool(), true);
    QCOMPARE(lifted.first().at(0).toBool(), true);
    const QStringList calls = nftCalls().mid(before);
    QCOMPARE(calls.size(), 2);
    QVERIFY2(calls.first().contains("chain output"), qPrintable(calls.first()));
    QVERIFY2(!calls.last().contains("chain output"), qPrintable(calls.last()));
}

// With the switch on, the tunnel's block (which lets its peer through) is in force before the
// tunnel is handed over: while the member is asked for the block's password, nothing else is
// asked of the helper.
void TestHelperService::aTunnelWaitsForTheAnswerToItsBlock()
{
    QTemporaryDir home;
    keepClientFilesUnder(home);
    const auto tunnelChecks = [this] {
        return bus->polkitChecks()
            .filter(QRegularExpression("^org.corvane.helper.manage-tunnel\t"))
            .size();
    };
    VpnManager::setToolsFactory([](const Platform::CommandSet &, const QString &) -> TunnelTools * {
        return new HelperTunnelTools;
    });
    VpnManager tunnel(nullptr, Platform::CommandSet::linux());
    tunnel.setKillSwitchEnabled(true);
    QTRY_VERIFY_WITH_TIMEOUT(tunnel.isKillSwitchActive(), 20000);
    bus->setPolkitAnswer(true, "org.corvane.helper.manage-tunnel", true, 1500);
    const int before = tunnelChecks();
    tunnel.changeConnectionState(ConnectionState::Connecting, sampleConfig());
    QTRY_COMPARE_WITH_TIMEOUT(tunnelChecks(), before + 1, 10000);
    QTest::qWait(500);
    QCOMPARE(tunnelChecks(), before + 1);
    QTRY_COMPARE_WITH_TIMEOUT(tunnel.connectionState(), int(ConnectionState::Connected), 20000);
    QCOMPARE(tunnelChecks(), before + 2);

    bus->setPolkitAnswer(true);
    tunnel.changeConnectionState(ConnectionState::Disconnecting);
    QTRY_COMPARE_WITH_TIMEOUT(tunnel.connectionState(), int(ConnectionState::Disconnected), 20000);
    tunnel.setKillSwitchEnabled(false);
    QTRY_VERIFY_WITH_TIMEOUT(!tunnel.isKillSwitchChanging(), 20000);
    VpnManager::setToolsFactory({});
}

QTEST_GUILESS_MAIN(TestHelperService)
#include "TestHelperService.moc"
