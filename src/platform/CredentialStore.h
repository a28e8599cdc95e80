#pragma once

#include <QByteArray>

// The operating system's credential store, holding already-encoded texts under a target name:
// the Windows credential manager, or the Secret Service (GNOME Keyring, KWallet) elsewhere.
namespace Platform {

struct StoredCredential {
    QByteArray encodedUser;
    QByteArray encodedSecret;
};

bool storeCredential(const QByteArray &target, const StoredCredential &credential);
bool loadCredential(const QByteArray &target, StoredCredential &credential);
bool deleteCredential(const QByteArray &target);

} // namespace Platform
