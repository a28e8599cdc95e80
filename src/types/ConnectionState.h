#pragma once

// The tunnel's state as every screen shows it; carried as a plain int in signals and slots.
namespace ConnectionState {

enum State : int {
    Connected = 0,
    Disconnected = 1,
    Connecting = 2,
    Disconnecting = 3,
    Error = 4,
};

// What the pill says beside the tunnel's state: a tunnel the server no longer answers, or no
// network at all.
enum class LinkCondition : int {
    Normal = 0,
    Unstable = 1,
    NoNetwork = 2,
};

} // namespace ConnectionState
