#include "network/HttpPostReply.h"

#include "network/ServiceAccessManager.h"

#include <QNetworkCookie>
#include <QNetworkCookieJar>
#include <QNetworkProxy>
#include <QSslSocket>
#include <QTcpSocket>
#include <QTimer>

#include <cstring>

namespace {

// The error a QNetworkReply gives for a failed connection.
QNetworkReply::NetworkError connectionError(QAbstractSocket::SocketError socketError)
{
    switch (socketError) {
    case QAbstractSocket::ConnectionRefusedError:
        return QNetworkReply::ConnectionRefusedError;
    case QAbstractSocket::RemoteHostClosedError:
        return QNetworkReply::RemoteHostClosedError;
    case QAbstractSocket::HostNotFoundError:
        return QNetworkReply::HostNotFoundError;
    case QAbstractSocket::SocketTimeoutError:
        return QNetworkReply::TimeoutError;
    case QAbstractSocket::SslHandshakeFailedError:
        return QNetworkReply::SslHandshakeFailedError;
    default:
        return QNetworkReply::UnknownNetworkError;
    }
}

// The error a QNetworkReply gives for an HTTP status of 400 and above.
QNetworkReply::NetworkError statusError(int status)
{
    switch (status) {
    case 400:
        return QNetworkReply::ProtocolInvalidOperationError;
    case 401:
        return QNetworkReply::AuthenticationRequiredError;
    case 403:
        return QNetworkReply::ContentAccessDenied;
    case 404:
        return QNetworkReply::ContentNotFoundError;
    case 405:
        return QNetworkReply::ContentOperationNotPermittedError;
    case 407:
        return QNetworkReply::ProxyAuthenticationRequiredError;
    case 409:
        return QNetworkReply::ContentConflictError;
    case 410:
        return QNetworkReply::ContentGoneError;
    case 500:
        return QNetworkReply::InternalServerError;
    case 501:
        return QNetworkReply::OperationNotImplementedError;
    case 503:
        return QNetworkReply::ServiceUnavailableError;
    default:
        return status < 500 ? QNetworkReply::UnknownContentError
                            : QNetworkReply::UnknownServerError;
    }
}

bool isRedirectStatus(int status)
{
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

int effectivePort(const QUrl &url)
{
    return url.port(url.scheme() == QLatin1String("https") ? 443 : 80);
}

// Fields the reply writes itself, whatever the request holds.
bool isFramingField(const QByteArray &name)
{
    for (const char *own : {"Host", "Content-Length", "Connection", "Transfer-Encoding"}) {
        if (name.compare(own, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

} // namespace

bool HttpPostReply::isHttpUrl(const QUrl &url)
{
    return url.scheme() == QLatin1String("http") || url.scheme() == QLatin1String("https");
}

HttpPostReply::HttpPostReply(ServiceAccessManager *manager, const QNetworkRequest &request,
                             const QByteArray &body)
    : QNetworkReply(manager)
    , manager(manager)
    , outgoingBody(body)
    , transferTimer(new QTimer(this))
{
    setRequest(request);
    setUrl(request.url());
    setOperation(QNetworkAccessManager::PostOperation);
    open(QIODevice::ReadOnly);
    transferTimer->setSingleShot(true);
    const int timeout = request.transferTimeout();
    transferTimer->setInterval(timeout > 0 ? timeout : manager->transferTimeout());
    connect(transferTimer, &QTimer::timeout, this,
            [this] { finishWithError(TimeoutError, tr("Transfer timed out")); });
    // As with Qt's replies, nothing is signalled before the caller holds the reply.
    QMetaObject::invokeMethod(this, &HttpPostReply::start, Qt::QueuedConnection);
}

HttpPostReply::~HttpPostReply()
{
    releaseConnection(false);
}

void HttpPostReply::abort()
{
    finishWithError(OperationCanceledError, tr("Operation canceled"));
}

void HttpPostReply::close()
{
    abort();
    QNetworkReply::close();
}

qint64 HttpPostReply::bytesAvailable() const
{
    return readable.size() + QNetworkReply::bytesAvailable();
}

qint64 HttpPostReply::readData(char *data, qint64 maxSize)
{
    if (readable.isEmpty())
        return isFinished() ? -1 : 0;
    const int count = int(qMin<qint64>(maxSize, readable.size()));
    std::memcpy(data, readable.constData(), size_t(count));
    readable.remove(0, count);
    return count;
}

void HttpPostReply::start()
{
    if (isFinished())
        return;
    const QNetworkRequest sent = request();
    for (const QByteArray &name : sent.rawHeaderList()) {
        if (!HttpResponseParser::isToken(name) ||
            !HttpResponseParser::isFieldValue(sent.rawHeader(name))) {
            finishWithError(ProtocolInvalidOperationError, tr("Invalid request header"));
            return;
        }
    }
    restartTransferTimer();
    openConnection();
}

bool HttpPostReply::isHttps() const
{
    return url().scheme() == QLatin1String("https");
}

QString HttpPostReply::origin() const
{
    return QStringLiteral("%1://%2:%3")
        .arg(url().scheme(), url().host(QUrl::FullyEncoded))
        .arg(effectivePort(url()));
}

std::optional<QSslConfiguration> HttpPostReply::tlsConfiguration() const
{
    // Plain http never loads the TLS library, which even a default configuration would.
    if (!isHttps())
        return std::nullopt;
    return request().sslConfiguration();
}

void HttpPostReply::openConnection()
{
    if (!retried && manager)
        socket = manager->takeIdleConnection(origin(), tlsConfiguration());
    connectionReused = socket != nullptr;
    if (!socket)
        socket = isHttps() ? new QSslSocket(this) : new QTcpSocket(this);
    socket->setParent(this);
    connect(socket, &QAbstractSocket::readyRead, this, &HttpPostReply::readResponse);
    connect(socket, &QAbstractSocket::disconnected, this, &HttpPostReply::connectionEnded);
    connect(socket, &QAbstractSocket::errorOccurred, this, &HttpPostReply::socketFailed);
    if (connectionReused) {
        sendRequest();
        return;
    }
    socket->setProxy(QNetworkProxy::NoProxy);
    const QString host = url().host(QUrl::FullyEncoded);
    const auto port = quint16(effectivePort(url()));
    if (auto *tlsSocket = qobject_cast<QSslSocket *>(socket)) {
        tlsSocket->setSslConfiguration(*tlsConfiguration());
        connect(tlsSocket, &QSslSocket::encrypted, this, &HttpPostReply::sendRequest);
        tlsSocket->connectToHostEncrypted(host, port);
        return;
    }
    connect(socket, &QAbstractSocket::connected, this, &HttpPostReply::sendRequest);
    socket->connectToHost(host, port);
}

void HttpPostReply::sendRequest()
{
    socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    socket->write(requestBytes());
    restartTransferTimer();
    // Out now, not after whatever the event loop does first (such as repainting the window).
    socket->flush();
}

QByteArray HttpPostReply::requestBytes() const
{
    QByteArray target = url().path(QUrl::FullyEncoded).toLatin1();
    if (target.isEmpty())
        target = "/";
    if (url().hasQuery())
        target += '?' + url().query(QUrl::FullyEncoded).toLatin1();
    QByteArray host = url().host(QUrl::FullyEncoded).toLatin1();
    if (host.contains(':'))
        host = '[' + host + ']';
    if (url().port() != -1)
        host += ':' + QByteArray::number(url().port());

    const bool withBody = verb != "GET";
    QByteArray bytes = verb + ' ' + target + " HTTP/1.1\r\nHost: " + host + "\r\n";
    const QNetworkRequest sent = request();
    for (const QByteArray &name : sent.rawHeaderList()) {
        if (isFramingField(name) ||
            (!withBody && name.compare("Content-Type", Qt::CaseInsensitive) == 0))
            continue;
        bytes += name + ": " + sent.rawHeader(name) + "\r\n";
    }
    QNetworkCookieJar *jar = manager ? manager->cookieJar() : nullptr;
    const QList<QNetworkCookie> cookies = jar ? jar->cookiesForUrl(url()) : QList<QNetworkCookie>();
    if (!cookies.isEmpty() && !sent.hasRawHeader("Cookie")) {
        QList<QByteArray> pairs;
        for (const QNetworkCookie &cookie : cookies)
            pairs << cookie.toRawForm(QNetworkCookie::NameAndValueOnly);
        bytes += "Cookie: " + pairs.join("; ") + "\r\n";
    }
    // What Qt's own requests said, so the services see the client as before.
    if (!sent.hasRawHeader("User-Agent"))
        bytes += "User-Agent: Mozilla/5.0\r\n";
    if (withBody)
        bytes += "Content-Length: " + QByteArray::number(outgoingBody.size()) + "\r\n";
    bytes += "Connection: keep-alive\r\n\r\n";
    if (withBody)
        bytes += outgoingBody;
    return bytes;
}

void HttpPostReply::readResponse()
{
    parser.feed(socket->readAll());
    restartTransferTimer();
    deliver();
}

void HttpPostReply::connectionEnded()
{
    if (isFinished() || retriedOnFreshConnection())
        return;
    parser.feed(socket->readAll());
    parser.finishAtEndOfStream();
    if (parser.complete())
        deliver();
    else
        finishWithError(RemoteHostClosedError, tr("Connection closed"));
}

void HttpPostReply::socketFailed(QAbstractSocket::SocketError socketError)
{
    // A close is decided when the socket reports it disconnected, with what it still holds.
    if (isFinished() || socketError == QAbstractSocket::RemoteHostClosedError)
        return;
    if (retriedOnFreshConnection())
        return;
    finishWithError(connectionError(socketError), socket->errorString());
}

bool HttpPostReply::retriedOnFreshConnection()
{
    if (!connectionReused || retried || !parser.untouched())
        return false;
    retried = true;
    releaseConnection(false);
    openConnection();
    return true;
}

void HttpPostReply::deliver()
{
    if (parser.failed()) {
        finishWithError(ProtocolFailure, tr("The server's reply is not valid HTTP"));
        return;
    }
    if (!parser.headersComplete())
        return;
    if (isRedirectToFollow()) {
        parser.takeBody();
        if (parser.complete())
            followRedirect();
        return;
    }
    if (!metaDataPublished) {
        publishMetaData();
        if (isFinished())
            return;
    }
    const QByteArray body = parser.takeBody();
    if (!body.isEmpty()) {
        readable += body;
        bytesReceived += body.size();
        emit readyRead();
        if (isFinished())
            return;
        const QVariant length = header(QNetworkRequest::ContentLengthHeader);
        emit downloadProgress(bytesReceived, length.isValid() ? length.toLongLong() : -1);
        if (isFinished())
            return;
    }
    if (parser.complete()) {
        releaseConnection(parser.connectionReusable());
        finishComplete();
    }
}

void HttpPostReply::publishMetaData()
{
    metaDataPublished = true;
    setAttribute(QNetworkRequest::HttpStatusCodeAttribute, parser.statusCode());
    setAttribute(QNetworkRequest::HttpReasonPhraseAttribute,
                 QString::fromLatin1(parser.reasonPhrase()));
    QNetworkCookieJar *jar = manager ? manager->cookieJar() : nullptr;
    for (const auto &field : parser.headers()) {
        const bool cookie = field.first.compare("Set-Cookie", Qt::CaseInsensitive) == 0;
        if (cookie && jar)
            jar->setCookiesFromUrl(QNetworkCookie::parseCookies(field.second), url());
        // Repeated fields are joined as Qt joins them.
        const QByteArray earlier = rawHeader(field.first);
        setRawHeader(field.first, earlier.isNull()
                                      ? field.second
                                      : earlier + (cookie ? "\n" : ", ") + field.second);
    }
    if (isRedirectStatus(parser.statusCode()) && !parser.header("Location").isEmpty())
        setAttribute(QNetworkRequest::RedirectionTargetAttribute, redirectTarget());
    emit metaDataChanged();
}

QUrl HttpPostReply::redirectTarget() const
{
    return url().resolved(QUrl::fromEncoded(parser.header("Location")));
}

// The request's own policy, else the manager's.
int HttpPostReply::redirectPolicy() const
{
    const QVariant attribute = request().attribute(QNetworkRequest::RedirectPolicyAttribute);
    if (attribute.isValid())
        return attribute.toInt();
    return manager ? int(manager->redirectPolicy()) : int(QNetworkRequest::ManualRedirectPolicy);
}

bool HttpPostReply::isRedirectToFollow() const
{
    if (!isRedirectStatus(parser.statusCode()) || parser.header("Location").isEmpty())
        return false;
    const int policy = redirectPolicy();
    return policy == QNetworkRequest::NoLessSafeRedirectPolicy ||
           policy == QNetworkRequest::SameOriginRedirectPolicy;
}

void HttpPostReply::followRedirect()
{
    const QUrl target = redirectTarget();
    const int status = parser.statusCode();
    releaseConnection(parser.connectionReusable());
    if (!target.isValid() || !isHttpUrl(target)) {
        finishWithError(ProtocolUnknownError, tr("Redirect to an unsupported address"));
        return;
    }
    const bool sameOrigin =
        target.scheme() == url().scheme() && effectivePort(target) == effectivePort(url());
    const bool sameOriginOnly = redirectPolicy() == QNetworkRequest::SameOriginRedirectPolicy;
    // The request carries a password or a token: only the service it was meant for gets it,
    // the same host and the same port.
    if (target.host() != url().host() || effectivePort(target) != effectivePort(url()) ||
        (isHttps() && target.scheme() != url().scheme()) || (sameOriginOnly && !sameOrigin)) {
        finishWithError(InsecureRedirectError, tr("Insecure redirect"));
        return;
    }
    if (++redirectsFollowed > request().maximumRedirectsAllowed()) {
        finishWithError(TooManyRedirectsError, tr("Too many redirects"));
        return;
    }
    if (status == 303 || ((status == 301 || status == 302) && verb == "POST")) {
        verb = "GET";
        outgoingBody.clear();
    }
    parser = HttpResponseParser();
    retried = false;
    setUrl(target);
    emit redirected(target);
    if (!isFinished())
        openConnection();
}

void HttpPostReply::releaseConnection(bool keepAlive)
{
    if (!socket)
        return;
    QAbstractSocket *released = socket;
    socket = nullptr;
    released->disconnect(this);
    if (keepAlive && manager) {
        manager->keepIdleConnection(origin(), tlsConfiguration(), released);
        return;
    }
    released->abort();
    released->deleteLater();
}

void HttpPostReply::restartTransferTimer()
{
    if (transferTimer->interval() > 0)
        transferTimer->start();
}

void HttpPostReply::finishWithError(NetworkError code, const QString &text)
{
    if (isFinished())
        return;
    transferTimer->stop();
    releaseConnection(false);
    setError(code, text);
    setFinished(true);
    emit errorOccurred(code);
    emit finished();
}

void HttpPostReply::finishComplete()
{
    transferTimer->stop();
    setFinished(true);
    const int status = parser.statusCode();
    if (status >= 400) {
        setError(statusError(status), QString::fromLatin1(parser.reasonPhrase()));
        emit errorOccurred(error());
    }
    emit readChannelFinished();
    emit finished();
}
