#pragma once

#include <QByteArray>
#include <QString>

// The remembered e-mail address and password, kept in the platform's credential store under a
// target name; neither value is ever stored in clear.
class CredentialVault final {
public:
    // Two empty strings delete the entry; otherwise writes or replaces it.
    static bool write(const QString &user, const QString &secret, const QByteArray &target);
    enum class Entry { Found, Missing, Damaged };
    // Leaves user and secret untouched when there is no entry or it is not in the store's
    // encoding (Damaged: someone or something else wrote it).
    static Entry load(QString &user, QString &secret, const QByteArray &target);
    static bool read(QString &user, QString &secret, const QByteArray &target)
    {
        return load(user, secret, target) == Entry::Found;
    }

    CredentialVault() = delete;
};
