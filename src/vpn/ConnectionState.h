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

} // namespace ConnectionState
