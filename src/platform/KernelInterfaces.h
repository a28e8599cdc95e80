#pragma once

#include <QString>
#include <QtGlobal>

#include <optional>

namespace Platform {

// Whether the system may have a network interface of this name: on Linux whether it has one;
// where that cannot be told cheaply (Windows), always.
bool mayHaveInterface(const QString &interfaceName,
                      const QString &interfacesRoot = QStringLiteral("/sys/class/net"));

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
