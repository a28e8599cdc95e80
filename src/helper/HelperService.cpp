#include "helper/HelperService.h"

#include "HelperAdaptor.h"

#include "helper/PolkitAuthority.h"
#include "platform/Resolvers.h"
#include "types/LogCategories.h"
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
    new HelperAdaptor(this);
    tools->setToolTimeout(toolTimeoutMs);
    connect(tools, &TunnelTools::installFinished, this,
            [this](int exitCode, const QString &errorText) {
                tunnelUp = exitCode == 0;
                if (pendingInstalls.isEmpty())
                    return;
                const auto [call, uid] = pendingInstalls.takeFirst();
                noteOwner(tunnelUp ? uid : ownerUid);
                reply(call, {exitCode, errorText});
            });
    connect(tools, &TunnelTools::removalFinished, this, [this](bool removed) {
        tunnelUp = !removed;
        noteOwner(ownerUid);
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

void HelperService::authorizeThen(Access access,
                                  const std::function<void(const QDBusMessage &, int)> &work)
{
    idleTimer->start();
    const QDBusMessage call = message();
    setDelayedReply(true);
    const QDBusReply<uint> caller = bus.interface()->serviceUid(call.service());
    if (!caller.isValid()) {
        replyError(call, QLatin1String(HelperInterface::notAuthorizedError),
                   QStringLiteral("The caller is unknown"));
        return;
    }
    const int uid = int(caller.value());
    const bool othersTunnel = access != Access::Read && ownerUid >= 0 && uid != ownerUid;
    const char *action = othersTunnel             ? HelperInterface::manageOthersAction
                         : access == Access::Lift ? HelperInterface::liftAction
                                                  : HelperInterface::polkitAction;
    const auto interaction = access == Access::Read ? PolkitAuthority::Interaction::None
                                                    : PolkitAuthority::Interaction::Allowed;
    ++authorizationsInFlight;
    authority->check(call.service(), QLatin1String(action), interaction,
                     [this, call, uid, work](bool authorized) {
                         --authorizationsInFlight;
                         if (!authorized) {
                             replyError(call, QLatin1String(HelperInterface::notAuthorizedError),
                                        QStringLiteral("Not authorized to manage the tunnel"));
                             return;
                         }
                         work(call, uid);
                     });
}

void HelperService::noteOwner(int uid)
{
    ownerUid = tunnelUp || blockActive ? uid : -1;
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
    authorizeThen(Access::Manage, [this, configuration](const QDBusMessage &call, int uid) {
        // The client reads it too; the helper never trusts that it did.
        const WireGuardConfig config = WireGuardConfig::read(configuration.toUtf8());
        if (!config.isValid()) {
            qCWarning(lcHelper).noquote() << "WireGuard configuration refused:" << config.refusal();
            replyError(call, QLatin1String(HelperInterface::invalidArgumentsError),
                       QStringLiteral("Configuration refused: ") + config.refusal());
            return;
        }
        pendingInstalls.append({call, uid});
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
    authorizeThen(Access::Manage, [this](const QDBusMessage &call, int) {
        pendingRemovals.append(call);
        tools->remove();
    });
}

QString HelperService::Transfer()
{
    authorizeThen(Access::Read, [this](const QDBusMessage &call, int) {
        reply(call, {tools->transferNow(toolTimeoutMs)});
    });
    return {};
}

QString HelperService::Handshakes()
{
    authorizeThen(Access::Read, [this](const QDBusMessage &call, int) {
        reply(call, {tools->handshakesNow(toolTimeoutMs)});
    });
    return {};
}

void HelperService::PutKillSwitch(const QStringList &services, bool tunnel,
                                  const QStringList &peerEndpoints)
{
    authorizeThen(Access::Manage, [this, services, tunnel, peerEndpoints](const QDBusMessage &call,
                                                                          int uid) {
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
        rules.ownerUid = uid;
        rules.resolvers = Platform::configuredResolvers();
        if (tunnel)
            rules.tunnelInterface = QLatin1String(Platform::CommandSet::tunnelName);
        blockActive = tools->putKillSwitchNow(rules);
        noteOwner(blockActive ? uid : ownerUid);
        if (!blockActive)
            return replyError(call, QStringLiteral("org.corvane.Helper1.Error.Failed"),
                              QStringLiteral("The firewall refused the block"));
        reply(call);
    });
}

void HelperService::LiftKillSwitch()
{
    authorizeThen(Access::Lift, [this](const QDBusMessage &call, int) {
        tools->liftKillSwitchNow(toolTimeoutMs);
        blockActive = false;
        noteOwner(ownerUid);
        reply(call);
    });
}

// With no tunnel and no block there is nothing to keep: the bus starts the helper again when
// it is next needed. A client that vanished leaves both as they are (fail closed).
void HelperService::exitWhenIdle()
{
    if (tunnelUp || blockActive || authorizationsInFlight > 0 || !pendingInstalls.isEmpty() ||
        !pendingRemovals.isEmpty()) {
        idleTimer->start();
        return;
    }
    // The name goes first: a call from now on starts a new helper instead of reaching this one.
    bus.unregisterService(QLatin1String(HelperInterface::serviceName));
    QCoreApplication::quit();
}
