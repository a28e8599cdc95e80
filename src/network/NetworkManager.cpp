#include "network/NetworkManager.h"

#include "i18n/LanguageManager.h"
#include "network/Deployment.h"

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

// The default configuration, with the CA list replaced by the certificates of the local bundle
// when it holds any.
QSslConfiguration tlsConfiguration()
{
    QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
    const QList<QSslCertificate> bundle = QSslCertificate::fromPath(
        QString::fromLatin1(caBundlePath), QSsl::Pem, QSslCertificate::PatternSyntax::FixedString);
    if (!bundle.isEmpty())
        configuration.setCaCertificates(bundle);
    return configuration;
}

} // namespace

NetworkManager::NetworkManager(QObject *parent)
    : QObject(parent)
    , networkAccessManager(new QNetworkAccessManager(this))
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
    if (tls == Tls::Configured)
        request.setSslConfiguration(tlsConfiguration());
    if (json)
        request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/json"));
    // A null value sends no header at all, which is the case before the first login.
    if (auth == Auth::Bearer && !authorizationHeader.isNull())
        request.setRawHeader("Authorization", authorizationHeader);
    request.setTransferTimeout(transferTimeoutMs);
    return request;
}

QNetworkReply *NetworkManager::postAccountQuery(const QByteArray &body, Auth auth)
{
    return networkAccessManager->post(buildRequest(graphQlUrl, auth, Tls::Configured), body);
}

QNetworkRequest NetworkManager::vpnApiRequest(const QString &url) const
{
    const bool https = QUrl(url, QUrl::TolerantMode).scheme() == QLatin1String("https");
    return buildRequest(url, Auth::Bearer, https ? Tls::Configured : Tls::Default);
}

bool NetworkManager::readDataReply(const DataReplyFailures &failures, QJsonDocument &document)
{
    QNetworkReply *reply = finishedReply();
    if (!reply)
        return false;
    if (failed(reply)) {
        qDebug() << failures.networkErrorLine;
        emit replyErrorOccurred(failures.type, QStringLiteral("%1 ").arg(httpStatusText(reply)) +
                                                   serviceUnavailable());
        return false;
    }
    document = QJsonDocument::fromJson(reply->readAll());
    if (failures.expectsArray ? !document.isArray() : !document.isObject()) {
        qDebug() << failures.emptyLine;
        emit replyErrorOccurred(failures.type, serviceUnavailable());
        return false;
    }
    if (jwtExpired(document)) {
        qDebug() << "Jwt expired.";
        emit replyErrorOccurred(failures.type, serviceUnavailable());
        return false;
    }
    return true;
}

QNetworkReply *NetworkManager::finishedReply()
{
    auto *reply = qobject_cast<QNetworkReply *>(sender());
    if (reply)
        reply->deleteLater();
    return reply;
}

bool NetworkManager::failed(const QNetworkReply *reply)
{
    return reply->error() != QNetworkReply::NoError;
}

QString NetworkManager::httpStatusText(const QNetworkReply *reply)
{
    return reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toString();
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
}

QString NetworkManager::serviceUnavailable() const
{
    return translated("auth.serviceunaviable", "Service unavailable. Try again later.");
}
