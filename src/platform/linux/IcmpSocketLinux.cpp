#include "platform/IcmpSocket.h"

#include <QRandomGenerator>

#include <cerrno>
#include <cstring>

#include <netinet/icmp6.h>
#include <netinet/in.h>
#include <netinet/ip_icmp.h>
#include <sys/socket.h>
#include <unistd.h>

namespace Platform {

namespace {

bool isIpv6(QAbstractSocket::NetworkLayerProtocol family)
{
    return family == QAbstractSocket::IPv6Protocol;
}

int openIcmpSocket(bool ipv6)
{
    const int family = ipv6 ? AF_INET6 : AF_INET;
    const int protocol = ipv6 ? int(IPPROTO_ICMPV6) : int(IPPROTO_ICMP);
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
        if (ipv6) {
            auto &address = reinterpret_cast<sockaddr_in6 &>(local);
            address.sin6_family = AF_INET6;
            address.sin6_port = htons(identifier);
            length = sizeof address;
        } else {
            auto &address = reinterpret_cast<sockaddr_in &>(local);
            address.sin_family = AF_INET;
            address.sin_port = htons(identifier);
            length = sizeof address;
        }
        if (::bind(fd, reinterpret_cast<const sockaddr *>(&local), length) == 0)
            break;
    }
    return fd;
}

} // namespace

IcmpSocket::IcmpSocket(QAbstractSocket::NetworkLayerProtocol family)
    : family(family)
    , descriptor(openIcmpSocket(isIpv6(family)))
{}

IcmpSocket::~IcmpSocket()
{
    if (descriptor >= 0)
        ::close(descriptor);
}

IcmpSocket::Sent IcmpSocket::sendEcho(const QHostAddress &to, quint16 sequence, quint64 nonce)
{
    sockaddr_storage target = {};
    socklen_t length = 0;
    if (isIpv6(family)) {
        auto &address = reinterpret_cast<sockaddr_in6 &>(target);
        address.sin6_family = AF_INET6;
        const Q_IPV6ADDR bytes = to.toIPv6Address();
        std::memcpy(&address.sin6_addr, bytes.c, sizeof bytes.c);
        length = sizeof address;
    } else {
        auto &address = reinterpret_cast<sockaddr_in &>(target);
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(to.toIPv4Address());
        length = sizeof address;
    }
    // The kernel fills in the identifier and the checksum of a datagram ICMP socket.
    unsigned char packet[16] = {};
    packet[0] = isIpv6(family) ? ICMP6_ECHO_REQUEST : ICMP_ECHO;
    packet[6] = quint8(sequence >> 8);
    packet[7] = quint8(sequence & 0xff);
    std::memcpy(packet + 8, &nonce, sizeof nonce);
    const ssize_t sent = ::sendto(descriptor, packet, sizeof packet, 0,
                                  reinterpret_cast<const sockaddr *>(&target), length);
    if (sent >= 0)
        return Sent::Sent;
    return errno == EAGAIN || errno == EWOULDBLOCK || errno == ENOBUFS ? Sent::BufferFull
                                                                       : Sent::Failed;
}

bool IcmpSocket::nextReply(quint64 nonce, Reply *reply)
{
    unsigned char packet[1500];
    for (;;) {
        sockaddr_storage from = {};
        socklen_t fromLength = sizeof from;
        const ssize_t length = ::recvfrom(descriptor, packet, sizeof packet, 0,
                                          reinterpret_cast<sockaddr *>(&from), &fromLength);
        if (length < 0)
            return false;
        const unsigned char echoReply = isIpv6(family) ? ICMP6_ECHO_REPLY : ICMP_ECHOREPLY;
        if (length < 16 || packet[0] != echoReply ||
            std::memcmp(packet + 8, &nonce, sizeof nonce) != 0)
            continue;
        reply->from = QHostAddress(reinterpret_cast<const sockaddr *>(&from));
        reply->sequence = quint16((packet[6] << 8) | packet[7]);
        return true;
    }
}

} // namespace Platform
