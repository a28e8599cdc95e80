#pragma once

#include <QByteArray>
#include <QString>

// The reversible encoding shared by the settings store and the credential vault: UTF-8, every
// byte XOR one fixed key byte, then standard Base64 without the trailing "=" characters.
namespace Scramble {

constexpr char key = char(0xA7);

QByteArray scramble(QByteArray bytes);
QByteArray encode(const QString &text);
QString decode(const QByteArray &encoded);
// The same, but false for anything encode() cannot have written: characters outside Base64,
// bytes that are not UTF-8.
bool decodeStrictly(const QByteArray &encoded, QString &text);

} // namespace Scramble
