#pragma once

#include <QString>

namespace Platform {

// Where the program keeps state worth keeping between runs but not worth a backup (the
// diagnostic log): $XDG_STATE_HOME/corvane (default ~/.local/state/corvane) on Linux, the
// application's local data folder on Windows.
QString stateDirectory();

} // namespace Platform
