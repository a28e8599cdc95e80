#pragma once

#include <QByteArray>
#include <QString>
#include <QVector>

// A WireGuard configuration as the VPN API hands it out, read before anything of it is written
// or given to a tool. The text comes from the network: only the keys a client tunnel needs are
// accepted, each with a value of the shape WireGuard expects, and anything that would make
// wg-quick run a command (PreUp, PostUp, PreDown, PostDown), keep state (SaveConfig) or touch
// routing tables (Table) is refused.
class WireGuardConfig final {
public:
    struct Endpoint {
        QString host; // an IP address or a host name, without brackets
        quint16 port = 0;
    };

    static WireGuardConfig read(const QByteArray &text);
    // host:port or [IPv6]:port, the host an address or a host name; false for anything else.
    static bool readEndpoint(const QString &text, Endpoint *endpoint);

    bool isValid() const { return refusalReason.isEmpty(); }
    // Why the text was refused, naming keys and line numbers only, never a value: the text
    // holds a private key.
    QString refusal() const { return refusalReason; }
    QVector<Endpoint> endpoints() const { return peerEndpoints; }
    // What is written for the tunnel tool: the text as delivered, every MTU line that follows a
    // line break set to 1420.
    QByteArray fileText() const;

private:
    WireGuardConfig() = default;

    QByteArray original;
    QString refusalReason;
    QVector<Endpoint> peerEndpoints;
};
