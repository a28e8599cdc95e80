#pragma once

#include "types/ReplyError.h"
#include "types/ServerData.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QUrl>
#include <QVector>

class LanguageManager;
class QJsonDocument;
class QNetworkAccessManager;
class QNetworkReply;
class QNetworkRequest;
class QTimer;

// The client's only voice to its two services: the GraphQL account API and the REST VPN API.
class NetworkManager : public QObject {
    Q_OBJECT

public:
    explicit NetworkManager(QObject *parent = nullptr);

    void setLanguageManager(LanguageManager *manager);

    static constexpr int defaultBrandLookupRetryMs = 2000;
    static constexpr int defaultTransferTimeoutMs = 30000;
    static constexpr int brandLookupMaxRetries = 3;
    // The whole exchange, however slowly the bytes come; and the largest reply taken, far above
    // any real server list.
    static constexpr int defaultRequestDeadlineMs = 60000;
    static constexpr qint64 maximumReplyBytes = 16 * 1024 * 1024;
    static constexpr int maximumServers = 50000;

    int brandLookupRetryInterval() const { return retryIntervalMs; }
    void setBrandLookupRetryInterval(int milliseconds) { retryIntervalMs = milliseconds; }
    int transferTimeout() const { return transferTimeoutMs; }
    void setTransferTimeout(int milliseconds) { transferTimeoutMs = milliseconds; }
    void setRequestDeadline(int milliseconds) { requestDeadlineMs = milliseconds; }
    // Whether the password or a token may go to this address: https, or this machine, or plain
    // http where CORVANE_ALLOW_INSECURE_HTTP=1 says so.
    static bool mayCarryCredentials(const QUrl &url);
    // Hosts taken as another machine although they are addresses of this one: a test's stand-in
    // for a remote service on a loopback address.
    static void setHostsTakenAsRemote(const QStringList &hosts);

    // After log-out: no token, e-mail or bearer header of the last member is used again, and no
    // reply to a request of theirs is acted on.
    void forgetSession();

    // The id list as it stands inside the favourites mutation: \"5\",\"17\".
    static QString favoriteIdListText(const QVector<int> &ids);

signals:
    void configDataReceived(QByteArray data);
    void vpnConfigReceived(QByteArray configData);
    void vpnConfigFailed();
    void brandIdReceived(QString brandId);
    void replyErrorOccurred(ReplyError::Type errorType, QString message);
    void loginSuccessed();
    void subscriptionIsActive();
    void allServersDataReceived(QVector<ServerData> serversData);
    void favoriteServersIdsReceived(QVector<int> favoriteServersIds);
    void vpnDisconnectFinished();
    // The VPN API said the token is no longer good: renew the sign-in (the connect request is
    // sent again once it is).
    void sessionRenewalNeeded();

public slots:
    void requestConfigData(QUrl configLink);
    void requestBrandId(QString domain);
    void requestLoginData(QString email, QString password, QString brandId);
    void requestSubscriptionStatus();
    void requestBandwidthStatus();
    void requestUpdateBandwidthUsage(int bandwidthUsed);
    void requestAllServersData();
    void requestFavoriteServersData();
    void requestUpdateServersFavoriteStates(QVector<int> favoriteServersIds);
    void requestApllicationEvent(QString appliactionEvent);
    void requestVpnConnect(QString serverIp);
    void requestVpnDisconnect();

private slots:
    void processConfigData();
    void processBrandIdReply();
    void processLoginReply();
    void processSubscriptionStatus();
    void processBandwidthStatus();
    void processpdateBandwidthUsage();
    void processAllServersReply();
    void processFavoriteServersReply();
    void processUpdateServersFaviriteStatesReply();
    void processApllicationEventReply();
    void processVpnConnectReply();

private:
    enum class Auth { None, Bearer };
    enum class Tls { Default, Configured };
    enum class Verb { Get, Post };
    enum class Body { Plain, Credentials };

    // Every request goes out here: credentials only where they are safe, a deadline for the
    // whole exchange and a cap on the size of the reply.
    QNetworkReply *send(QNetworkRequest request, Verb verb, const QByteArray &body = QByteArray(),
                        Body kind = Body::Plain);
    void bound(QNetworkReply *reply);

    QNetworkRequest buildRequest(const QString &url, Auth auth, Tls tls, bool json = true) const;
    QNetworkReply *postAccountQuery(const QByteArray &body, Auth auth, Body kind = Body::Plain);
    // Connect and disconnect: the bearer token when one is held and may go there, TLS for an
    // https base URL.
    QNetworkRequest vpnApiRequest(const QString &url);
    // Says once per run what is noted only once: a notice repeated on every request hides the
    // lines around it.
    void logOnce(bool &given, const QString &line);

    // How a data handler reports the failures every data reply shares.
    struct DataReplyFailures {
        ReplyError::Type type;
        const char *networkErrorLine;
        const char *emptyLine;
        bool expectsArray;
    };
    // Reads the reply that sent finished(): a network error, a body of the wrong JSON shape and
    // an expired login each end in one replyErrorOccurred. True when the handler should go on.
    bool readDataReply(const DataReplyFailures &failures, QJsonDocument &document);

    // The reply that sent the finished() signal, already scheduled for deletion.
    QNetworkReply *finishedReply();
    static bool failed(const QNetworkReply *reply);
    static QString httpStatusText(const QNetworkReply *reply);
    // The status, then the service-unavailable text; just the latter when there is no status.
    QString unavailableWithStatus(const QNetworkReply *reply, const QString &separator) const;
    static bool jwtExpired(const QJsonDocument &document);

    QString translated(const char *key, const char *english) const;
    QString serviceUnavailable() const;

    void retryBrandLookup();
    // True when the reply signed the member in (whatever their subscription says).
    bool readLoginReply(QNetworkReply *reply);

    QNetworkAccessManager *networkAccessManager;
    LanguageManager *languageManager = nullptr;
    QString graphQlUrl;
    QString vpnApiBaseUrl;
    QString serversUrl;
    QString connectUrl;
    QString disconnectUrl;
    QByteArray authorizationHeader;
    QByteArray token;
    QString email;
    QString brandId;
    QString brandDomain;
    int brandLookupRetries = 0;
    // A connect the VPN API refused for the token: sent again once the renewal signs in, once.
    QString connectAfterRenewal;
    bool renewedForConnect = false;
    // Counts sign-outs: a reply to a request sent before the last one belongs to nobody now.
    int session = 0;
    bool insecureCredentialsNoticeGiven = false;
    bool vpnApiWithoutTokenNoticeGiven = false;

    QTimer *brandLookupRetryTimer;
    int retryIntervalMs = defaultBrandLookupRetryMs;
    int transferTimeoutMs = defaultTransferTimeoutMs;
    int requestDeadlineMs = defaultRequestDeadlineMs;
};
