#pragma once

#include <QByteArray>

// A WireGuard configuration of the shape the VPN API hands out: well-formed keys, one peer.
inline QByteArray sampleConfig(const QByteArray &endpoint = "192.0.2.1:51820")
{
    return "[Interface]\nPrivateKey = cHJpdmF0ZSBrZXkgZm9yIGNvcnZhbmUgdGVzdHMgMDE=\n"
           "Address = 10.66.66.2/32\nMTU = 1280\n\n"
           "[Peer]\nPublicKey = cHVibGljIGtleSBvZiB0aGUgY29ydmFuZSBwZWVyIDE=\n"
           "AllowedIPs = 10.66.66.1/32\nEndpoint = " +
           endpoint + "\n";
}
