#pragma once

#include <QString>

// Deployment constants compiled into the program; an environment variable of the same name
// overrides each at run time, so one build can talk to the demo, a staging or a test service.
namespace Deployment {

QString brandDomain();
QString accountApiUrl();
QString vpnApiUrl();

// Pages on the brand domain.
QString membersSiteUrl();
QString membersLoginUrl();
QString membersRegisterUrl();

} // namespace Deployment
