#pragma once

#include <QJsonArray>
#include <QJsonObject>
#include <QMetaType>
#include <QString>
#include <QUrl>
#include <QVector>

struct ServerData {
    ServerData() = default;
    explicit ServerData(const QJsonObject &object);

    int id = 0;
    QString hostname = QStringLiteral("unknow");
    QString name = QStringLiteral("unknow");
    QString city = QStringLiteral("unknow");
    QString country = QStringLiteral("unknow");
    QString continent = QStringLiteral("unknow");
    QString countryCode = QStringLiteral("UNKN");
    float latitude = 0.0f;
    float longitude = 0.0f;
    QUrl configLink;
    QString serverIp;
    int ping = 0;
    int locationCount = 1;
    bool isFavorite = false;

    // A measured latency: not yet measured (0) and unreachable (over ten seconds) are none.
    bool hasValidLatency() const { return ping >= 1 && ping <= 10000; }
};

Q_DECLARE_METATYPE(ServerData)

// Maps the VPN API's server list, leaving out trial servers.
QVector<ServerData> parseServers(const QJsonArray &servers);

// Registers ServerData and QVector<ServerData> for QVariant and queued signals; safe to call
// more than once.
void registerServerDataMetaTypes();
