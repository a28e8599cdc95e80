#include "network/NetworkManager.h"

#include "types/LogCategories.h"

#include <QDebug>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>

#include <utility>

namespace {

// Indented JSON with sorted keys, as the VPN API expects.
QByteArray indentedJson(const QJsonObject &object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Indented);
}

} // namespace

void NetworkManager::requestAllServersData()
{
    QNetworkReply *reply =
        send(buildRequest(serversUrl, Auth::None, Tls::Configured, false), Verb::Get);
    connect(reply, &QNetworkReply::finished, this, &NetworkManager::processAllServersReply);
}

void NetworkManager::requestVpnConnect(QString serverIp)
{
    const QJsonObject body{{QStringLiteral("user_id"), email},
                           {QStringLiteral("server_ip"), serverIp}};
    QNetworkReply *reply = send(vpnApiRequest(connectUrl), Verb::Post, indentedJson(body));
    reply->setProperty("serverIp", serverIp);
    connect(reply, &QNetworkReply::finished, this, &NetworkManager::processVpnConnectReply);
}

void NetworkManager::requestVpnDisconnect()
{
    const QJsonObject body{{QStringLiteral("user_id"), email}};
    QNetworkReply *reply = send(vpnApiRequest(disconnectUrl), Verb::Post, indentedJson(body));
    connect(reply, &QNetworkReply::finished, reply, &QObject::deleteLater);
    connect(reply, &QNetworkReply::finished, this, &NetworkManager::vpnDisconnectFinished);
}

void NetworkManager::requestConfigData(QUrl configLink)
{
    QNetworkReply *reply =
        send(buildRequest(configLink.toString(), Auth::None, Tls::Configured, false), Verb::Get);
    connect(reply, &QNetworkReply::finished, this, &NetworkManager::processConfigData);
}

void NetworkManager::processAllServersReply()
{
    QJsonDocument document;
    if (!readDataReply({ReplyError::Service, "Cannot receive all servers data.",
                        "All servers reply is empty.", true},
                       document))
        return;
    QVector<ServerData> servers = parseServers(document.array());
    if (servers.size() > maximumServers) {
        qCDebug(lcNetwork) << "Server list holds" << servers.size() << "servers; taking the first"
                           << maximumServers;
        servers.resize(maximumServers);
    }
    emit allServersDataReceived(servers);
}

void NetworkManager::processVpnConnectReply()
{
    QNetworkReply *reply = finishedReply();
    if (!reply)
        return;
    const bool unauthorized = httpStatusText(reply) == QLatin1String("401");
    // One renewal per connect: the answer to the connect sent again after it ends the renewal,
    // cured or not, so that a later expiry is renewed again.
    const bool askedAfterRenewal = std::exchange(renewedForConnect, false);
    if (unauthorized && !askedAfterRenewal) {
        // The token expired before the renewal timer came round: renew it and ask again, once.
        qCDebug(lcNetwork) << "VPN connect API refused the token; renewing the sign-in.";
        renewedForConnect = true;
        connectAfterRenewal = reply->property("serverIp").toString();
        emit sessionRenewalNeeded();
        return;
    }
    if (failed(reply)) {
        qCDebug(lcNetwork).noquote() << "VPN connect API error:" << httpStatusText(reply);
        emit vpnConfigFailed();
        return;
    }
    const QJsonDocument document = QJsonDocument::fromJson(reply->readAll());
    if (!document.isObject()) {
        qCDebug(lcNetwork) << "VPN connect reply is not valid JSON";
        emit vpnConfigFailed();
        return;
    }
    const QString status = document.object().value(QLatin1String("status")).toString();
    if (status != QLatin1String("success")) {
        qCDebug(lcNetwork) << "VPN connect API returned status:" << status;
        emit vpnConfigFailed();
        return;
    }
    emit vpnConfigReceived(document.object().value(QLatin1String("config")).toString().toUtf8());
}

void NetworkManager::processConfigData()
{
    QNetworkReply *reply = finishedReply();
    if (!reply)
        return;
    if (failed(reply)) {
        qCDebug(lcNetwork).noquote()
            << QStringLiteral("Network error %1.\n%2 config isn`t downloaded.")
                   .arg(httpStatusText(reply), reply->url().toString());
        emit configDataReceived(QByteArray());
        return;
    }
    emit configDataReceived(reply->readAll());
}
