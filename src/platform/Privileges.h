#pragma once

namespace Platform {

// Whether this process may change the machine's network itself: tunnels and firewall rules.
// Windows: the program runs elevated, as it is installed to. Linux: root, or CAP_NET_ADMIN.
bool hasNetworkAdminRights();

} // namespace Platform
