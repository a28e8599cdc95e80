// A server list as the VPN API might send it: no id is repeated in what is taken.
#include "types/ServerData.h"

#include <QJsonDocument>
#include <QSet>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QJsonDocument document =
        QJsonDocument::fromJson(QByteArray(reinterpret_cast<const char *>(data), int(size)));
    QSet<int> ids;
    for (const ServerData &server : parseServers(document.array())) {
        if (ids.contains(server.id))
            __builtin_trap();
        ids.insert(server.id);
    }
    return 0;
}
