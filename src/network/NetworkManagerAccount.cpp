#include "network/NetworkManager.h"

#include "network/QueryTemplate.h"
#include "types/LogCategories.h"

#include <QDebug>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkReply>
#include <QRegularExpression>
#include <QTimer>

#include <utility>

namespace {

const char brandLookupFailure[] = "Cannot connect to service. Please try again later.";

QJsonValue member(const QJsonDocument &document, std::initializer_list<const char *> path)
{
    QJsonValue value = document.object();
    for (const char *name : path)
        value = value.toObject().value(QLatin1String(name));
    return value;
}

// What a bearer token can hold (RFC 6750): anything else, a blank or a line break above all,
// would change the requests it is put into.
bool isUsableToken(const QString &token)
{
    static const QRegularExpression b64token(QStringLiteral("^[A-Za-z0-9._~+/-]{1,8192}=*$"));
    return b64token.match(token).hasMatch();
}

int favoriteId(const QJsonValue &value)
{
    bool ok = false;
    const int id = value.toString().toInt(&ok, 10);
    return ok ? id : 0;
}

} // namespace

QString NetworkManager::favoriteIdListText(const QVector<int> &ids)
{
    QString text;
    for (const int id : ids)
        text += QStringLiteral("\\\"%1\\\",").arg(id);
    text.chop(1);
    return text;
}

void NetworkManager::requestBrandId(QString domain)
{
    brandDomain = domain;
    QNetworkReply *reply =
        postAccountQuery(QueryTemplate(QueryTemplate::BrandLookup, domain).toUtf8(), Auth::None);
    connect(reply, &QNetworkReply::finished, this, &NetworkManager::processBrandIdReply);
}

void NetworkManager::requestLoginData(QString email, QString password, QString brandId)
{
    this->email = email;
    const QueryTemplate body(QueryTemplate::Login, email, password, brandId);
    QNetworkReply *reply = postAccountQuery(body.toUtf8(), Auth::None, Body::Credentials);
    connect(reply, &QNetworkReply::finished, this, &NetworkManager::processLoginReply);
}

void NetworkManager::requestSubscriptionStatus()
{
    QNetworkReply *reply =
        postAccountQuery(QueryTemplate(QueryTemplate::SubscriptionStatus).toUtf8(), Auth::Bearer);
    connect(reply, &QNetworkReply::finished, this, &NetworkManager::processSubscriptionStatus);
}

void NetworkManager::requestBandwidthStatus()
{
    QNetworkReply *reply =
        postAccountQuery(QueryTemplate(QueryTemplate::BandwidthStatus).toUtf8(), Auth::Bearer);
    connect(reply, &QNetworkReply::finished, this, &NetworkManager::processBandwidthStatus);
}

void NetworkManager::requestUpdateBandwidthUsage(int bandwidthUsed)
{
    const QueryTemplate body(QueryTemplate::UpdateBandwidthUsage, bandwidthUsed);
    QNetworkReply *reply = postAccountQuery(body.toUtf8(), Auth::Bearer);
    connect(reply, &QNetworkReply::finished, this, &NetworkManager::processpdateBandwidthUsage);
}

void NetworkManager::requestFavoriteServersData()
{
    QNetworkReply *reply =
        postAccountQuery(QueryTemplate(QueryTemplate::GetFavoriteServers).toUtf8(), Auth::Bearer);
    connect(reply, &QNetworkReply::finished, this, &NetworkManager::processFavoriteServersReply);
}

void NetworkManager::requestUpdateServersFavoriteStates(QVector<int> favoriteServersIds)
{
    const QueryTemplate body(QueryTemplate::UpdateFavoriteServers,
                             favoriteIdListText(favoriteServersIds));
    QNetworkReply *reply = postAccountQuery(body.toUtf8(), Auth::Bearer);
    connect(reply, &QNetworkReply::finished, this,
            &NetworkManager::processUpdateServersFaviriteStatesReply);
}

void NetworkManager::requestApllicationEvent(QString appliactionEvent)
{
    Q_UNUSED(appliactionEvent)
}

void NetworkManager::processBrandIdReply()
{
    QNetworkReply *reply = finishedReply();
    if (!reply)
        return;
    if (failed(reply)) {
        qCDebug(lcNetwork).noquote()
            << "Cannot resolve brand ID. Network error:" << httpStatusText(reply);
        retryBrandLookup();
        return;
    }
    const QJsonDocument document = QJsonDocument::fromJson(reply->readAll());
    if (!document.isObject()) {
        qCDebug(lcNetwork) << "Brand lookup reply is empty.";
        retryBrandLookup();
        return;
    }
    if (document.object().contains(QLatin1String("errors"))) {
        qCDebug(lcNetwork) << "Brand lookup returned errors.";
        retryBrandLookup();
        return;
    }
    const QString id = member(document, {"data", "brandByDomain", "id"}).toString();
    if (id.isEmpty()) {
        qCDebug(lcNetwork) << "Brand not found for domain.";
        emit replyErrorOccurred(ReplyError::Login, QString::fromLatin1(brandLookupFailure));
        return;
    }
    brandLookupRetries = 0;
    brandId = id;
    qCDebug(lcNetwork) << "Brand ID resolved:" << id;
    emit brandIdReceived(id);
}

void NetworkManager::retryBrandLookup()
{
    if (brandLookupRetries >= brandLookupMaxRetries) {
        brandLookupRetries = 0;
        emit replyErrorOccurred(ReplyError::Login, QString::fromLatin1(brandLookupFailure));
        return;
    }
    ++brandLookupRetries;
    qCDebug(lcNetwork).noquote().nospace() << "Retrying brand lookup (" << brandLookupRetries << "/"
                                           << brandLookupMaxRetries << ")...";
    brandLookupRetryTimer->start(retryIntervalMs);
}

void NetworkManager::processLoginReply()
{
    QNetworkReply *reply = finishedReply();
    if (!reply)
        return;
    const QString pendingConnect = std::exchange(connectAfterRenewal, QString());
    const bool signedIn = readLoginReply(reply);
    if (pendingConnect.isEmpty())
        return;
    // The renewal for a connect the VPN API refused: ask again, or give that connect up.
    if (signedIn) {
        requestVpnConnect(pendingConnect);
        return;
    }
    renewedForConnect = false;
    emit vpnConfigFailed();
}

bool NetworkManager::readLoginReply(QNetworkReply *reply)
{
    if (failed(reply)) {
        emit replyErrorOccurred(ReplyError::Login,
                                unavailableWithStatus(reply, QStringLiteral(". ")));
        return false;
    }
    const QJsonDocument document = QJsonDocument::fromJson(reply->readAll());
    if (!document.isObject()) {
        qCDebug(lcNetwork) << "Login reply is empty.";
        emit replyErrorOccurred(ReplyError::Login, serviceUnavailable());
        return false;
    }
    const QString newToken = member(document, {"data", "memberLogin", "token"}).toString();
    if (document.object().contains(QLatin1String("errors")) || newToken.isEmpty()) {
        requestApllicationEvent(QStringLiteral("login_failed"));
        const QString message =
            translated("auth.invalidLogin", "Your email / password is incorrect.");
        qCDebug(lcNetwork).noquote() << message;
        emit replyErrorOccurred(ReplyError::Login, message);
        return false;
    }
    if (!isUsableToken(newToken)) {
        qCDebug(lcNetwork) << "Login reply carries an unusable token.";
        emit replyErrorOccurred(ReplyError::Login, serviceUnavailable());
        return false;
    }
    token = newToken.toUtf8();
    authorizationHeader = QStringLiteral("Bearer %1").arg(newToken).toUtf8();
    const QString status = member(document, {"data", "memberLogin", "member", "status"}).toString();
    requestApllicationEvent(QStringLiteral("login_success"));
    emit loginSuccessed();
    if (status == QLatin1String("active")) {
        emit subscriptionIsActive();
        return true;
    }
    emit replyErrorOccurred(ReplyError::Subscription, translated("auth.inactiveSubscription",
                                                                 "Your subscription is inactive."));
    return true;
}

void NetworkManager::processSubscriptionStatus()
{
    QJsonDocument document;
    if (!readDataReply({ReplyError::Login, "Cannot receive subscription status.",
                        "Subscription status reply is empty.", false},
                       document))
        return;
    if (member(document, {"data", "member", "info", "subscription", "isActive"}).toBool()) {
        emit subscriptionIsActive();
        return;
    }
    const QString message =
        translated("auth.inactiveSubscription", "Your subscription is inactive.");
    qCDebug(lcNetwork).noquote() << message;
    emit replyErrorOccurred(ReplyError::Subscription, message);
}

// Nothing in the client acts on bandwidth figures yet; these handlers only release the reply. A
// bandwidth reply must not reach the subscription handler, which would read it as an inactive
// subscription.
void NetworkManager::processBandwidthStatus()
{
    finishedReply();
}

void NetworkManager::processpdateBandwidthUsage()
{
    finishedReply();
}

void NetworkManager::processFavoriteServersReply()
{
    QJsonDocument document;
    if (!readDataReply({ReplyError::Service, "Cannot receive favorite servers ids.",
                        "Favorite servers reply is empty.", false},
                       document))
        return;
    QVector<int> ids;
    for (const QJsonValue &id :
         member(document, {"data", "member", "info", "vpn", "favoriteServers"}).toArray())
        ids.append(favoriteId(id));
    emit favoriteServersIdsReceived(ids);
}

void NetworkManager::processUpdateServersFaviriteStatesReply()
{
    QNetworkReply *reply = finishedReply();
    if (!reply)
        return;
    if (failed(reply)) {
        qCDebug(lcNetwork).noquote()
            << QStringLiteral("Network error %1. Cannot update favorite servers ids.")
                   .arg(httpStatusText(reply));
        return;
    }
    const QJsonDocument document = QJsonDocument::fromJson(reply->readAll());
    if (!document.isObject()) {
        qCDebug(lcNetwork) << "Cannot update favorite servers ids.";
        return;
    }
    if (jwtExpired(document)) {
        qCDebug(lcNetwork) << "Jwt expired.";
        emit replyErrorOccurred(ReplyError::Service, serviceUnavailable());
    }
}

void NetworkManager::processApllicationEventReply()
{
    QNetworkReply *reply = finishedReply();
    if (reply && failed(reply))
        qCDebug(lcNetwork).noquote() << httpStatusText(reply);
}
