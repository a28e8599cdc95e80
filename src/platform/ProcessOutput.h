#pragma once

#include "platform/CommandSet.h"

#include <QByteArray>

namespace Platform {

// Runs a tool to its end and gives its standard output; empty when it could not be started.
// One still running after timeoutMs is killed. Safe to call from any thread: on Linux the tool
// is started without copying this process, since a fork stops every thread of a large process
// while its memory map is copied, and the GUI thread with them.
QByteArray runForOutput(const Invocation &invocation, int timeoutMs);

} // namespace Platform
