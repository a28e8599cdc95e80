#include "vpn/VpnManager.h"

#include "network/Deployment.h"

#include <QDebug>
#include <QHostAddress>
#include <QHostInfo>
#include <QUrl>

void VpnManager::setKillSwitchEnabled(bool enabled)
{
    killSwitchEnabled = enabled;
    if (!enabled) {
        deactivateKillSwitch();
        return;
    }
    const bool tunnelDown =
        state == ConnectionState::Disconnected || state == ConnectionState::Error;
    if (tunnelDown && !killSwitchActive)
        activateKillSwitch();
}

void VpnManager::deactivateKillSwitchIfActive()
{
    if (killSwitchActive)
        deactivateKillSwitch();
}

void VpnManager::activateKillSwitch()
{
    qDebug() << "Activating kill switch - blocking all non-VPN traffic";
    const QStringList allowed = serviceAddresses();
    removeKillSwitchRules();
    killSwitchActive = runNetsh(commands.addKillSwitchBlock(allowed));
}

void VpnManager::deactivateKillSwitch()
{
    qDebug() << "Deactivating kill switch - restoring normal traffic";
    removeKillSwitchRules();
    killSwitchActive = false;
}

void VpnManager::removeKillSwitchRules()
{
    runNetsh(commands.deleteKillSwitchBlock());
    runNetsh(commands.deleteKillSwitchAllow());
}

bool VpnManager::runNetsh(const Platform::Invocation &invocation)
{
    const int exitCode = QProcess::execute(invocation.program, invocation.arguments);
    if (exitCode == 0)
        return true;
    qDebug().noquote() << invocation.program + QStringLiteral(" failed") << exitCode
                       << invocation.arguments.join(QLatin1Char(' '));
    return false;
}

// The addresses of the client's own services, resolved now, so that the block lets sign-in,
// token renewal and the disconnect notice through.
QStringList VpnManager::serviceAddresses()
{
    QStringList addresses;
    for (const QString &url : {Deployment::accountApiUrl(), Deployment::vpnApiUrl()}) {
        const QString host = QUrl(url, QUrl::TolerantMode).host();
        if (host.isEmpty())
            continue;
        const QHostAddress literal(host);
        const QList<QHostAddress> resolved =
            literal.isNull() ? QHostInfo::fromName(host).addresses() : QList<QHostAddress>{literal};
        for (const QHostAddress &address : resolved) {
            if (!addresses.contains(address.toString()))
                addresses << address.toString();
        }
    }
    return addresses;
}
