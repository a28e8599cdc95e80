#include "network/QueryTemplate.h"

#include <QFile>

namespace {

const char *const resourceNames[] = {
    "login",           "subscriptionStatus",   "getFavoriteServers", "updateFavoriteServers",
    "bandwidthStatus", "updateBandwidthUsage", "applicationEvent",   "getAllServers",
    "brandLookup",
};

QString readTemplate(QueryTemplate::Type type)
{
    QFile file(QueryTemplate::resourcePath(type));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray bytes = file.readAll();
    const int end = bytes.indexOf('\0');
    return QString::fromUtf8(end < 0 ? bytes : bytes.left(end));
}

// One level of string escaping as JSON and GraphQL share it: backslash, double quote and every
// control character.
QString escapeStringValue(const QString &text)
{
    QString escaped;
    escaped.reserve(text.size() + 8);
    for (const QChar c : text) {
        if (c == QLatin1Char('\\') || c == QLatin1Char('"')) {
            escaped += QLatin1Char('\\');
            escaped += c;
        } else if (c.unicode() < 0x20) {
            escaped += QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
        } else {
            escaped += c;
        }
    }
    return escaped;
}

} // namespace

QString QueryTemplate::resourcePath(Type type)
{
    return QStringLiteral(":/query_templates/") + QLatin1String(resourceNames[type]);
}

QString QueryTemplate::escapeForGraphQlInJson(const QString &text)
{
    return escapeStringValue(escapeStringValue(text));
}

QueryTemplate::QueryTemplate(Type type, const QVariant &a1, const QVariant &a2, const QVariant &a3,
                             const QVariant &a4, const QVariant &a5, const QVariant &a6)
    : filledText(readTemplate(type))
    , templateType(type)
{
    switch (type) {
    case Login:
        filledText = filledText.arg(escapeForGraphQlInJson(a1.toString()),
                                    escapeForGraphQlInJson(a2.toString()),
                                    escapeForGraphQlInJson(a3.toString()));
        break;
    case UpdateFavoriteServers:
    case BrandLookup:
        filledText = filledText.arg(a1.toString());
        break;
    case UpdateBandwidthUsage:
        filledText = filledText.arg(a1.toInt());
        break;
    case ApplicationEvent:
        filledText = filledText.arg(a1.toString(), a2.toString(), a3.toString(), a4.toString(),
                                    a5.toString(), a6.toString());
        break;
    case SubscriptionStatus:
    case GetFavoriteServers:
    case BandwidthStatus:
    case GetAllServers:
        break;
    }
}
