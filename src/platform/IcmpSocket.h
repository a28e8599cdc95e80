#pragma once

#include <QHostAddress>

// An ICMP echo socket of one address family, the datagram kind Linux lets programs ping with
// without privileges (net.ipv4.ping_group_range). Elsewhere, or where such sockets are not
// allowed, it is never open and callers use the ping tool.
namespace Platform {

class IcmpSocket final {
public:
    explicit IcmpSocket(QAbstractSocket::NetworkLayerProtocol family);
    ~IcmpSocket();
    IcmpSocket(const IcmpSocket &) = delete;
    IcmpSocket &operator=(const IcmpSocket &) = delete;

    bool isOpen() const { return descriptor >= 0; }
    // What a notifier watches for replies.
    int socketDescriptor() const { return descriptor; }

    enum class Sent { Sent, BufferFull, Failed };
    // An echo carrying sequence and a payload of nonce. Failed (no route) is an echo that gets
    // no reply; BufferFull is one to send again later.
    Sent sendEcho(const QHostAddress &to, quint16 sequence, quint64 nonce);

    struct Reply {
        QHostAddress from;
        quint16 sequence = 0;
    };
    // The next echo reply waiting that brings nonce back; false when none waits.
    bool nextReply(quint64 nonce, Reply *reply);

private:
    QAbstractSocket::NetworkLayerProtocol family;
    int descriptor = -1;
};

} // namespace Platform
