#include "vpn/HelperTunnelTools.h"

#include "HelperProxy.h"
#include "types/LogCategories.h"
#include "vpn/HelperInterface.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDebug>
#include <QHostAddress>
#include <QTimer>

namespace {

constexpr int firewallTimeoutMs = 30000;

TunnelTools::Problem problemOf(const QString &errorName)
{
    static const QStringList missing{
        QStringLiteral("org.freedesktop.DBus.Error.ServiceUnknown"),
        QStringLiteral("org.freedesktop.DBus.Error.NameHasNoOwner"),
        QStringLiteral("org.freedesktop.DBus.Error.NoServer"),
        QStringLiteral("org.freedesktop.DBus.Error.Disconnected"),
        QStringLiteral("org.freedesktop.DBus.Error.UnknownObject"),
        QStringLiteral("org.freedesktop.DBus.Error.UnknownMethod"),
        QStringLiteral("org.freedesktop.DBus.Error.NoReply"),
        QStringLiteral("org.freedesktop.DBus.Error.TimedOut"),
    };
    if (errorName == QLatin1String(HelperInterface::notAuthorizedError) ||
        errorName == QLatin1String("org.freedesktop.DBus.Error.AccessDenied"))
        return TunnelTools::Problem::PermissionRefused;
    if (missing.contains(errorName) ||
        errorName.startsWith(QLatin1String("org.freedesktop.DBus.Error.Spawn.")))
        return TunnelTools::Problem::HelperMissing;
    return TunnelTools::Problem::None;
}

QString endpointText(const Platform::KillSwitchRules::Peer &peer)
{
    const bool ipv6 = QHostAddress(peer.address).protocol() == QAbstractSocket::IPv6Protocol;
    const QString host = ipv6 ? QStringLiteral("[%1]").arg(peer.address) : peer.address;
    return QStringLiteral("%1:%2").arg(host).arg(peer.port);
}

} // namespace

HelperTunnelTools::HelperTunnelTools(QObject *parent)
    : TunnelTools(parent)
    , proxy(new HelperProxy(QLatin1String(HelperInterface::serviceName),
                            QLatin1String(HelperInterface::objectPath),
                            QDBusConnection::systemBus(), this))
{}

HelperProxy *HelperTunnelTools::helper(int timeoutMs)
{
    proxy->setTimeout(timeoutMs);
    return proxy;
}

QDBusMessage HelperTunnelTools::answerOf(const char *method, QDBusPendingCall pending)
{
    pending.waitForFinished();
    const QDBusMessage reply = pending.reply();
    noteOutcome(method, reply);
    return reply;
}

void HelperTunnelTools::whenAnswered(const QDBusPendingCall &pending,
                                     const std::function<void(const QDBusMessage &)> &handle)
{
    // A call that failed at once (no bus at all) never reports to a watcher: answer it from the
    // event loop, as any other reply is.
    if (pending.isFinished()) {
        const QDBusMessage reply = pending.reply();
        QTimer::singleShot(0, this, [reply, handle] { handle(reply); });
        return;
    }
    auto *watcher = new QDBusPendingCallWatcher(pending, this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [watcher, handle](QDBusPendingCallWatcher *) {
                watcher->deleteLater();
                handle(watcher->reply());
            });
}

bool HelperTunnelTools::noteOutcome(const char *method, const QDBusMessage &reply)
{
    if (reply.type() != QDBusMessage::ErrorMessage) {
        problem = Problem::None;
        return true;
    }
    problem = problemOf(reply.errorName());
    qCDebug(lcVpn).noquote() << QStringLiteral("Helper call %1 failed:").arg(QLatin1String(method))
                             << reply.errorName() << reply.errorMessage();
    return false;
}

bool HelperTunnelTools::install(const QByteArray &configText)
{
    whenAnswered(helper(installTimeoutMs)->Install(QString::fromUtf8(configText)),
                 [this](const QDBusMessage &reply) {
                     if (!noteOutcome("Install", reply) || reply.arguments().size() != 2) {
                         emit installFinished(-1, reply.errorMessage());
                         return;
                     }
                     emit installFinished(reply.arguments().at(0).toInt(),
                                          reply.arguments().at(1).toString());
                 });
    return true;
}

void HelperTunnelTools::remove()
{
    whenAnswered(helper(-1)->Remove(), [this](const QDBusMessage &reply) {
        emit removalFinished(noteOutcome("Remove", reply));
    });
}

bool HelperTunnelTools::removeNow(int timeoutMs)
{
    return answerOf("Remove", helper(timeoutMs)->Remove()).type() == QDBusMessage::ReplyMessage;
}

QString HelperTunnelTools::textOf(const char *method, const QDBusMessage &reply)
{
    return noteOutcome(method, reply) && !reply.arguments().isEmpty()
               ? reply.arguments().first().toString()
               : QString();
}

void HelperTunnelTools::readTransfer(int timeoutMs)
{
    whenAnswered(helper(timeoutMs)->Transfer(), [this](const QDBusMessage &reply) {
        emit transferRead(textOf("Transfer", reply));
    });
}

void HelperTunnelTools::readHandshakes(int timeoutMs)
{
    whenAnswered(helper(timeoutMs)->Handshakes(), [this](const QDBusMessage &reply) {
        emit handshakesRead(textOf("Handshakes", reply));
    });
}

void HelperTunnelTools::putKillSwitch(const Platform::KillSwitchRules &rules)
{
    QStringList services;
    for (const Platform::KillSwitchRules::Peer &service : rules.services)
        services << endpointText(service);
    QStringList endpoints;
    for (const Platform::KillSwitchRules::Peer &peer : rules.peers)
        endpoints << endpointText(peer);
    const bool tunnel = !rules.tunnelInterface.isEmpty();
    // The helper takes the owner from the bus, never from the call.
    queueFirewallStep(
        {"PutKillSwitch",
         [this, services, tunnel, endpoints] {
             return helper(firewallTimeoutMs)->PutKillSwitch(services, tunnel, endpoints);
         },
         &TunnelTools::killSwitchPut});
}

void HelperTunnelTools::liftKillSwitch()
{
    queueFirewallStep({"LiftKillSwitch",
                       [this] { return helper(firewallTimeoutMs)->LiftKillSwitch(); },
                       &TunnelTools::killSwitchLifted});
}

void HelperTunnelTools::queueFirewallStep(const FirewallStep &step)
{
    firewallSteps.append(step);
    runNextFirewallStep();
}

void HelperTunnelTools::runNextFirewallStep()
{
    if (firewallCallInFlight || firewallSteps.isEmpty())
        return;
    const FirewallStep step = firewallSteps.takeFirst();
    firewallCallInFlight = step.call();
    whenAnswered(*firewallCallInFlight, [this, step](const QDBusMessage &reply) {
        firewallCallInFlight.reset();
        emit(this->*step.answer)(noteOutcome(step.method, reply));
        runNextFirewallStep();
    });
}

bool HelperTunnelTools::liftKillSwitchNow(int timeoutMs)
{
    // Steps not sent yet are moot; one under way is waited for, or its block would follow this
    // lift.
    firewallSteps.clear();
    if (firewallCallInFlight)
        firewallCallInFlight->waitForFinished();
    return answerOf("LiftKillSwitch", helper(timeoutMs)->LiftKillSwitch()).type() ==
           QDBusMessage::ReplyMessage;
}
