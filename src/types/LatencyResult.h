#pragma once

#include <QMetaType>
#include <QVector>

namespace Platform {

// One server's measured latency.
struct LatencyResult {
    int id = 0;
    // Whole milliseconds, half up, at least 1 for a reply; 0 when no echo came back; -1 when a
    // tool's answer could not be read.
    int ping = 0;
};

} // namespace Platform

Q_DECLARE_METATYPE(Platform::LatencyResult)
