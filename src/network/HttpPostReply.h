#pragma once

#include "network/HttpResponseParser.h"

#include <QAbstractSocket>
#include <QNetworkReply>
#include <QPointer>
#include <QSslConfiguration>

#include <optional>

class QTimer;
class ServiceAccessManager;

// One HTTP/1.1 request with a body in memory, sent whole in one write on a no-delay socket,
// and its response, behind the usual QNetworkReply interface: status and header attributes,
// metaDataChanged, readyRead, downloadProgress, errors, abort, the transfer timeout. Kept-alive
// connections go back to the manager for the next request. A connection kept alive that the
// server closed before answering is replaced once by a fresh one. Redirects are followed as the
// request's policy allows, but never to another host: the request carries a password or token.
class HttpPostReply final : public QNetworkReply {
    Q_OBJECT

public:
    HttpPostReply(ServiceAccessManager *manager, const QNetworkRequest &request,
                  const QByteArray &body);
    ~HttpPostReply() override;

    // Whether the address is one this reply speaks to: http or https.
    static bool isHttpUrl(const QUrl &url);

    void abort() override;
    void close() override;
    qint64 bytesAvailable() const override;
    bool isSequential() const override { return true; }

protected:
    qint64 readData(char *data, qint64 maxSize) override;

private:
    void start();
    void openConnection();
    void sendRequest();
    QByteArray requestBytes() const;
    void readResponse();
    void connectionEnded();
    void socketFailed(QAbstractSocket::SocketError socketError);
    // Takes what the parser has: the status and header fields once, then body bytes; finishes
    // a complete response.
    void deliver();
    void publishMetaData();
    QUrl redirectTarget() const;
    int redirectPolicy() const;
    bool isRedirectToFollow() const;
    void followRedirect();
    // Sends the request again on a fresh connection when a kept-alive one ended before any
    // answer; true when it did.
    bool retriedOnFreshConnection();
    void releaseConnection(bool keepAlive);
    void restartTransferTimer();
    void finishWithError(NetworkError code, const QString &text);
    void finishComplete();
    QString origin() const;
    bool isHttps() const;
    std::optional<QSslConfiguration> tlsConfiguration() const;

    QPointer<ServiceAccessManager> manager;
    QByteArray verb = "POST";
    QByteArray outgoingBody;
    QAbstractSocket *socket = nullptr;
    bool connectionReused = false;
    bool retried = false;
    HttpResponseParser parser;
    bool metaDataPublished = false;
    QByteArray readable;
    qint64 bytesReceived = 0;
    int redirectsFollowed = 0;
    QTimer *transferTimer;
};
