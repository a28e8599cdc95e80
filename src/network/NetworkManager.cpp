#include "network/NetworkManager.h"

#include "i18n/LanguageManager.h"
#include "network/Deployment.h"
#include "network/ServiceAccessManager.h"
#include "types/LogCategories.h"

#include <QHostAddress>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QTimer>

namespace {

const char caBundlePath[] = "/etc/ssl/cert.pem";
// Set on a reply the client cut short itself (deadline, size): its HTTP status says nothing.
const char cutShortProperty[] = "corvaneCutShort";
const char sessionProperty[] = "corvaneSession";

QStringList &hostsTakenAsRemote()
{
    static QStringList hosts;
    return hosts;
}

// The default configuration, with the CA list replaced by the certificates of the local bundle
// when it holds any; read once, on the first https request.
QSslConfiguration tlsConfiguration()
{
    static const QSslConfiguration configuration = [] {
        QSslConfiguration loaded = QSslConfiguration::defaultConfiguration();
        const QList<QSslCertificate> bundle =
            QSslCertificate::fromPath(QString::fromLatin1(caBundlePath), QSsl::Pem,
                                      QSslCertificate::PatternSyntax::FixedString);
        if (!bundle.isEmpty())
            loaded.setCaCertificates(bundle);
        return loaded;
    }();
    return configuration;
}

// Not https, and not this machine: what a password or token must not travel to by default.
bool isInsecureRemote(const QUrl &url)
{
    const QString host = url.host();
    const bool thisMachine =
        (host == QLatin1String("localhost") || QHostAddress(host).isLoopback()) &&
        !hostsTakenAsRemote().contains(host);
    return url.scheme() != QLatin1String("https") && !thisMachine;
}

bool insecureHttpAllowed()
{
    return qEnvironmentVariable("CORVANE_ALLOW_INSECURE_HTTP") == QLatin1String("1");
}

} // namespace

NetworkManager::NetworkManager(QObject *parent)
    : QObject(parent)
    , networkAccessManager(new ServiceAccessManager(this))
    , graphQlUrl(Deployment::accountApiUrl())
    , vpnApiBaseUrl(Deployment::vpnApiUrl())
    , serversUrl(vpnApiBaseUrl + QStringLiteral("/api/client/servers"))
    , connectUrl(vpnApiBaseUrl + QStringLiteral("/api/client/connect"))
    , disconnectUrl(vpnApiBaseUrl + QStringLiteral("/api/client/disconnect"))
    , brandLookupRetryTimer(new QTimer(this))
{
    registerServerDataMetaTypes();
    qRegisterMetaType<QVector<int>>("QVector<int>");
    qRegisterMetaType<ReplyError::Type>("ReplyError::Type");

    brandLookupRetryTimer->setSingleShot(true);
    connect(brandLookupRetryTimer, &QTimer::timeout, this, [this] { requestBrandId(brandDomain); });
}

void NetworkManager::setLanguageManager(LanguageManager *manager)
{
    languageManager = manager;
}

QNetworkRequest NetworkManager::buildRequest(const QString &url, Auth auth, Tls tls,
                                             bool json) const
{
    QNetworkRequest request(QUrl(url, QUrl::TolerantMode));
    // Plain http never loads the TLS library or its certificates.
    if (tls == Tls::Configured && request.url().scheme() == QLatin1String("https"))
        request.setSslConfiguration(tlsConfiguration());
    if (json)
        request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/json"));
    // A null value sends no header at all, which is the case before the first login.
    if (auth == Auth::Bearer && !authorizationHeader.isNull())
        request.setRawHeader("Authorization", authorizationHeader);
    request.setTransferTimeout(transferTimeoutMs);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::NoLessSafeRedirectPolicy);
    return request;
}

bool NetworkManager::mayCarryCredentials(const QUrl &url)
{
    return !isInsecureRemote(url) || insecureHttpAllowed();
}

void NetworkManager::setHostsTakenAsRemote(const QStringList &hosts)
{
    hostsTakenAsRemote() = hosts;
}

void NetworkManager::logOnce(bool &given, const QString &line)
{
    if (given)
        return;
    given = true;
    qCDebug(lcNetwork).noquote() << line;
}

QNetworkReply *NetworkManager::send(QNetworkRequest request, Verb verb, const QByteArray &body,
                                    Body kind)
{
    const bool credentials = kind == Body::Credentials || request.hasRawHeader("Authorization");
    const QString host = request.url().host();
    if (credentials && isInsecureRemote(request.url()) && !insecureHttpAllowed()) {
        qCDebug(lcNetwork).noquote() << "Refusing to send credentials over plain HTTP to" << host;
        // A scheme no one serves: the reply fails at once, on the usual failure path, and
        // nothing leaves the machine.
        request.setUrl(QUrl(QStringLiteral("corvane-refused:")));
        request.setRawHeader("Authorization", QByteArray());
    } else if (credentials && isInsecureRemote(request.url())) {
        logOnce(insecureCredentialsNoticeGiven,
                QStringLiteral("Credentials go over plain HTTP to %1 as "
                               "CORVANE_ALLOW_INSECURE_HTTP allows")
                    .arg(host));
    }
    QNetworkReply *reply = verb == Verb::Get ? networkAccessManager->get(request)
                                             : networkAccessManager->post(request, body);
    reply->setProperty(sessionProperty, session);
    bound(reply);
    return reply;
}

void NetworkManager::bound(QNetworkReply *reply)
{
    // A reply whose bytes all came in before these checks ran is marked all the same: its
    // handler treats it as failed.
    const auto cutShort = [reply] {
        reply->setProperty(cutShortProperty, true);
        if (!reply->isFinished())
            reply->abort();
    };
    QTimer::singleShot(requestDeadlineMs, reply, cutShort);
    connect(reply, &QNetworkReply::metaDataChanged, reply, [reply, cutShort] {
        if (reply->header(QNetworkRequest::ContentLengthHeader).toLongLong() > maximumReplyBytes)
            cutShort();
    });
    connect(reply, &QNetworkReply::downloadProgress, reply, [cutShort](qint64 received, qint64) {
        if (received > maximumReplyBytes)
            cutShort();
    });
}

QNetworkReply *NetworkManager::postAccountQuery(const QByteArray &body, Auth auth, Body kind)
{
    return send(buildRequest(graphQlUrl, auth, Tls::Configured), Verb::Post, body, kind);
}

QNetworkRequest NetworkManager::vpnApiRequest(const QString &url)
{
    const QUrl target(url, QUrl::TolerantMode);
    const Tls tls = target.scheme() == QLatin1String("https") ? Tls::Configured : Tls::Default;
    // A VPN API served over plain http elsewhere is still reached, as such deployments are, but
    // the token never travels in the clear.
    if (!mayCarryCredentials(target)) {
        logOnce(vpnApiWithoutTokenNoticeGiven,
                QStringLiteral("The VPN API at %1 is plain HTTP: it is reached without the token")
                    .arg(target.host()));
        return buildRequest(url, Auth::None, tls);
    }
    return buildRequest(url, Auth::Bearer, tls);
}

bool NetworkManager::readDataReply(const DataReplyFailures &failures, QJsonDocument &document)
{
    QNetworkReply *reply = finishedReply();
    if (!reply)
        return false;
    if (failed(reply)) {
        qCDebug(lcNetwork) << failures.networkErrorLine;
        emit replyErrorOccurred(failures.type, unavailableWithStatus(reply, QStringLiteral(" ")));
        return false;
    }
    document = QJsonDocument::fromJson(reply->readAll());
    if (failures.expectsArray ? !document.isArray() : !document.isObject()) {
        qCDebug(lcNetwork) << failures.emptyLine;
        emit replyErrorOccurred(failures.type, serviceUnavailable());
        return false;
    }
    if (jwtExpired(document)) {
        qCDebug(lcNetwork) << "Jwt expired.";
        emit replyErrorOccurred(failures.type, serviceUnavailable());
        return false;
    }
    return true;
}

QNetworkReply *NetworkManager::finishedReply()
{
    auto *reply = qobject_cast<QNetworkReply *>(sender());
    if (!reply)
        return nullptr;
    reply->deleteLater();
    if (reply->property(sessionProperty).toInt() != session)
        return nullptr;
    return reply;
}

bool NetworkManager::failed(const QNetworkReply *reply)
{
    return reply->error() != QNetworkReply::NoError || reply->property(cutShortProperty).toBool();
}

QString NetworkManager::httpStatusText(const QNetworkReply *reply)
{
    if (reply->property(cutShortProperty).toBool())
        return QString();
    return reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toString();
}

QString NetworkManager::unavailableWithStatus(const QNetworkReply *reply,
                                              const QString &separator) const
{
    const QString status = httpStatusText(reply);
    return status.isEmpty() ? serviceUnavailable() : status + separator + serviceUnavailable();
}

bool NetworkManager::jwtExpired(const QJsonDocument &document)
{
    return document.object().value(QLatin1String("error")).toString() ==
           QLatin1String("jwt expired");
}

QString NetworkManager::translated(const char *key, const char *english) const
{
    return textWithFallback(languageManager, QString::fromLatin1(key), QString::fromUtf8(english));
}

void NetworkManager::forgetSession()
{
    token.clear();
    authorizationHeader.clear();
    email.clear();
    connectAfterRenewal.clear();
    renewedForConnect = false;
    brandLookupRetryTimer->stop();
    ++session;
}

QString NetworkManager::serviceUnavailable() const
{
    return translated("auth.serviceunaviable", "Service unavailable. Try again later.");
}
