#pragma once

#include "ClientSetUp.h"
#include "DemoService.h"
#include "app/Startup.h"

#include <QTemporaryDir>

#include <memory>

// The whole client against the demo service, as the window tests and benchmarks run it:
// settings under home, no session bus (so no keyring), the demo service's endpoints, and the
// outside programs (tunnel tools, ping) taken from PATH, where the fakes stand.
inline std::unique_ptr<DemoService> startDemoClient(const QTemporaryDir &home)
{
    initResourceTree();
    keepClientFilesUnder(home);
    qputenv("CORVANE_BRAND_DOMAIN", "corvane.example");
    qunsetenv("DBUS_SESSION_BUS_ADDRESS");
    auto demo = std::make_unique<DemoService>();
    if (demo->isRunning())
        demo->exportEndpoints();
    runToolsFromPath();
    return demo;
}
