#pragma once

#include <QByteArray>
#include <QString>
#include <QVariant>

// A request body built from one of the compiled-in templates, with its placeholders filled in
// one pass so that inserted text is never searched for further placeholders.
class QueryTemplate final {
public:
    enum Type : int {
        Login = 0,
        SubscriptionStatus = 1,
        GetFavoriteServers = 2,
        UpdateFavoriteServers = 3,
        BandwidthStatus = 4,
        UpdateBandwidthUsage = 5,
        ApplicationEvent = 6,
        GetAllServers = 7,
        BrandLookup = 8,
    };

    explicit QueryTemplate(Type type, const QVariant &a1 = 0, const QVariant &a2 = 0,
                           const QVariant &a3 = 0, const QVariant &a4 = 0, const QVariant &a5 = 0,
                           const QVariant &a6 = 0);

    Type type() const { return templateType; }
    QString text() const { return filledText; }
    QByteArray toUtf8() const { return filledText.toUtf8(); }

    static QString resourcePath(Type type);
    // Escapes text that stands inside a GraphQL string which itself stands inside a JSON string.
    static QString escapeForGraphQlInJson(const QString &text);

private:
    QString filledText;
    Type templateType;
};
