#include "vpn/WireGuardConfig.h"

#include <QHostAddress>
#include <QRegularExpression>

#include <functional>

namespace {

// Far above any real configuration; a text this long is not one.
constexpr int maximumTextSize = 64 * 1024;

enum class Section { None, Interface, Peer };

bool isKey(const QString &value)
{
    // 32 bytes in Base64: 43 characters, the last of which carries only four bits, and one '='.
    static const QRegularExpression key(QStringLiteral("^[A-Za-z0-9+/]{42}[AEIMQUYcgkosw048]=$"));
    return key.match(value).hasMatch();
}

bool isNumber(const QString &value, int lowest, int highest)
{
    static const QRegularExpression digits(QStringLiteral("^[0-9]{1,5}$"));
    if (!digits.match(value).hasMatch())
        return false;
    const int number = value.toInt();
    return number >= lowest && number <= highest;
}

bool isNumberOrOff(const QString &value)
{
    return value == QLatin1String("off") || isNumber(value, 0, 65535);
}

// A plain address: no scope suffix, no brackets, nothing around it.
bool isIpAddress(const QString &value)
{
    const QHostAddress address(value);
    return !address.isNull() && address.scopeId().isEmpty() && !value.contains(QLatin1Char('%'));
}

bool isHostName(const QString &value)
{
    static const QRegularExpression name(QStringLiteral(
        "^(?=.{1,253}$)[A-Za-z0-9]([A-Za-z0-9-]{0,62})(\\.[A-Za-z0-9-]{1,63})*\\.?$"));
    return name.match(value).hasMatch();
}

// An address with an optional prefix length that fits its family. Loopback, multicast and
// link-local ranges belong to this machine and its link, never to a tunnel.
bool isNetwork(const QString &value)
{
    const int slash = value.indexOf(QLatin1Char('/'));
    const QString address = slash < 0 ? value : value.left(slash);
    if (!isIpAddress(address))
        return false;
    const QHostAddress parsed(address);
    if (parsed.isLoopback() || parsed.isMulticast() || parsed.isLinkLocal())
        return false;
    if (slash < 0)
        return true;
    const int longest =
        QHostAddress(address).protocol() == QAbstractSocket::IPv6Protocol ? 128 : 32;
    return isNumber(value.mid(slash + 1), 0, longest);
}

bool isResolverOrSearchDomain(const QString &value)
{
    return isIpAddress(value) || isHostName(value);
}

bool isListOf(const QString &value, const std::function<bool(const QString &)> &isItem)
{
    const QStringList items = value.split(QLatin1Char(','));
    for (const QString &item : items) {
        if (!isItem(item.trimmed()))
            return false;
    }
    return true;
}

// host:port, [IPv6]:port.
bool parseEndpoint(const QString &value, WireGuardConfig::Endpoint *endpoint)
{
    QString host;
    QString port;
    if (value.startsWith(QLatin1Char('['))) {
        const int close = value.indexOf(QStringLiteral("]:"));
        if (close < 0)
            return false;
        host = value.mid(1, close - 1);
        port = value.mid(close + 2);
        if (QHostAddress(host).protocol() != QAbstractSocket::IPv6Protocol || !isIpAddress(host))
            return false;
    } else {
        const int colon = value.lastIndexOf(QLatin1Char(':'));
        if (colon < 0)
            return false;
        host = value.left(colon);
        port = value.mid(colon + 1);
        if (host.contains(QLatin1Char(':')) || !isResolverOrSearchDomain(host))
            return false;
    }
    if (!isNumber(port, 1, 65535))
        return false;
    endpoint->host = host;
    endpoint->port = quint16(port.toUInt());
    return true;
}

using ValueCheck = std::function<bool(const QString &)>;

const QHash<QString, ValueCheck> &interfaceKeys()
{
    static const QHash<QString, ValueCheck> keys{
        {QStringLiteral("PrivateKey"), isKey},
        {QStringLiteral("Address"), [](const QString &v) { return isListOf(v, isNetwork); }},
        {QStringLiteral("DNS"),
         [](const QString &v) { return isListOf(v, isResolverOrSearchDomain); }},
        {QStringLiteral("MTU"), [](const QString &v) { return isNumber(v, 576, 65535); }},
        {QStringLiteral("ListenPort"), [](const QString &v) { return isNumber(v, 0, 65535); }},
    };
    return keys;
}

const QHash<QString, ValueCheck> &peerKeys()
{
    static const QHash<QString, ValueCheck> keys{
        {QStringLiteral("PublicKey"), isKey},
        {QStringLiteral("PresharedKey"), isKey},
        {QStringLiteral("AllowedIPs"), [](const QString &v) { return isListOf(v, isNetwork); }},
        {QStringLiteral("Endpoint"),
         [](const QString &v) {
             WireGuardConfig::Endpoint ignored;
             return parseEndpoint(v, &ignored);
         }},
        {QStringLiteral("PersistentKeepalive"), isNumberOrOff},
    };
    return keys;
}

// Keys wg-quick acts on itself: each would run a command as root or change routing or files.
// FwMark is among them: wg-quick takes the mark as the number of the routing table it fills.
bool isForbidden(const QString &key)
{
    static const QStringList forbidden{"PreUp",      "PostUp", "PreDown", "PostDown",
                                       "SaveConfig", "Table",  "FwMark"};
    return forbidden.contains(key, Qt::CaseInsensitive);
}

bool hasControlCharacter(const QString &line)
{
    for (const QChar c : line) {
        if ((c.unicode() < 0x20 && c != QLatin1Char('\t')) || c.unicode() == 0x7f)
            return true;
    }
    return false;
}

} // namespace

WireGuardConfig WireGuardConfig::read(const QByteArray &text)
{
    WireGuardConfig config;
    config.original = text;
    auto refuse = [&config](const QString &reason) {
        config.refusalReason = reason;
        config.peerEndpoints.clear();
        return config;
    };
    if (text.size() > maximumTextSize)
        return refuse(QStringLiteral("the text is too long"));
    // Decoding would end the text at a NUL: what follows it would never be looked at.
    if (text.contains('\0'))
        return refuse(QStringLiteral("the text holds a NUL"));

    Section section = Section::None;
    bool interfaceSeen = false;
    bool privateKeySeen = false;
    int peers = 0;
    bool publicKeySeen = false;
    const QStringList lines = QString::fromUtf8(text).split(QLatin1Char('\n'));
    for (int index = 0; index < lines.size(); ++index) {
        const QString lineNumber = QString::number(index + 1);
        QString line = lines.at(index);
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
        if (hasControlCharacter(line))
            return refuse(QStringLiteral("line %1 holds a control character").arg(lineNumber));
        const QString content = line.left(line.indexOf(QLatin1Char('#'))).trimmed();
        if (content.isEmpty())
            continue;

        if (content.startsWith(QLatin1Char('['))) {
            if (section == Section::Peer && !publicKeySeen)
                return refuse(QStringLiteral("a peer has no public key"));
            if (content == QLatin1String("[Interface]")) {
                if (interfaceSeen)
                    return refuse(
                        QStringLiteral("line %1 opens a second interface").arg(lineNumber));
                interfaceSeen = true;
                section = Section::Interface;
            } else if (content == QLatin1String("[Peer]")) {
                section = Section::Peer;
                publicKeySeen = false;
                ++peers;
            } else {
                return refuse(QStringLiteral("line %1 opens an unknown section").arg(lineNumber));
            }
            continue;
        }

        const int equals = content.indexOf(QLatin1Char('='));
        if (equals < 0)
            return refuse(QStringLiteral("line %1 is not a key and a value").arg(lineNumber));
        const QString key = content.left(equals).trimmed();
        const QString value = content.mid(equals + 1).trimmed();
        if (isForbidden(key))
            return refuse(QStringLiteral("line %1 carries %2").arg(lineNumber, key));
        if (section == Section::None)
            return refuse(QStringLiteral("line %1 stands outside a section").arg(lineNumber));
        const QHash<QString, ValueCheck> &known =
            section == Section::Interface ? interfaceKeys() : peerKeys();
        const auto check = known.constFind(key);
        if (check == known.constEnd())
            return refuse(QStringLiteral("line %1 carries an unknown key").arg(lineNumber));
        if (!(*check)(value))
            return refuse(QStringLiteral("line %1 has an invalid %2").arg(lineNumber, key));

        if (key == QLatin1String("PrivateKey"))
            privateKeySeen = true;
        if (key == QLatin1String("PublicKey"))
            publicKeySeen = true;
        if (key == QLatin1String("Endpoint")) {
            Endpoint endpoint;
            parseEndpoint(value, &endpoint);
            config.peerEndpoints.append(endpoint);
        }
    }
    if (section == Section::Peer && !publicKeySeen)
        return refuse(QStringLiteral("a peer has no public key"));
    if (!privateKeySeen)
        return refuse(QStringLiteral("the interface has no private key"));
    if (peers == 0)
        return refuse(QStringLiteral("there is no peer"));
    return config;
}

bool WireGuardConfig::readEndpoint(const QString &text, Endpoint *endpoint)
{
    return parseEndpoint(text, endpoint);
}

// Every MTU line, however indented or spaced, and its line end, become the one MTU written.
QByteArray WireGuardConfig::fileText() const
{
    QStringList lines = QString::fromUtf8(original).split(QLatin1Char('\n'));
    for (QString &line : lines) {
        const QString content = line.left(line.indexOf(QLatin1Char('#')));
        if (content.left(content.indexOf(QLatin1Char('='))).trimmed() == QLatin1String("MTU"))
            line = QStringLiteral("MTU = 1420");
    }
    return lines.join(QLatin1Char('\n')).toUtf8();
}
