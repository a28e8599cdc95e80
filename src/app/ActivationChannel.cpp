#include "app/ActivationChannel.h"

#include "platform/ActivationChannelName.h"
#include "types/LogCategories.h"

#include <QDebug>
#include <QLocalServer>
#include <QLocalSocket>

namespace {

const QByteArray showRequest = QByteArrayLiteral("show\n");

} // namespace

ActivationChannel::ActivationChannel(QObject *parent)
    : QObject(parent)
    , server(new QLocalServer(this))
{
    const QString name = Platform::activationChannelName();
    // Only the copy holding the guard gets here: a socket left by a crash is stale.
    QLocalServer::removeServer(name);
    server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!server->listen(name))
        qCDebug(lcApp).noquote() << "Cannot listen for a second launch:" << server->errorString();
    connect(server, &QLocalServer::newConnection, this, &ActivationChannel::readRequest);
}

void ActivationChannel::readRequest()
{
    while (QLocalSocket *socket = server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            if (socket->readAll().startsWith(showRequest))
                emit showRequested();
            socket->disconnectFromServer();
        });
    }
}

bool ActivationChannel::askRunningInstanceToShow(int timeoutMs)
{
    QLocalSocket socket;
    socket.connectToServer(Platform::activationChannelName());
    if (!socket.waitForConnected(timeoutMs))
        return false;
    socket.write(showRequest);
    return socket.waitForBytesWritten(timeoutMs);
}
