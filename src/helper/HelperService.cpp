#include "helper/HelperService.h"

#include "helper/PolkitAuthority.h"
#include "platform/Resolvers.h"
#include "vpn/HelperInterface.h"
#include "vpn/LocalTunnelTools.h"
#include "vpn/WireGuardConfig.h"

#include <QCoreApplication>
#include <QDBusConnectionInterface>
#include <QDBusReply>
#include <QDebug>
#include <QHostAddress>
#include <QTimer>

namespace {

constexpr int toolTimeoutMs = 10000;
// Far more than two service hosts and a tunnel's peers ever resolve to.
constexpr int maximumAddresses = 64;

bool isPlainAddress(const QString &text)
{
    return !QHostAddress(text).isNull() && !text.contains(QLatin1Char('%'));
}

} // namespace

HelperService::HelperService(const QDBusConnection &bus, const QString &runtimeDirectory,
                             int idleExitMs, QObject *parent)
    : QObject(parent)
    , bus(bus)
    , authority(new PolkitAuthority(bus, this))
    , tools(new LocalTunnelTools(Platform::CommandSet::linux(),
                                 runtimeDirectory + QStringLiteral("/") +
                                     QLatin1String(Platform::CommandSet::tunnelName) +
                                     QStringLiteral(".conf"),
                                 this))
    , idleTimer(new QTimer(this))
{
    tools->setToolTimeout(toolTimeoutMs);
    connect(tools, &TunnelTools::installFinished, this,
            [this](int exitCode, const QString &errorText) {
                tunnelUp = exitCode == 0;
                if (!pendingInstalls.isEmpty())
                    reply(pendingInstalls.takeFirst(), {exitCode, errorText});
            });
    connect(tools, &TunnelTools::removalFinished, this, [this](bool removed) {
        tunnelUp = !removed;
        if (pendingRemovals.isEmpty())
            return;
        const QDBusMessage call = pendingRemovals.takeFirst();
        if (removed)
            reply(call);
        else
            replyError(call, QStringLiteral("org.corvane.Helper1.Error.Failed"),
                       QStringLiteral("The tunnel could not be removed"));
    });
    idleTimer->setSingleShot(true);
    idleTimer->setInterval(idleExitMs);
    connect(idleTimer, &QTimer::timeout, this, &HelperService::exitWhenIdle);
    idleTimer->start();
}

void HelperService::authorizeThen(const std::function<void(const QDBusMessage &)> &work)
{
    idleTimer->start();
    const QDBusMessage call = message();
    setDelayedReply(true);
    authority->check(call.service(), QLatin1String(HelperInterface::polkitAction),
                     [this, call, work](bool authorized) {
                         if (!authorized) {
                             replyError(call, QLatin1String(HelperInterface::notAuthorizedError),
                                        QStringLiteral("Not authorized to manage the tunnel"));
                             return;
                         }
                         work(call);
                     });
}

void HelperService::reply(const QDBusMessage &call, const QVariantList &values)
{
    bus.send(call.createReply(values));
    idleTimer->start();
}

void HelperService::replyError(const QDBusMessage &call, const QString &name, const QString &text)
{
    bus.send(call.createErrorReply(name, text));
    idleTimer->start();
}

int HelperService::Install(const QString &configuration, QString &errorText)
{
    authorizeThen([this, configuration](const QDBusMessage &call) {
        // The client reads it too; the helper never trusts that it did.
        const WireGuardConfig config = WireGuardConfig::read(configuration.toUtf8());
        if (!config.isValid()) {
            qWarning().noquote() << "WireGuard configuration refused:" << config.refusal();
            replyError(call, QLatin1String(HelperInterface::invalidArgumentsError),
                       QStringLiteral("Configuration refused: ") + config.refusal());
            return;
        }
        pendingInstalls.append(call);
        if (!tools->install(config.fileText())) {
            pendingInstalls.removeLast();
            reply(call, {-1, QStringLiteral("The configuration could not be written")});
        }
    });
    errorText.clear();
    return 0;
}

void HelperService::Remove()
{
    authorizeThen([this](const QDBusMessage &call) {
        pendingRemovals.append(call);
        tools->remove();
    });
}

QString HelperService::Transfer()
{
    authorizeThen(
        [this](const QDBusMessage &call) { reply(call, {tools->transfer(toolTimeoutMs)}); });
    return {};
}

QString HelperService::Handshakes()
{
    authorizeThen(
        [this](const QDBusMessage &call) { reply(call, {tools->handshakes(toolTimeoutMs)}); });
    return {};
}

void HelperService::PutKillSwitch(const QStringList &services, bool tunnel,
                                  const QStringList &peerEndpoints)
{
    authorizeThen([this, services, tunnel, peerEndpoints](const QDBusMessage &call) {
        if (services.size() > maximumAddresses || peerEndpoints.size() > maximumAddresses)
            return replyError(call, QLatin1String(HelperInterface::invalidArgumentsError),
                              QStringLiteral("Too many addresses"));
        Platform::KillSwitchRules rules;
        for (const auto &[texts, list] :
             {std::pair{&services, &rules.services}, std::pair{&peerEndpoints, &rules.peers}}) {
            for (const QString &text : *texts) {
                WireGuardConfig::Endpoint endpoint;
                if (!WireGuardConfig::readEndpoint(text, &endpoint) ||
                    !isPlainAddress(endpoint.host))
                    return replyError(call, QLatin1String(HelperInterface::invalidArgumentsError),
                                      QStringLiteral("Not an address and port: ") + text);
                list->append({endpoint.host, endpoint.port});
            }
        }
        // The services are open to the user who asked, as the bus knows them.
        const QDBusReply<uint> caller = bus.interface()->serviceUid(call.service());
        if (!caller.isValid())
            return replyError(call, QLatin1String(HelperInterface::invalidArgumentsError),
                              QStringLiteral("The caller is unknown"));
        rules.ownerUid = int(caller.value());
        rules.resolvers = Platform::configuredResolvers();
        if (tunnel)
            rules.tunnelInterface = QLatin1String(Platform::CommandSet::tunnelName);
        blockActive = tools->putKillSwitch(rules);
        if (!blockActive)
            return replyError(call, QStringLiteral("org.corvane.Helper1.Error.Failed"),
                              QStringLiteral("The firewall refused the block"));
        reply(call);
    });
}

void HelperService::LiftKillSwitch()
{
    authorizeThen([this](const QDBusMessage &call) {
        tools->liftKillSwitch();
        blockActive = false;
        reply(call);
    });
}

// With no tunnel and no block there is nothing to keep: the bus starts the helper again when
// it is next needed. A client that vanished leaves both as they are (fail closed).
void HelperService::exitWhenIdle()
{
    if (tunnelUp || blockActive || !pendingInstalls.isEmpty() || !pendingRemovals.isEmpty()) {
        idleTimer->start();
        return;
    }
    QCoreApplication::quit();
}
