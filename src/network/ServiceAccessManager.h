#pragma once

#include <QElapsedTimer>
#include <QNetworkAccessManager>
#include <QPointer>
#include <QSslConfiguration>
#include <QVector>

#include <optional>

class QAbstractSocket;

// The client's access manager: a POST to an http or https service goes out as one piece, its
// header and its body in a single write on a socket that does not wait to fill a segment
// (HttpPostReply). Qt's own HTTP sends the body from another thread after the header, so on a
// kept-alive connection the body waited for the server's delayed acknowledgement, about 40 ms
// on every request. Everything else (GETs, proxies, other schemes) is Qt's as before.
class ServiceAccessManager final : public QNetworkAccessManager {
    Q_OBJECT

public:
    explicit ServiceAccessManager(QObject *parent = nullptr);

    // A kept-alive connection that ended no longer ago than this is used for the next request
    // to the same place.
    static constexpr qint64 idleConnectionLifetimeMs = 60000;
    // As many as Qt keeps per host; requests in flight at once are each given their own.
    static constexpr int maximumIdleConnections = 6;

    // A connection kept alive for the next request to the same origin and TLS configuration
    // (none for plain http, which never loads the TLS library); null when there is none. The
    // caller owns the socket.
    using TlsConfiguration = std::optional<QSslConfiguration>;
    QAbstractSocket *takeIdleConnection(const QString &origin, const TlsConfiguration &tls);
    void keepIdleConnection(const QString &origin, const TlsConfiguration &tls,
                            QAbstractSocket *socket);

protected:
    QNetworkReply *createRequest(Operation operation, const QNetworkRequest &request,
                                 QIODevice *outgoingData) override;

private:
    struct IdleConnection {
        QString origin;
        TlsConfiguration tls;
        QPointer<QAbstractSocket> socket;
        QElapsedTimer idleSince;
    };

    bool reachesDirectly(const QUrl &url) const;
    void forget(QAbstractSocket *socket);
    void close(QAbstractSocket *socket);

    QVector<IdleConnection> idleConnections;
};
