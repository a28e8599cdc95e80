#include "vpn/VpnManager.h"

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
    const QString output = tools->transfer(timings.toolTimeoutMs).trimmed();

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
    emit updateDownloadSpeed(received);
    emit updateUploadSpeed(sent);
}
