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

// A client run as root keeps its tunnel's configuration in its runtime folder: this test's
// own (a temporary folder is root's alone), never the one tests running beside it share.
inline void keepRuntimeFilesUnder(const QTemporaryDir &folder)
{
    qputenv("XDG_RUNTIME_DIR", folder.path().toLocal8Bit());
}

// The client's settings and data under home, never the tester's own.
inline void keepClientFilesUnder(const QTemporaryDir &home)
{
    keepRuntimeFilesUnder(home);
    qputenv("XDG_CONFIG_HOME", home.filePath("config").toLocal8Bit());
    qputenv("XDG_DATA_HOME", home.filePath("data").toLocal8Bit());
}
