#pragma once

#include <QString>

namespace Platform {

// The local socket (a named pipe on Windows) where the running Corvane of this user listens for
// a second launch: in the user's runtime folder, else the temporary folder with the user's id.
QString activationChannelName();

// The single-instance guard's key: one Corvane per machine on Windows; one per user elsewhere,
// where another user's copy (or one run as root) would otherwise keep a member's from starting.
QString instanceGuardKey(const QString &base);

} // namespace Platform
