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

bool decodeStrictly(const QByteArray &encoded, QString &text)
{
    const QByteArray::FromBase64Result decoded = QByteArray::fromBase64Encoding(
        encoded, QByteArray::Base64Encoding | QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded)
        return false;
    const QByteArray plain = scramble(*decoded);
    // Strict UTF-8: a sequence that is not valid comes back as U+FFFD and so not as it was.
    const QString converted = QString::fromUtf8(plain);
    if (converted.toUtf8() != plain)
        return false;
    const int end = converted.indexOf(QChar(0));
    text = end < 0 ? converted : converted.left(end);
    return true;
}

} // namespace Scramble
