#include "vpn/VpnManager.h"

#include "platform/Privileges.h"
#include "platform/Resolvers.h"
#include "platform/StateDirectory.h"
#include "types/LogCategories.h"
#include "vpn/ServiceAddresses.h"

#include <QDebug>
#include <QDir>
#include <QFile>

namespace {

// The helper takes at most 64 services; a service needs a handful.
constexpr int maximumServiceHoles = 32;

// Noted on disk while a block is in force, so that a run after one that ended without lifting
// it (a crash, a power cut) knows to lift it, and every other run with the switch off leaves
// the firewall tool (and the helper) alone.
QString blockNotePath()
{
    return Platform::stateDirectory() + QStringLiteral("/kill-switch-in-force");
}

bool blockMayBeInForce()
{
    return QFile::exists(blockNotePath());
}

void noteBlockInForce(bool inForce)
{
    if (!inForce) {
        QFile::remove(blockNotePath());
        return;
    }
    QDir().mkpath(Platform::stateDirectory());
    QFile note(blockNotePath());
    if (!note.open(QIODevice::WriteOnly))
        qCDebug(lcVpn) << "Cannot note the kill switch in" << blockNotePath();
}

} // namespace

void VpnManager::setKillSwitchEnabled(bool enabled)
{
    killSwitchEnabled = enabled;
    configurationRequestPending = false;
    if (!enabled) {
        setKillSwitchFault(KillSwitchFault::None);
        if (blockWanted || killSwitchActive || blockMayBeInForce())
            deactivateKillSwitch();
        return;
    }
    if (isBlockInForceOrComing())
        return;
    // A selective block also holds while a tunnel is up: then only the tunnel carries traffic.
    const bool tunnelDown =
        state == ConnectionState::Disconnected || state == ConnectionState::Error;
    if (tunnelDown || commands.killSwitchIsSelective())
        activateKillSwitch();
}

void VpnManager::deactivateKillSwitchIfActive()
{
    if (blockWanted)
        deactivateKillSwitch();
}

void VpnManager::prepareForConfigurationRequest()
{
    if (commands.killSwitchIsSelective())
        return;
    configurationRequestPending = true;
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
    if (killSwitchEnabled && tunnelDown && !blockWanted && !configurationRequestPending)
        activateKillSwitch();
}

void VpnManager::activateKillSwitch()
{
    if (tunnelInUse && commands.killSwitchIsSelective())
        qCDebug(lcVpn) << "Kill switch: only the tunnel may carry traffic";
    else
        qCDebug(lcVpn) << "Activating kill switch - blocking all non-VPN traffic";
    serviceAddresses->refresh();
    putBlock();
}

void VpnManager::putBlock()
{
    blockWanted = true;
    ++firewallStepsUnanswered;
    tools->putKillSwitch(killSwitchRules());
}

void VpnManager::blockPut(bool inForce)
{
    --firewallStepsUnanswered;
    killSwitchActive = inForce;
    if (inForce)
        noteBlockInForce(true);
    // A step asked for since decides what the member is told.
    if (firewallStepsUnanswered > 0)
        return;
    noteBlockAttempt(inForce);
    firewallAnswered();
}

void VpnManager::blockLifted(bool lifted)
{
    --firewallStepsUnanswered;
    // A block that could not be lifted stays noted, to be lifted at the next chance.
    if (lifted)
        noteBlockInForce(false);
    killSwitchActive = false;
    if (firewallStepsUnanswered == 0)
        firewallAnswered();
}

// Every step asked for is answered: an attempt waiting for its block goes on, or ends.
void VpnManager::firewallAnswered()
{
    installOnceBlockDecided();
    // Ending an attempt may put the block again.
    if (firewallStepsUnanswered == 0)
        emit killSwitchSettled();
}

void VpnManager::noteBlockAttempt(bool inForce)
{
    if (inForce) {
        setKillSwitchFault(KillSwitchFault::None);
        return;
    }
    switch (tools->lastProblem()) {
    case TunnelTools::Problem::HelperMissing:
        setKillSwitchFault(KillSwitchFault::HelperMissing);
        return;
    case TunnelTools::Problem::PermissionRefused:
        setKillSwitchFault(KillSwitchFault::PermissionRefused);
        return;
    case TunnelTools::Problem::None:
        setKillSwitchFault(KillSwitchFault::FirewallRefused);
        return;
    }
}

void VpnManager::setKillSwitchFault(KillSwitchFault fault)
{
    if (fault == blockFault)
        return;
    blockFault = fault;
    if (fault != KillSwitchFault::None)
        qCWarning(lcVpn) << "The kill switch's block is not in force:" << fault;
    else
        qCDebug(lcVpn) << "The kill switch's block is in force again";
    emit killSwitchFaultChanged(fault);
}

void VpnManager::deactivateKillSwitch()
{
    qCDebug(lcVpn) << "Deactivating kill switch - restoring normal traffic";
    blockWanted = false;
    ++firewallStepsUnanswered;
    tools->liftKillSwitch();
}

void VpnManager::liftBlockNow()
{
    qCDebug(lcVpn) << "Deactivating kill switch - restoring normal traffic";
    if (tools->liftKillSwitchNow(timings.toolTimeoutMs))
        noteBlockInForce(false);
    blockWanted = killSwitchActive = false;
    firewallStepsUnanswered = 0;
}

// A service address changed: the block in force takes the new one.
void VpnManager::refreshActiveKillSwitch()
{
    if (!blockWanted || !commands.killSwitchIsSelective())
        return;
    putBlock();
}

void VpnManager::resolversMayHaveChanged()
{
    if (blockWanted && Platform::configuredResolvers() != blockResolvers)
        refreshActiveKillSwitch();
}

Platform::KillSwitchRules VpnManager::killSwitchRules()
{
    Platform::KillSwitchRules rules;
    for (const QString &address : serviceAddresses->addresses()) {
        for (const quint16 port : serviceAddresses->ports()) {
            if (rules.services.size() < maximumServiceHoles)
                rules.services.append({address, port});
        }
    }
    rules.ownerUid = Platform::currentUserId();
    rules.resolvers = Platform::configuredResolvers();
    blockResolvers = rules.resolvers;
    if (tunnelInUse) {
        rules.tunnelInterface = tunnelName;
        rules.peers = tunnelPeers;
    }
    return rules;
}

void VpnManager::setServiceUrls(const QStringList &urls)
{
    serviceAddresses->setServiceUrls(urls);
}
