#include "network/ServiceAccessManager.h"

#include "network/HttpPostReply.h"

#include <QAbstractSocket>
#include <QNetworkProxyFactory>
#include <QNetworkProxyQuery>

ServiceAccessManager::ServiceAccessManager(QObject *parent)
    : QNetworkAccessManager(parent)
{}

QNetworkReply *ServiceAccessManager::createRequest(Operation operation,
                                                   const QNetworkRequest &request,
                                                   QIODevice *outgoingData)
{
    // A body that is all there, in memory, as QNetworkAccessManager::post(request, QByteArray)
    // hands it over.
    const bool wholeBody = outgoingData && !outgoingData->isSequential();
    if (operation != PostOperation || !HttpPostReply::isHttpUrl(request.url()) || !wholeBody ||
        !reachesDirectly(request.url()))
        return QNetworkAccessManager::createRequest(operation, request, outgoingData);
    return new HttpPostReply(this, request, outgoingData->readAll());
}

// Through a proxy the exchange is Qt's, which knows how to speak to one.
bool ServiceAccessManager::reachesDirectly(const QUrl &url) const
{
    if (proxy().type() == QNetworkProxy::NoProxy)
        return true;
    if (proxy().type() != QNetworkProxy::DefaultProxy || proxyFactory())
        return false;
    const QList<QNetworkProxy> proxies =
        QNetworkProxyFactory::proxyForQuery(QNetworkProxyQuery(url));
    return proxies.isEmpty() || proxies.first().type() == QNetworkProxy::NoProxy;
}

QAbstractSocket *ServiceAccessManager::takeIdleConnection(const QString &origin,
                                                          const TlsConfiguration &tls)
{
    for (int i = 0; i < idleConnections.size();) {
        if (idleConnections.at(i).origin != origin || idleConnections.at(i).tls != tls) {
            ++i;
            continue;
        }
        const IdleConnection idle = idleConnections.takeAt(i);
        QAbstractSocket *socket = idle.socket.data();
        if (!socket)
            continue;
        socket->disconnect(this);
        const bool usable = socket->state() == QAbstractSocket::ConnectedState &&
                            socket->bytesAvailable() == 0 &&
                            !idle.idleSince.hasExpired(idleConnectionLifetimeMs);
        if (usable)
            return socket;
        close(socket);
    }
    return nullptr;
}

void ServiceAccessManager::keepIdleConnection(const QString &origin, const TlsConfiguration &tls,
                                              QAbstractSocket *socket)
{
    if (idleConnections.size() >= maximumIdleConnections)
        close(idleConnections.takeFirst().socket);
    socket->setParent(this);
    // A connection the server closes, or that speaks out of turn, is no good for a request.
    const auto drop = [this, socket] { forget(socket); };
    connect(socket, &QAbstractSocket::disconnected, this, drop);
    connect(socket, &QAbstractSocket::readyRead, this, drop);
    connect(socket, &QAbstractSocket::errorOccurred, this, drop);
    IdleConnection idle{origin, tls, socket, {}};
    idle.idleSince.start();
    idleConnections.append(idle);
}

void ServiceAccessManager::forget(QAbstractSocket *socket)
{
    for (int i = 0; i < idleConnections.size(); ++i) {
        if (idleConnections.at(i).socket == socket) {
            idleConnections.remove(i);
            break;
        }
    }
    close(socket);
}

void ServiceAccessManager::close(QAbstractSocket *socket)
{
    if (!socket)
        return;
    socket->disconnect(this);
    socket->abort();
    socket->deleteLater();
}
