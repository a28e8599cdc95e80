#include "storage/CredentialVault.h"

#include "platform/CredentialStore.h"
#include "storage/Scramble.h"

bool CredentialVault::write(const QString &user, const QString &secret, const QByteArray &target)
{
    if (user.isEmpty() && secret.isEmpty())
        return Platform::deleteCredential(target);
    return Platform::storeCredential(target, {Scramble::encode(user), Scramble::encode(secret)});
}

CredentialVault::Entry CredentialVault::load(QString &user, QString &secret,
                                             const QByteArray &target)
{
    Platform::StoredCredential stored;
    if (!Platform::loadCredential(target, stored))
        return Entry::Missing;
    QString storedUser;
    QString storedSecret;
    if (!Scramble::decodeStrictly(stored.encodedUser, storedUser) ||
        !Scramble::decodeStrictly(stored.encodedSecret, storedSecret))
        return Entry::Damaged;
    user = storedUser;
    secret = storedSecret;
    return Entry::Found;
}
