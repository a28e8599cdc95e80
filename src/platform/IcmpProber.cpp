#include "platform/IcmpProber.h"

#include <QHostAddress>
#include <QRandomGenerator>
#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>
#include <cmath>
#include <cstring>

#ifdef Q_OS_LINUX
#include <netinet/icmp6.h>
#include <netinet/in.h>
#include <netinet/ip_icmp.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace Platform {

namespace {

constexpr int sequences = 65536;
// Sends per turn of the event loop, so that replies are read while a long sweep goes out.
constexpr int sendsPerTurn = 256;

#ifdef Q_OS_LINUX
int openIcmpSocket(int family)
{
    const int protocol = family == AF_INET ? int(IPPROTO_ICMP) : int(IPPROTO_ICMPV6);
    const int fd = ::socket(family, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, protocol);
    if (fd < 0)
        return -1;
    // Room for a whole sweep's replies arriving together.
    const int buffer = 4 * 1024 * 1024;
    ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &buffer, sizeof buffer);
    // The port a datagram ICMP socket is bound to is its echoes' identifier: a random one, not
    // the next in the kernel's sequence. Taken by another socket, the kernel's choice stays.
    for (int attempt = 0; attempt < 8; ++attempt) {
        const quint16 identifier = quint16(QRandomGenerator::system()->bounded(1, 65536));
        sockaddr_storage local = {};
        socklen_t length = 0;
        if (family == AF_INET) {
            auto &address = reinterpret_cast<sockaddr_in &>(local);
            address.sin_family = AF_INET;
            address.sin_port = htons(identifier);
            length = sizeof address;
        } else {
            auto &address = reinterpret_cast<sockaddr_in6 &>(local);
            address.sin6_family = AF_INET6;
            address.sin6_port = htons(identifier);
            length = sizeof address;
        }
        if (::bind(fd, reinterpret_cast<const sockaddr *>(&local), length) == 0)
            break;
    }
    return fd;
}
#endif

} // namespace

IcmpProber::IcmpProber(QObject *parent)
    : QObject(parent)
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
#ifdef Q_OS_LINUX
    ipv4Socket = openIcmpSocket(AF_INET);
    if (ipv4Socket < 0)
        return;
    ipv4Notifier = new QSocketNotifier(ipv4Socket, QSocketNotifier::Read, this);
    connect(ipv4Notifier, &QSocketNotifier::activated, this, [this] { readReplies(ipv4Socket); });
    ipv6Socket = openIcmpSocket(AF_INET6);
    if (ipv6Socket >= 0) {
        ipv6Notifier = new QSocketNotifier(ipv6Socket, QSocketNotifier::Read, this);
        connect(ipv6Notifier, &QSocketNotifier::activated, this,
                [this] { readReplies(ipv6Socket); });
    }
#endif
}

IcmpProber::~IcmpProber()
{
#ifdef Q_OS_LINUX
    for (const int fd : {ipv4Socket, ipv6Socket}) {
        if (fd >= 0)
            ::close(fd);
    }
#endif
}

void IcmpProber::probe(int id, const QString &address)
{
    const QHostAddress host(address);
    Probe probe;
    probe.id = id;
    probe.ipv6 = host.protocol() == QAbstractSocket::IPv6Protocol;
    if (host.isNull() || (probe.ipv6 && ipv6Socket < 0)) {
        pending.append({id, 0});
        batchTimer->start(timing.batchIntervalMs);
        return;
    }
#ifdef Q_OS_LINUX
    if (probe.ipv6) {
        sockaddr_in6 target = {};
        target.sin6_family = AF_INET6;
        const Q_IPV6ADDR bytes = host.toIPv6Address();
        std::memcpy(&target.sin6_addr, bytes.c, sizeof bytes.c);
        probe.address = QByteArray(reinterpret_cast<const char *>(&target), sizeof target);
    } else {
        sockaddr_in target = {};
        target.sin_family = AF_INET;
        target.sin_addr.s_addr = htonl(host.toIPv4Address());
        probe.address = QByteArray(reinterpret_cast<const char *>(&target), sizeof target);
    }
#endif
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
#ifdef Q_OS_LINUX
    // The kernel fills in the identifier and the checksum of a datagram ICMP socket.
    unsigned char packet[16] = {};
    packet[0] = probe.ipv6 ? ICMP6_ECHO_REQUEST : ICMP_ECHO;
    packet[6] = quint8(sequence >> 8);
    packet[7] = quint8(sequence & 0xff);
    std::memcpy(packet + 8, &nonce, sizeof nonce);
    const ssize_t sent = ::sendto(probe.ipv6 ? ipv6Socket : ipv4Socket, packet, sizeof packet, 0,
                                  reinterpret_cast<const sockaddr *>(probe.address.constData()),
                                  socklen_t(probe.address.size()));
    // Any other failure (no route) is an echo that gets no reply.
    if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == ENOBUFS))
        return false;
#endif
    ++nextSequence;
    echoes[sequence] = {probeIndex, monotonic.nsecsElapsed()};
    probe.lastSentNs = echoes[sequence].sentNs;
    ++probe.echoesSent;
    return true;
}

void IcmpProber::readReplies(int socket)
{
#ifdef Q_OS_LINUX
    unsigned char packet[1500];
    sockaddr_storage from = {};
    socklen_t fromLength = sizeof from;
    for (;;) {
        fromLength = sizeof from;
        const ssize_t length = ::recvfrom(socket, packet, sizeof packet, 0,
                                          reinterpret_cast<sockaddr *>(&from), &fromLength);
        if (length < 0)
            break;
        const qint64 now = monotonic.nsecsElapsed();
        const bool ipv6 = socket == ipv6Socket;
        if (length < 16 || packet[0] != (ipv6 ? ICMP6_ECHO_REPLY : ICMP_ECHOREPLY) ||
            std::memcmp(packet + 8, &nonce, sizeof nonce) != 0)
            continue;
        const quint16 sequence = quint16((packet[6] << 8) | packet[7]);
        Echo &echo = echoes[sequence];
        if (echo.probe < 0)
            continue;
        Probe &probe = probes[size_t(echo.probe)];
        // A reply from elsewhere, or for an echo already given up, is no measurement.
        const QByteArray &target = probe.address;
        const bool sameHost =
            ipv6 ? std::memcmp(
                       &reinterpret_cast<const sockaddr_in6 &>(from).sin6_addr,
                       &reinterpret_cast<const sockaddr_in6 *>(target.constData())->sin6_addr,
                       sizeof(in6_addr)) == 0
                 : reinterpret_cast<const sockaddr_in &>(from).sin_addr.s_addr ==
                       reinterpret_cast<const sockaddr_in *>(target.constData())->sin_addr.s_addr;
        if (!sameHost || probe.done || probe.ipv6 != ipv6)
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
#else
    Q_UNUSED(socket)
#endif
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

} // namespace Platform
