#pragma once

namespace Platform {

// Whether this process may change the machine's network itself: tunnels and firewall rules.
// Windows: the program runs elevated, as it is installed to. Linux: root, or CAP_NET_ADMIN.
bool hasNetworkAdminRights();

// The user this process runs for, whose programs alone the block lets reach the services;
// -1 where the system has no such number (Windows).
int currentUserId();

} // namespace Platform
