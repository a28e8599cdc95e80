#include "types/ServerData.h"

#include "types/LogCategories.h"

#include <QDebug>
#include <QJsonValue>
#include <QSet>

namespace {

QString firstNonEmpty(const QJsonObject &object, const char *preferred, const char *fallback)
{
    const QString value = object.value(QLatin1String(preferred)).toString();
    return value.isEmpty() ? object.value(QLatin1String(fallback)).toString() : value;
}

int integerId(const QJsonValue &value)
{
    if (!value.isDouble())
        return 0;
    const double number = value.toDouble();
    const int whole = value.toInt();
    return double(whole) == number ? whole : 0;
}

float coordinate(const QJsonValue &value)
{
    bool ok = false;
    const float number = value.toString().toFloat(&ok);
    return ok ? number : 0.0f;
}

} // namespace

ServerData::ServerData(const QJsonObject &object)
    : id(integerId(object.value(QLatin1String("id"))))
    , hostname(firstNonEmpty(object, "hostname", "ip"))
    , name(object.value(QLatin1String("name")).toString())
    , city(object.value(QLatin1String("city")).toString())
    , country(firstNonEmpty(object, "country", "countryName"))
    , continent(firstNonEmpty(object, "continent", "continentName"))
    , countryCode(firstNonEmpty(object, "location", "countryCode"))
    , latitude(coordinate(object.value(QLatin1String("latitude"))))
    , longitude(coordinate(object.value(QLatin1String("longitude"))))
    , configLink(
          object.value(QLatin1String("files")).toObject().value(QLatin1String("ovpn")).toString(),
          QUrl::TolerantMode)
    , serverIp(firstNonEmpty(object, "server_ip", "ip"))
{
    if (name.isEmpty())
        name = city.isEmpty() ? country : city;
    if (serverIp.isEmpty())
        serverIp = hostname;
}

// An id names one server: the client chooses, probes, marks and stores servers by id. A later
// record with the id of an earlier one (a missing or unusable id reads as 0) could never be told
// apart from it, so the first is the server and the later ones are left out.
QVector<ServerData> parseServers(const QJsonArray &servers)
{
    QVector<ServerData> parsed;
    parsed.reserve(servers.size());
    QSet<int> ids;
    int repeated = 0;
    for (const QJsonValue &element : servers) {
        ServerData server(element.toObject());
        if (server.name.contains(QLatin1String("(trial)"), Qt::CaseInsensitive))
            continue;
        if (ids.contains(server.id)) {
            ++repeated;
            continue;
        }
        ids.insert(server.id);
        parsed.append(server);
    }
    if (repeated > 0)
        qCDebug(lcServers) << "Server list repeats ids:" << repeated << "later servers left out";
    return parsed;
}

void registerServerDataMetaTypes()
{
    qRegisterMetaType<ServerData>("ServerData");
    qRegisterMetaType<QVector<ServerData>>("QVector<ServerData>");
    // A record read as text is its display name, as views and accessibility expect of the
    // display role.
    if (!QMetaType::hasRegisteredConverterFunction<ServerData, QString>())
        QMetaType::registerConverter<ServerData, QString>(
            [](const ServerData &server) { return server.name; });
}
