#pragma once

#include <QString>

namespace Platform {

// Where the program keeps state worth keeping between runs but not worth a backup (the
// diagnostic log): $XDG_STATE_HOME/corvane (default ~/.local/state/corvane) on Linux, the
// application's local data folder on Windows.
QString stateDirectory();

// Where the client keeps the tunnel's configuration (with its private key) while the tunnel is
// up: its local data folder, but for root never a home folder (sudo may keep the member's): a
// root-only folder under the runtime folder ($XDG_RUNTIME_DIR/corvane where that is root's own,
// else /run/corvane). Empty when such a folder cannot be had safely.
QString tunnelConfigurationFolder();

} // namespace Platform
