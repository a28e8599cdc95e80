#include "vpn/VpnManager.h"

#include "platform/Resolvers.h"
#include "vpn/ServiceAddresses.h"

#include <QDebug>

void VpnManager::setKillSwitchEnabled(bool enabled)
{
    killSwitchEnabled = enabled;
    if (!enabled) {
        deactivateKillSwitch();
        return;
    }
    if (killSwitchActive)
        return;
    // A selective block also holds while a tunnel is up: then only the tunnel carries traffic.
    const bool tunnelDown =
        state == ConnectionState::Disconnected || state == ConnectionState::Error;
    if (tunnelDown || commands.killSwitchIsSelective())
        activateKillSwitch();
}

void VpnManager::deactivateKillSwitchIfActive()
{
    if (killSwitchActive)
        deactivateKillSwitch();
}

void VpnManager::prepareForConfigurationRequest()
{
    if (!commands.killSwitchIsSelective())
        deactivateKillSwitchIfActive();
}

void VpnManager::beginServiceRequest()
{
    if (commands.killSwitchIsSelective())
        return;
    ++serviceRequestsInFlight;
    deactivateKillSwitchIfActive();
}

void VpnManager::endServiceRequest()
{
    if (commands.killSwitchIsSelective() || serviceRequestsInFlight == 0)
        return;
    if (--serviceRequestsInFlight > 0)
        return;
    const bool tunnelDown =
        state == ConnectionState::Disconnected || state == ConnectionState::Error;
    if (killSwitchEnabled && tunnelDown && !killSwitchActive)
        activateKillSwitch();
}

void VpnManager::activateKillSwitch()
{
    if (tunnelInUse && commands.killSwitchIsSelective())
        qDebug() << "Kill switch: only the tunnel may carry traffic";
    else
        qDebug() << "Activating kill switch - blocking all non-VPN traffic";
    serviceAddresses->refresh();
    killSwitchActive = tools->putKillSwitch(killSwitchRules());
}

void VpnManager::deactivateKillSwitch()
{
    qDebug() << "Deactivating kill switch - restoring normal traffic";
    tools->liftKillSwitch();
    killSwitchActive = false;
}

// A service address changed: the block in force takes the new one.
void VpnManager::refreshActiveKillSwitch()
{
    if (killSwitchActive && commands.killSwitchIsSelective())
        killSwitchActive = tools->putKillSwitch(killSwitchRules());
}

Platform::KillSwitchRules VpnManager::killSwitchRules() const
{
    Platform::KillSwitchRules rules;
    rules.serviceAddresses = serviceAddresses->addresses();
    rules.resolvers = Platform::configuredResolvers();
    if (tunnelInUse) {
        rules.tunnelInterface = tunnelName;
        rules.peers = tunnelPeers;
    }
    return rules;
}
