#include "vpn/VpnManager.h"

#include "types/LogCategories.h"
#include "vpn/ServiceAddresses.h"

#include <QDateTime>
#include <QDebug>
#include <QTimer>

namespace {

struct TransferTotals {
    quint64 received = 0;
    quint64 sent = 0;
    bool valid = false;
};

// Sums the counters of every peer line: key, received and sent bytes, separated by tabs. A field
// that is not a whole number, or a sum past 64 bits, makes the whole reading invalid.
TransferTotals readTotals(const QString &output)
{
    TransferTotals totals;
    for (const QString &line : output.split(QLatin1Char('\n'))) {
        const QStringList parts = line.trimmed().split(QLatin1Char('\t'));
        if (parts.size() < 3)
            continue;
        bool receivedOk = false;
        bool sentOk = false;
        const quint64 received = parts.at(1).toULongLong(&receivedOk);
        const quint64 sent = parts.at(2).toULongLong(&sentOk);
        if (!receivedOk || !sentOk || received > ~totals.received || sent > ~totals.sent)
            return {};
        totals.received += received;
        totals.sent += sent;
        totals.valid = true;
    }
    return totals;
}

// The newest handshake of any peer in seconds since the epoch, 0 for none yet; -1 when the
// output is not the tool's.
qint64 latestHandshake(const QString &output)
{
    qint64 latest = -1;
    for (const QString &line : output.split(QLatin1Char('\n'))) {
        const QStringList parts = line.trimmed().split(QLatin1Char('\t'));
        if (parts.size() != 2)
            continue;
        bool ok = false;
        const qint64 seconds = parts.at(1).toLongLong(&ok);
        if (!ok || seconds < 0)
            return -1;
        latest = qMax(latest, seconds);
    }
    return latest;
}

// A counter that went down means the tunnel was recreated: its whole new count is new traffic.
quint64 increase(quint64 total, quint64 last)
{
    return total >= last ? total - last : total;
}

} // namespace

void VpnManager::checkConnectionStatus()
{
    if (tunnelName.isEmpty())
        return;
    if (!figuresShown && pollInterfaceCounters())
        return;
    if (!askReading(transferAskedFor))
        return;
    // The tool reads the counters as it starts: its answer may come late, the reading is of now.
    transferAskedAtMs = tunnelClock.elapsed();
    tools->readTransfer(timings.toolTimeoutMs);
}

bool VpnManager::askReading(std::optional<int> &askedFor)
{
    if (askedFor)
        return false;
    askedFor = tunnelsStarted;
    return true;
}

bool VpnManager::takeReading(std::optional<int> &askedFor)
{
    const bool forThisTunnel = askedFor == tunnelsStarted;
    askedFor.reset();
    return forThisTunnel && state == ConnectionState::Connected;
}

void VpnManager::transferAnswered(const QString &toolOutput)
{
    if (!takeReading(transferAskedFor))
        return;
    const QString output = toolOutput.trimmed();
    if (output.isEmpty()) {
        if (++failedStatusChecks > 2) {
            statusTimer->stop();
            stopTunnel(true);
        }
        return;
    }
    failedStatusChecks = 0;
    const TransferTotals totals = readTotals(output);
    if (!totals.valid)
        return;
    const quint64 received = increase(totals.received, lastReceivedBytes);
    const quint64 sent = increase(totals.sent, lastSentBytes);
    lastReceivedBytes = totals.received;
    lastSentBytes = totals.sent;
    // The bytes are those since the last reading, or since the tunnel came up with its counters
    // at zero; the time is what really passed, as a poll is seldom exactly on time.
    lastTransferIntervalMs = transferAskedAtMs - lastReadingAtMs;
    lastReadingAtMs = transferAskedAtMs;
    if (transferBaseOutdated) {
        transferBaseOutdated = false;
        return;
    }
    emit updateDownloadSpeed(received);
    emit updateUploadSpeed(sent);
    noteTraffic(received > 0, sent > 0);
}

// An interface that exists is a tunnel that exists; one the system does not know (gone, or no
// such counters here) is left to the tool, which decides as it always does.
bool VpnManager::pollInterfaceCounters()
{
    const auto counters = Platform::readInterfaceCounters(tunnelName);
    if (!counters)
        return false;
    failedStatusChecks = 0;
    transferBaseOutdated = true;
    const Platform::InterfaceCounters last = lastInterfaceCounters.value_or(*counters);
    lastInterfaceCounters = counters;
    const bool received = counters->receivedBytes != last.receivedBytes;
    // A kernel tunnel whose session expired counts nothing sent while it only asks for a new
    // handshake: what was sent since the last answer counts until one comes.
    interfaceSentSinceReceived =
        !received && (interfaceSentSinceReceived || counters->sentBytes != last.sentBytes);
    noteTraffic(received, interfaceSentSinceReceived);
    return true;
}

// Anything received proves the session alive. An idle tunnel neither handshakes nor goes stale:
// the tool is asked only while the client sends into silence.
void VpnManager::noteTraffic(bool received, bool sent)
{
    lastPollReceived = received;
    lastPollSent = sent;
    if (received)
        setTunnelStale(false);
    else if (sent)
        updateHealth();
}

void VpnManager::checkHealthNow()
{
    if (state == ConnectionState::Connected)
        updateHealth();
}

void VpnManager::networkChanged()
{
    serviceAddresses->refresh();
    // Another network may mean other resolvers: the block in force takes them at once.
    refreshActiveKillSwitch();
    checkHealthNow();
}

// The handshakes tell: a session whose newest handshake (or, before the first, the tunnel's
// start) is older than WireGuard keeps one is stale while the client sends into it with nothing
// received, and fresh again with a new handshake.
void VpnManager::updateHealth()
{
    if (askReading(handshakesAskedFor))
        tools->readHandshakes(timings.toolTimeoutMs);
}

void VpnManager::handshakesAnswered(const QString &output)
{
    if (!takeReading(handshakesAskedFor))
        return;
    const qint64 latest = latestHandshake(output);
    if (latest < 0)
        return;
    const qint64 since = latest > 0 ? latest : tunnelUpSinceEpoch;
    if (QDateTime::currentSecsSinceEpoch() - since <= timings.staleHandshakeSeconds)
        setTunnelStale(false);
    else if (lastPollSent && !lastPollReceived)
        setTunnelStale(true);
}

void VpnManager::setTunnelStale(bool stale)
{
    if (stale == tunnelStale)
        return;
    tunnelStale = stale;
    if (stale)
        giveUpTimer->start();
    else
        giveUpTimer->stop();
    qCDebug(lcVpn) << (stale ? "Tunnel is stale: no handshake while sending"
                             : "Tunnel handshakes again");
    emit tunnelHealthChanged(stale);
}
