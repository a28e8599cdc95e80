#pragma once

#include "ping/PingManager.h"
#include "vpn/VpnManager.h"

#include <QTemporaryDir>

// The client's outside programs (tunnel tools, ping) run straight from PATH, where the fakes
// stand, whatever rights the test runs with.
inline void runToolsFromPath()
{
    VpnManager::setToolsFactory(VpnManager::localTools);
    PingManager::setDefaultMethod(PingManager::Method::Tool);
}

// The client's settings and data under home, never the tester's own.
inline void keepClientFilesUnder(const QTemporaryDir &home)
{
    qputenv("XDG_CONFIG_HOME", home.filePath("config").toLocal8Bit());
    qputenv("XDG_DATA_HOME", home.filePath("data").toLocal8Bit());
}
