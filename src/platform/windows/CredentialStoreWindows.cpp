#include "platform/CredentialStore.h"

// windows.h declares the types every other Windows header uses: it comes first, in a block of
// its own so that sorting includes cannot move it.
#include <windows.h>

#include <wincred.h>

namespace Platform {

bool storeCredential(const QByteArray &target, const StoredCredential &credential)
{
    QByteArray targetName = target;
    QByteArray userName = credential.encodedUser;
    QByteArray blob = credential.encodedSecret;
    blob.append('\0');

    CREDENTIALA record{};
    record.Flags = 0;
    record.Type = CRED_TYPE_GENERIC;
    record.TargetName = targetName.data();
    record.Comment = nullptr;
    record.CredentialBlobSize = DWORD(blob.size());
    record.CredentialBlob = reinterpret_cast<LPBYTE>(blob.data());
    record.Persist = CRED_PERSIST_LOCAL_MACHINE;
    record.AttributeCount = 0;
    record.Attributes = nullptr;
    record.TargetAlias = nullptr;
    record.UserName = userName.data();
    return CredWriteA(&record, 0) == TRUE;
}

bool loadCredential(const QByteArray &target, StoredCredential &credential)
{
    PCREDENTIALA record = nullptr;
    if (CredReadA(target.constData(), CRED_TYPE_GENERIC, 0, &record) != TRUE)
        return false;
    const char *blob = reinterpret_cast<const char *>(record->CredentialBlob);
    const int blobSize = int(record->CredentialBlobSize);
    credential.encodedSecret = QByteArray(blob, int(qstrnlen(blob, uint(blobSize))));
    credential.encodedUser = QByteArray(record->UserName ? record->UserName : "");
    CredFree(record);
    return true;
}

bool deleteCredential(const QByteArray &target)
{
    return CredDeleteA(target.constData(), CRED_TYPE_GENERIC, 0) == TRUE;
}

} // namespace Platform
