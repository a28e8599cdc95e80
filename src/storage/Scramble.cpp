#include "storage/Scramble.h"

namespace Scramble {

QByteArray scramble(QByteArray bytes)
{
    for (char &byte : bytes)
        byte ^= key;
    return bytes;
}

QByteArray encode(const QString &text)
{
    return scramble(text.toUtf8())
        .toBase64(QByteArray::Base64Encoding | QByteArray::OmitTrailingEquals);
}

QString decode(const QByteArray &encoded)
{
    const QByteArray plain = scramble(QByteArray::fromBase64(encoded));
    const int end = plain.indexOf('\0');
    return QString::fromUtf8(end < 0 ? plain : plain.left(end));
}

} // namespace Scramble
