#pragma once

#include <QString>

namespace Platform {

// The local socket (a named pipe on Windows) where the running Corvane of this user listens for
// a second launch: in the user's runtime folder, else the temporary folder with the user's id.
QString activationChannelName();

} // namespace Platform
