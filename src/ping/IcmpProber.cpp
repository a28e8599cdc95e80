#include "ping/IcmpProber.h"

#include <QRandomGenerator>
#include <QSocketNotifier>
#include <QTimer>

#include <cmath>

namespace {

constexpr int sequences = 65536;
// Sends per turn of the event loop, so that replies are read while a long sweep goes out.
constexpr int sendsPerTurn = 256;

} // namespace

IcmpProber::IcmpProber(QObject *parent)
    : QObject(parent)
    , ipv4(std::make_unique<Platform::IcmpSocket>(QAbstractSocket::IPv4Protocol))
    , ipv6(std::make_unique<Platform::IcmpSocket>(QAbstractSocket::IPv6Protocol))
    , clock(new QTimer(this))
    , batchTimer(new QTimer(this))
    , echoes(sequences)
    , nextSequence(quint16(QRandomGenerator::system()->bounded(65536)))
    , nonce(QRandomGenerator::system()->generate64())
{
    qRegisterMetaType<QVector<Platform::LatencyResult>>();
    monotonic.start();
    clock->setInterval(10);
    connect(clock, &QTimer::timeout, this, &IcmpProber::advance);
    batchTimer->setSingleShot(true);
    connect(batchTimer, &QTimer::timeout, this, &IcmpProber::flush);
    if (!ipv4->isOpen())
        return;
    ipv4Notifier = new QSocketNotifier(ipv4->socketDescriptor(), QSocketNotifier::Read, this);
    connect(ipv4Notifier, &QSocketNotifier::activated, this, [this] { readReplies(*ipv4); });
    if (ipv6->isOpen()) {
        ipv6Notifier = new QSocketNotifier(ipv6->socketDescriptor(), QSocketNotifier::Read, this);
        connect(ipv6Notifier, &QSocketNotifier::activated, this, [this] { readReplies(*ipv6); });
    }
}

IcmpProber::~IcmpProber() = default;

void IcmpProber::probe(int id, const QString &address)
{
    const QHostAddress host(address);
    Probe probe;
    probe.id = id;
    probe.ipv6 = host.protocol() == QAbstractSocket::IPv6Protocol;
    if (host.isNull() || (probe.ipv6 && !ipv6->isOpen())) {
        pending.append({id, 0});
        batchTimer->start(timing.batchIntervalMs);
        return;
    }
    probe.address = host;
    probes.push_back(probe);
    ++unfinished;
    const int index = int(probes.size()) - 1;
    // Each new host goes out on a later turn of the event loop, a few hundred at a time.
    if (unsentFirstEchoes.empty())
        QTimer::singleShot(0, this, &IcmpProber::sendFirstEchoes);
    unsentFirstEchoes.push_back(index);
    if (!clock->isActive())
        clock->start();
}

void IcmpProber::probeAll(const QVector<QPair<int, QString>> &hosts)
{
    for (const auto &host : hosts)
        probe(host.first, host.second);
}

void IcmpProber::sendFirstEchoes()
{
    for (int sent = 0; sent < sendsPerTurn && !unsentFirstEchoes.empty(); ++sent) {
        const int index = unsentFirstEchoes.front();
        if (!sendEcho(index)) {
            // The socket's buffer is full: the rest go once the replies have drained it.
            QTimer::singleShot(1, this, &IcmpProber::sendFirstEchoes);
            return;
        }
        unsentFirstEchoes.pop_front();
        awaitingSecond.push_back(index);
    }
    if (!unsentFirstEchoes.empty())
        QTimer::singleShot(0, this, &IcmpProber::sendFirstEchoes);
}

bool IcmpProber::sendEcho(int probeIndex)
{
    Probe &probe = probes[size_t(probeIndex)];
    const quint16 sequence = nextSequence;
    Platform::IcmpSocket &socket = probe.ipv6 ? *ipv6 : *ipv4;
    if (socket.sendEcho(probe.address, sequence, nonce) == Platform::IcmpSocket::Sent::BufferFull)
        return false;
    ++nextSequence;
    echoes[sequence] = {probeIndex, monotonic.nsecsElapsed()};
    probe.lastSentNs = echoes[sequence].sentNs;
    ++probe.echoesSent;
    return true;
}

void IcmpProber::readReplies(Platform::IcmpSocket &socket)
{
    const bool ipv6Reply = &socket == ipv6.get();
    Platform::IcmpSocket::Reply reply;
    while (socket.nextReply(nonce, &reply)) {
        const qint64 now = monotonic.nsecsElapsed();
        Echo &echo = echoes[reply.sequence];
        if (echo.probe < 0)
            continue;
        Probe &probe = probes[size_t(echo.probe)];
        // A reply from elsewhere, or for an echo already given up, is no measurement.
        if (reply.from != probe.address || probe.done || probe.ipv6 != ipv6Reply)
            continue;
        const int probeIndex = echo.probe;
        const bool latestEcho = echo.sentNs == probe.lastSentNs;
        probe.totalMs += double(now - echo.sentNs) / 1e6;
        ++probe.replies;
        echo.probe = -1;
        if (probe.echoesSent == 1) {
            // A full buffer leaves the second echo to the clock, which retries it.
            if (sendEcho(probeIndex))
                awaitingLast.push_back(probeIndex);
            else
                probe.lastSentNs = 0;
        } else if (latestEcho) {
            finish(probeIndex);
        }
    }
}

// Second echoes a second after unanswered first ones; probes whose last echo waited long enough
// end with what they have.
void IcmpProber::advance()
{
    const qint64 now = monotonic.nsecsElapsed();
    const qint64 interval = qint64(timing.echoIntervalMs) * 1000000;
    const qint64 wait = qint64(timing.replyWaitMs) * 1000000;
    while (!awaitingSecond.empty()) {
        Probe &probe = probes[size_t(awaitingSecond.front())];
        if (probe.echoesSent >= 2 || probe.done) {
            awaitingSecond.pop_front();
            continue;
        }
        if (now - probe.lastSentNs < interval)
            break;
        const int index = awaitingSecond.front();
        if (!sendEcho(index))
            break;
        awaitingSecond.pop_front();
        awaitingLast.push_back(index);
    }
    while (!awaitingLast.empty()) {
        const Probe &probe = probes[size_t(awaitingLast.front())];
        if (probe.done) {
            awaitingLast.pop_front();
            continue;
        }
        if (now - probe.lastSentNs < wait)
            break;
        const int index = awaitingLast.front();
        awaitingLast.pop_front();
        finish(index);
    }
    if (unfinished == 0)
        clock->stop();
}

void IcmpProber::finish(int probeIndex)
{
    Probe &probe = probes[size_t(probeIndex)];
    if (probe.done)
        return;
    probe.done = true;
    --unfinished;
    const int ping =
        probe.replies == 0 ? 0 : qMax(1, int(std::floor(probe.totalMs / probe.replies + 0.5)));
    pending.append({probe.id, ping});
    if (!batchTimer->isActive())
        batchTimer->start(timing.batchIntervalMs);
    if (unfinished == 0) {
        // A finished sweep frees its bookkeeping; late replies find no echo.
        probes.clear();
        awaitingSecond.clear();
        awaitingLast.clear();
        std::fill(echoes.begin(), echoes.end(), Echo());
    }
}

void IcmpProber::flush()
{
    if (pending.isEmpty())
        return;
    emit measured(pending);
    pending.clear();
}
