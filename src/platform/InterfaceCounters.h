#pragma once

#include <QString>
#include <QtGlobal>

#include <optional>

namespace Platform {

struct InterfaceCounters {
    quint64 receivedBytes = 0;
    quint64 sentBytes = 0;
};

// The byte counters the kernel keeps for a network interface, read without running a program or
// needing any right. Nothing when the interface does not exist or the system offers no such
// counters (Windows).
std::optional<InterfaceCounters>
readInterfaceCounters(const QString &interfaceName,
                      const QString &interfacesRoot = QStringLiteral("/sys/class/net"));

} // namespace Platform
