#pragma once

namespace Platform {

// SIGTERM and SIGINT (a log-out, a system shut-down, Ctrl+C) end the event loop as a quit does,
// so the program leaves through its one shut-down; nothing is done inside the handler itself.
// Windows delivers no such signals to a windowed program: nothing to do there.
void quitOnTerminationSignals();

} // namespace Platform
