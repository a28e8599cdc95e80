#pragma once

#include <QByteArray>
#include <QString>

// The remembered e-mail address and password, kept in the platform's credential store under a
// target name; neither value is ever stored in clear.
class CredentialVault final {
public:
    // Two empty strings delete the entry; otherwise writes or replaces it.
    static bool write(const QString &user, const QString &secret, const QByteArray &target);
    // Leaves user and secret untouched when there is no entry.
    static bool read(QString &user, QString &secret, const QByteArray &target);

    CredentialVault() = delete;
};
