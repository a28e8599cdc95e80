#include "platform/Privileges.h"

#include <QtGlobal>

#ifdef Q_OS_WIN

namespace Platform {

bool hasNetworkAdminRights()
{
    return true;
}

int currentUserId()
{
    return -1;
}

} // namespace Platform

#else

#include <QFile>

#include <unistd.h>

namespace Platform {

namespace {

constexpr int capabilityNetAdmin = 12;

// The effective capability set, from the "CapEff:" line of /proc/self/status.
quint64 effectiveCapabilities()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("CapEff:"))
            return line.mid(7).trimmed().toULongLong(nullptr, 16);
    }
    return 0;
}

} // namespace

bool hasNetworkAdminRights()
{
    return ::geteuid() == 0 || (effectiveCapabilities() >> capabilityNetAdmin) & 1;
}

int currentUserId()
{
    return int(::getuid());
}

} // namespace Platform

#endif
