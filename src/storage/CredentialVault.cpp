#include "storage/CredentialVault.h"

#include "platform/CredentialStore.h"
#include "storage/Scramble.h"

bool CredentialVault::write(const QString &user, const QString &secret, const QByteArray &target)
{
    if (user.isEmpty() && secret.isEmpty())
        return Platform::deleteCredential(target);
    return Platform::storeCredential(target, {Scramble::encode(user), Scramble::encode(secret)});
}

bool CredentialVault::read(QString &user, QString &secret, const QByteArray &target)
{
    Platform::StoredCredential stored;
    if (!Platform::loadCredential(target, stored))
        return false;
    user = Scramble::decode(stored.encodedUser);
    secret = Scramble::decode(stored.encodedSecret);
    return true;
}
