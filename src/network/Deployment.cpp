#include "network/Deployment.h"

#include <QByteArray>

namespace {

QString valueOf(const char *variable, const char *builtIn)
{
    const QByteArray overridden = qgetenv(variable);
    return overridden.isEmpty() ? QString::fromUtf8(builtIn) : QString::fromUtf8(overridden);
}

} // namespace

namespace Deployment {

QString brandDomain()
{
    return valueOf("CORVANE_BRAND_DOMAIN", CORVANE_DEFAULT_BRAND_DOMAIN);
}

QString accountApiUrl()
{
    return valueOf("CORVANE_ACCOUNT_API_URL", CORVANE_DEFAULT_ACCOUNT_API_URL);
}

QString vpnApiUrl()
{
    return valueOf("CORVANE_VPN_API_URL", CORVANE_DEFAULT_VPN_API_URL);
}

QString membersSiteUrl()
{
    return QStringLiteral("https://members.") + brandDomain();
}

QString membersLoginUrl()
{
    return membersSiteUrl() + QStringLiteral("/login");
}

QString membersRegisterUrl()
{
    return membersSiteUrl() + QStringLiteral("/register");
}

} // namespace Deployment
