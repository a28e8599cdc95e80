#include "platform/IcmpSocket.h"

// Windows probes with ping.exe: no socket is ever open here.
namespace Platform {

IcmpSocket::IcmpSocket(QAbstractSocket::NetworkLayerProtocol family)
    : family(family)
{}

IcmpSocket::~IcmpSocket() = default;

IcmpSocket::Sent IcmpSocket::sendEcho(const QHostAddress &, quint16, quint64)
{
    return Sent::Failed;
}

bool IcmpSocket::nextReply(quint64, Reply *)
{
    return false;
}

} // namespace Platform
