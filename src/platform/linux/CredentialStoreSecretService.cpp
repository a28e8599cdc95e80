#include "platform/CredentialStore.h"

#include <QByteArray>
#include <QFileInfo>

// libsecret's headers use "signals" as an identifier.
#undef signals
#include <libsecret/secret.h>
#define signals Q_SIGNALS

namespace {

// One item per target; the secret holds "<encoded user>:<encoded secret>" (Base64 has no ':').
const SecretSchema *schema()
{
    static const SecretSchema credentialSchema = {
        "org.corvane.Credential",
        SECRET_SCHEMA_NONE,
        {{"target", SECRET_SCHEMA_ATTRIBUTE_STRING}, {nullptr, SECRET_SCHEMA_ATTRIBUTE_STRING}},
        0,
        nullptr,
        nullptr,
        nullptr,
        nullptr,
        nullptr,
        nullptr,
        nullptr};
    return &credentialSchema;
}

// Without a session bus libsecret would try to start one; answer at once instead.
bool sessionBusReachable()
{
    if (!qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS"))
        return true;
    const QByteArray runtimeDir = qgetenv("XDG_RUNTIME_DIR");
    return !runtimeDir.isEmpty() && QFileInfo::exists(QString::fromLocal8Bit(runtimeDir + "/bus"));
}

bool succeeded(GError *error)
{
    if (!error)
        return true;
    qWarning("Secret Service: %s", error->message);
    g_error_free(error);
    return false;
}

} // namespace

namespace Platform {

bool storeCredential(const QByteArray &target, const StoredCredential &credential)
{
    if (target.isEmpty() || !sessionBusReachable())
        return false;
    const QByteArray secret = credential.encodedUser + ':' + credential.encodedSecret;
    GError *error = nullptr;
    const gboolean stored = secret_password_store_sync(
        schema(), SECRET_COLLECTION_DEFAULT, "Corvane sign-in", secret.constData(), nullptr, &error,
        "target", target.constData(), nullptr);
    return succeeded(error) && stored;
}

bool loadCredential(const QByteArray &target, StoredCredential &credential)
{
    if (target.isEmpty() || !sessionBusReachable())
        return false;
    GError *error = nullptr;
    gchar *secret = secret_password_lookup_sync(schema(), nullptr, &error, "target",
                                                target.constData(), nullptr);
    if (!succeeded(error) || !secret)
        return false;
    const QByteArray stored(secret);
    secret_password_free(secret);
    const int separator = stored.indexOf(':');
    if (separator < 0)
        return false;
    credential.encodedUser = stored.left(separator);
    credential.encodedSecret = stored.mid(separator + 1);
    return true;
}

bool deleteCredential(const QByteArray &target)
{
    if (target.isEmpty() || !sessionBusReachable())
        return false;
    GError *error = nullptr;
    const gboolean removed = secret_password_clear_sync(schema(), nullptr, &error, "target",
                                                        target.constData(), nullptr);
    return succeeded(error) && removed;
}

} // namespace Platform
