#include "network/ServiceAccessManager.h"

#include <QNetworkProxy>
#include <QNetworkReply>
#include <QProcess>
#include <QSignalSpy>
#include <QSslCertificate>
#include <QSslKey>
#include <QSslSocket>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <linux/tcp.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <memory>
#include <optional>
#include <utility>

namespace {

// Segments that carried data into a connection so far, as the kernel counts them.
int dataSegmentsIn(qintptr descriptor)
{
    tcp_info info{};
    socklen_t length = sizeof info;
    if (getsockopt(int(descriptor), IPPROTO_TCP, TCP_INFO, &info, &length) != 0)
        return -1;
    return int(info.tcpi_data_segs_in);
}

// An HTTP server on a loopback port that answers each whole request it reads with the next
// scripted answer, written in the pieces given, and records the request, the connection it
// came on and the segments it came in. With TLS it speaks through the given certificate.
class RawHttpServer final : public QTcpServer {
public:
    struct Answer {
        QList<QByteArray> pieces;
        bool closeAfter = false;
    };
    struct Exchange {
        QByteArray request;
        int connection = 0;
        int dataSegments = 0;
    };

    using Identity = std::pair<QSslCertificate, QSslKey>;

    explicit RawHttpServer(std::optional<Identity> identity = std::nullopt)
        : identity(std::move(identity))
    {
        listen(QHostAddress::LocalHost);
    }

    QString url(const QString &path, const QString &host = QStringLiteral("127.0.0.1")) const
    {
        const QString scheme = identity ? QStringLiteral("https") : QStringLiteral("http");
        return QStringLiteral("%1://%2:%3%4").arg(scheme, host).arg(serverPort()).arg(path);
    }

    void answer(const QByteArray &whole, bool closeAfter = false)
    {
        answers.append({{whole}, closeAfter});
    }
    void answerInPieces(const QList<QByteArray> &pieces) { answers.append({pieces, false}); }
    // Reads the next request and closes its connection without a word.
    void hangUp() { answers.append({{}, true}); }

    QVector<Exchange> exchanges;
    int connections = 0;

protected:
    void incomingConnection(qintptr descriptor) override
    {
        QTcpSocket *socket = identity ? new QSslSocket(this) : new QTcpSocket(this);
        socket->setSocketDescriptor(descriptor);
        const int connection = ++connections;
        connect(socket, &QTcpSocket::readyRead, this, [=] {
            Unanswered &unanswered = pending[socket];
            unanswered.bytes += socket->readAll();
            QByteArray request;
            while (takeRequest(unanswered.bytes, request)) {
                const int segments = dataSegmentsIn(descriptor);
                exchanges.append({request, connection, segments - unanswered.segmentsCounted});
                unanswered.segmentsCounted = segments;
                respond(socket);
            }
        });
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        if (auto *tls = qobject_cast<QSslSocket *>(socket)) {
            tls->setLocalCertificate(identity->first);
            tls->setPrivateKey(identity->second);
            tls->startServerEncryption();
        }
    }

private:
    static bool takeRequest(QByteArray &buffer, QByteArray &request)
    {
        const int headerEnd = buffer.indexOf("\r\n\r\n");
        if (headerEnd < 0)
            return false;
        const QByteArray head = buffer.left(headerEnd).toLower();
        const int field = head.indexOf("content-length:");
        const int length =
            field < 0
                ? 0
                : head.mid(field + 15, head.indexOf("\r\n", field) - field - 15).trimmed().toInt();
        if (buffer.size() < headerEnd + 4 + length)
            return false;
        request = buffer.left(headerEnd + 4 + length);
        buffer.remove(0, request.size());
        return true;
    }

    void respond(QTcpSocket *socket)
    {
        const Answer next = answers.isEmpty()
                                ? Answer{{"HTTP/1.1 599 None\r\nContent-Length: 0\r\n\r\n"}, false}
                            : answers.size() > 1 ? answers.takeFirst()
                                                 : answers.first();
        int delay = 0;
        for (const QByteArray &piece : next.pieces) {
            QTimer::singleShot(delay, socket, [socket, piece] {
                socket->write(piece);
                socket->flush();
            });
            delay += 20;
        }
        if (next.closeAfter)
            QTimer::singleShot(delay, socket, [socket] { socket->disconnectFromHost(); });
    }

    // What a connection has sent that is not yet a whole request.
    struct Unanswered {
        QByteArray bytes;
        int segmentsCounted = 0;
    };

    std::optional<Identity> identity;
    QList<Answer> answers;
    QHash<QTcpSocket *, Unanswered> pending;
};

QByteArray okWith(const QByteArray &body, const QByteArray &fields = {})
{
    return "HTTP/1.1 200 OK\r\n" + fields + "Content-Length: " + QByteArray::number(body.size()) +
           "\r\n\r\n" + body;
}

QNetworkRequest jsonRequest(const QString &url)
{
    QNetworkRequest request{QUrl(url)};
    request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/json"));
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::NoLessSafeRedirectPolicy);
    return request;
}

// Waits for the reply to finish and counts how often it said so.
int finishes(QNetworkReply *reply, int timeoutMs = 5000)
{
    QSignalSpy finished(reply, &QNetworkReply::finished);
    if (!reply->isFinished())
        finished.wait(timeoutMs);
    QTest::qWait(50);
    return finished.count();
}

} // namespace

class TestServiceAccessManager : public QObject {
    Q_OBJECT

private slots:
    void init();
    void plainHttpLeavesTheTlsLibraryUnloaded();
    void postsGoOutWholeOnOneKeptConnection();
    void repliesAsTheyCome_data();
    void repliesAsTheyCome();
    void keptConnectionClosedBeforeAnAnswerIsReplacedOnce();
    void redirects_data();
    void redirects();
    void redirectToAnotherPortIsRefused();
    void sameOriginPolicyOfTheManagerHolds();
    void tls_data();
    void tls();
    void silentServerTimesOut();
    void abortFinishesOnce();
    void headerWithALineBreakIsNeverSent();
    void cookiesComeBack();
    void proxyIsStillUsed();

private:
    const RawHttpServer::Identity &localhostIdentity();

    QTemporaryDir keys;
    std::optional<RawHttpServer::Identity> identity;
    std::unique_ptr<ServiceAccessManager> manager;
};

// A throw-away certificate for localhost, made when first needed so no key lives in the
// repository and the TLS library is not loaded before the plain-http test.
const RawHttpServer::Identity &TestServiceAccessManager::localhostIdentity()
{
    if (identity)
        return *identity;
    QProcess openssl;
    openssl.start("openssl", {"req", "-x509", "-newkey", "ec", "-pkeyopt",
                              "ec_paramgen_curve:prime256v1", "-nodes", "-days", "2", "-subj",
                              "/CN=localhost", "-addext", "subjectAltName=DNS:localhost", "-keyout",
                              keys.filePath("key.pem"), "-out", keys.filePath("cert.pem")});
    openssl.waitForFinished(30000);
    QFile certificateFile(keys.filePath("cert.pem"));
    QFile keyFile(keys.filePath("key.pem"));
    certificateFile.open(QIODevice::ReadOnly);
    keyFile.open(QIODevice::ReadOnly);
    identity.emplace(QSslCertificate(&certificateFile), QSslKey(&keyFile, QSsl::Ec));
    return *identity;
}

void TestServiceAccessManager::init()
{
    manager = std::make_unique<ServiceAccessManager>();
    QNetworkProxy::setApplicationProxy(QNetworkProxy::NoProxy);
}

// Plain http, the services' address in tests and the demo, starts without the TLS library.
void TestServiceAccessManager::plainHttpLeavesTheTlsLibraryUnloaded()
{
    RawHttpServer server;
    server.answer(okWith("{}"));
    QNetworkReply *reply = manager->post(jsonRequest(server.url("/graphql")), "{}");
    QCOMPARE(finishes(reply), 1);
    QCOMPARE(reply->error(), QNetworkReply::NoError);
    QFile maps(QStringLiteral("/proc/self/maps"));
    QVERIFY(maps.open(QIODevice::ReadOnly));
    QVERIFY(!maps.readAll().contains("libssl"));
}

// Qt's own HTTP wrote the header, then the body from another thread: two segments, and on a kept
// connection the body waited for the server's delayed acknowledgement.
void TestServiceAccessManager::postsGoOutWholeOnOneKeptConnection()
{
    RawHttpServer server;
    server.answer(okWith(R"({"status":"success"})"));
    const QByteArray body = R"({"server_ip": "198.51.100.7", "user_id": "m@example.com"})";
    for (int i = 0; i < 3; ++i) {
        QNetworkReply *reply = manager->post(jsonRequest(server.url("/api/client/connect")), body);
        QCOMPARE(finishes(reply), 1);
        QCOMPARE(reply->error(), QNetworkReply::NoError);
        QCOMPARE(reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(), 200);
        QCOMPARE(reply->readAll(), QByteArray(R"({"status":"success"})"));
        reply->deleteLater();
    }
    QCOMPARE(server.exchanges.size(), 3);
    QCOMPARE(server.connections, 1);
    for (const auto &exchange : server.exchanges) {
        QCOMPARE(exchange.dataSegments, 1);
        QVERIFY(
            exchange.request.startsWith("POST /api/client/connect HTTP/1.1\r\nHost: 127.0.0.1:"));
        QVERIFY(exchange.request.contains("\r\nContent-Type: application/json\r\n"));
        QVERIFY(exchange.request.endsWith("\r\nContent-Length: " + QByteArray::number(body.size()) +
                                          "\r\nConnection: keep-alive\r\n\r\n" + body));
    }
}

void TestServiceAccessManager::repliesAsTheyCome_data()
{
    QTest::addColumn<QList<QByteArray>>("pieces");
    QTest::addColumn<bool>("closeAfter");
    QTest::addColumn<int>("error");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("body");

    QTest::newRow("length, in pieces")
        << QList<QByteArray>{"HTTP/1.1 200 OK\r\nContent-Le", "ngth: 11\r\n\r\nhello", " world"}
        << false << int(QNetworkReply::NoError) << 200 << QByteArray("hello world");
    QTest::newRow("chunked, in pieces")
        << QList<QByteArray>{"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nhel",
                             "lo\r\n6\r\n world\r\n", "0\r\n\r\n"}
        << false << int(QNetworkReply::NoError) << 200 << QByteArray("hello world");
    QTest::newRow("to the end of the stream")
        << QList<QByteArray>{"HTTP/1.1 200 OK\r\n\r\n[1,", "2]"} << true
        << int(QNetworkReply::NoError) << 200 << QByteArray("[1,2]");
    QTest::newRow("refused token")
        << QList<QByteArray>{"HTTP/1.1 401 Unauthorized\r\nContent-Length: 2\r\n\r\n{}"} << false
        << int(QNetworkReply::AuthenticationRequiredError) << 401 << QByteArray("{}");
    QTest::newRow("server error") << QList<QByteArray>{"HTTP/1.1 502 Bad Gateway\r\n\r\n"} << true
                                  << int(QNetworkReply::UnknownServerError) << 502 << QByteArray();
    QTest::newRow("not HTTP") << QList<QByteArray>{"SSH-2.0-OpenSSH_9.2\r\n"} << false
                              << int(QNetworkReply::ProtocolFailure) << 0 << QByteArray();
    QTest::newRow("cut short")
        << QList<QByteArray>{"HTTP/1.1 200 OK\r\nContent-Length: 9\r\n\r\nhel"} << true
        << int(QNetworkReply::RemoteHostClosedError) << 200 << QByteArray("hel");
    QTest::newRow("closed without an answer")
        << QList<QByteArray>{} << true << int(QNetworkReply::RemoteHostClosedError) << 0
        << QByteArray();
}

void TestServiceAccessManager::repliesAsTheyCome()
{
    QFETCH(QList<QByteArray>, pieces);
    QFETCH(bool, closeAfter);
    QFETCH(int, error);
    QFETCH(int, status);
    QFETCH(QByteArray, body);
    RawHttpServer server;
    if (pieces.isEmpty())
        server.hangUp();
    else if (closeAfter)
        server.answer(pieces.join(), true);
    else
        server.answerInPieces(pieces);
    QNetworkReply *reply = manager->post(jsonRequest(server.url("/graphql")), "{}");
    QSignalSpy progress(reply, &QNetworkReply::downloadProgress);
    QCOMPARE(finishes(reply), 1);
    QCOMPARE(int(reply->error()), error);
    if (status)
        QCOMPARE(reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(), status);
    QCOMPARE(reply->readAll(), body);
    if (!body.isEmpty())
        QCOMPARE(progress.last().at(0).toLongLong(), qint64(body.size()));
    // A fresh connection that ends without an answer is not tried again.
    QCOMPARE(server.connections, 1);
}

void TestServiceAccessManager::keptConnectionClosedBeforeAnAnswerIsReplacedOnce()
{
    RawHttpServer server;
    server.answer(okWith("first"));
    server.hangUp();
    server.answer(okWith("second"));
    QNetworkReply *first = manager->post(jsonRequest(server.url("/graphql")), "{}");
    QCOMPARE(finishes(first), 1);
    QNetworkReply *second = manager->post(jsonRequest(server.url("/graphql")), "{}");
    QCOMPARE(finishes(second), 1);
    QCOMPARE(second->error(), QNetworkReply::NoError);
    QCOMPARE(second->readAll(), QByteArray("second"));
    QCOMPARE(server.connections, 2);
    QCOMPARE(server.exchanges.size(), 3);
    QCOMPARE(server.exchanges.at(1).connection, 1);
    QCOMPARE(server.exchanges.at(2).connection, 2);
}

void TestServiceAccessManager::redirects_data()
{
    QTest::addColumn<QByteArray>("status");
    QTest::addColumn<QString>("targetHost");
    QTest::addColumn<int>("policy");
    QTest::addColumn<int>("error");
    QTest::addColumn<QByteArray>("followedAs");

    const int lessSafe = QNetworkRequest::NoLessSafeRedirectPolicy;
    QTest::newRow("307 keeps the POST")
        << QByteArray("307 Temporary Redirect") << "127.0.0.1" << lessSafe
        << int(QNetworkReply::NoError) << QByteArray("POST /moved HTTP/1.1");
    QTest::newRow("308 keeps the POST")
        << QByteArray("308 Permanent Redirect") << "127.0.0.1" << lessSafe
        << int(QNetworkReply::NoError) << QByteArray("POST /moved HTTP/1.1");
    QTest::newRow("303 turns into a GET")
        << QByteArray("303 See Other") << "127.0.0.1" << lessSafe << int(QNetworkReply::NoError)
        << QByteArray("GET /moved HTTP/1.1");
    QTest::newRow("another host") << QByteArray("307 Temporary Redirect") << "localhost" << lessSafe
                                  << int(QNetworkReply::InsecureRedirectError) << QByteArray();
    QTest::newRow("manual") << QByteArray("307 Temporary Redirect") << "127.0.0.1"
                            << int(QNetworkRequest::ManualRedirectPolicy)
                            << int(QNetworkReply::NoError) << QByteArray();
}

void TestServiceAccessManager::redirects()
{
    QFETCH(QByteArray, status);
    QFETCH(QString, targetHost);
    QFETCH(int, policy);
    QFETCH(int, error);
    QFETCH(QByteArray, followedAs);
    RawHttpServer server;
    const QString target = server.url("/moved", targetHost);
    server.answer("HTTP/1.1 " + status + "\r\nLocation: " + target.toUtf8() +
                  "\r\nContent-Length: 5\r\n\r\nmoved");
    server.answer(okWith("arrived"));
    QNetworkRequest request = jsonRequest(server.url("/graphql"));
    request.setRawHeader("Authorization", "Bearer tok-123");
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, policy);
    QNetworkReply *reply = manager->post(request, "{\"query\":1}");
    QCOMPARE(finishes(reply), 1);
    QCOMPARE(int(reply->error()), error);
    if (followedAs.isEmpty()) {
        QCOMPARE(server.exchanges.size(), 1);
        if (!error)
            QCOMPARE(reply->attribute(QNetworkRequest::RedirectionTargetAttribute).toUrl(),
                     QUrl(target));
        return;
    }
    QCOMPARE(reply->readAll(), QByteArray("arrived"));
    QCOMPARE(reply->url(), QUrl(target));
    QCOMPARE(server.exchanges.size(), 2);
    const QByteArray followed = server.exchanges.at(1).request;
    QVERIFY2(followed.startsWith(followedAs), followed.constData());
    QVERIFY(followed.contains("\r\nAuthorization: Bearer tok-123\r\n"));
    QCOMPARE(followed.endsWith("{\"query\":1}"), followedAs.startsWith("POST"));
}

// The token goes to the service it was meant for: the same host on another port is another
// service, whatever the policy.
void TestServiceAccessManager::redirectToAnotherPortIsRefused()
{
    RawHttpServer server;
    RawHttpServer otherPort;
    server.answer("HTTP/1.1 307 Temporary Redirect\r\nLocation: " +
                  otherPort.url("/moved").toUtf8() + "\r\nContent-Length: 0\r\n\r\n");
    otherPort.answer(okWith("arrived"));
    QNetworkRequest request = jsonRequest(server.url("/graphql"));
    request.setRawHeader("Authorization", "Bearer tok-123");
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::NoLessSafeRedirectPolicy);
    QNetworkReply *reply = manager->post(request, "{}");
    QCOMPARE(finishes(reply), 1);
    QCOMPARE(reply->error(), QNetworkReply::InsecureRedirectError);
    QCOMPARE(otherPort.exchanges.size(), 0);
}

// A policy set on the manager, not the request, is the one a redirect follows.
void TestServiceAccessManager::sameOriginPolicyOfTheManagerHolds()
{
    RawHttpServer server;
    RawHttpServer otherPort;
    server.answer("HTTP/1.1 307 Temporary Redirect\r\nLocation: " +
                  otherPort.url("/moved").toUtf8() + "\r\nContent-Length: 0\r\n\r\n");
    otherPort.answer(okWith("arrived"));
    manager->setRedirectPolicy(QNetworkRequest::SameOriginRedirectPolicy);
    QNetworkReply *reply = manager->post(QNetworkRequest(QUrl(server.url("/graphql"))), "{}");
    QCOMPARE(finishes(reply), 1);
    QCOMPARE(reply->error(), QNetworkReply::InsecureRedirectError);
    QCOMPARE(otherPort.exchanges.size(), 0);
}

void TestServiceAccessManager::tls_data()
{
    QTest::addColumn<bool>("trusted");
    QTest::newRow("certificate trusted") << true;
    QTest::newRow("certificate unknown") << false;
}

void TestServiceAccessManager::tls()
{
    QFETCH(bool, trusted);
    const QSslCertificate certificate = localhostIdentity().first;
    QVERIFY(!certificate.isNull() && !localhostIdentity().second.isNull());
    RawHttpServer server(localhostIdentity());
    server.answer(okWith("secret"));
    QNetworkRequest request = jsonRequest(server.url("/graphql", QStringLiteral("localhost")));
    QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
    if (trusted)
        configuration.setCaCertificates({certificate});
    request.setSslConfiguration(configuration);
    for (int i = 0; i < 2; ++i) {
        QNetworkReply *reply = manager->post(request, "{\"password\":\"pw\"}");
        QCOMPARE(finishes(reply), 1);
        QCOMPARE(reply->error(),
                 trusted ? QNetworkReply::NoError : QNetworkReply::SslHandshakeFailedError);
        QCOMPARE(reply->readAll(), trusted ? QByteArray("secret") : QByteArray());
    }
    QCOMPARE(server.exchanges.size(), trusted ? 2 : 0);
    if (trusted)
        QCOMPARE(server.connections, 1);
}

void TestServiceAccessManager::silentServerTimesOut()
{
    QTcpServer silent;
    QVERIFY(silent.listen(QHostAddress::LocalHost));
    QNetworkRequest request =
        jsonRequest(QStringLiteral("http://127.0.0.1:%1/graphql").arg(silent.serverPort()));
    request.setTransferTimeout(200);
    QNetworkReply *reply = manager->post(request, "{}");
    QCOMPARE(finishes(reply), 1);
    QCOMPARE(reply->error(), QNetworkReply::TimeoutError);
}

void TestServiceAccessManager::abortFinishesOnce()
{
    QTcpServer silent;
    QVERIFY(silent.listen(QHostAddress::LocalHost));
    QNetworkReply *reply = manager->post(
        jsonRequest(QStringLiteral("http://127.0.0.1:%1/graphql").arg(silent.serverPort())), "{}");
    QSignalSpy finished(reply, &QNetworkReply::finished);
    QTest::qWait(50);
    reply->abort();
    reply->abort();
    QTest::qWait(50);
    QCOMPARE(finished.count(), 1);
    QCOMPARE(reply->error(), QNetworkReply::OperationCanceledError);
}

void TestServiceAccessManager::headerWithALineBreakIsNeverSent()
{
    RawHttpServer server;
    QNetworkRequest request = jsonRequest(server.url("/graphql"));
    request.setRawHeader("Authorization", "Bearer tok\r\nX-Injected: yes");
    QNetworkReply *reply = manager->post(request, "{}");
    QCOMPARE(finishes(reply), 1);
    QCOMPARE(reply->error(), QNetworkReply::ProtocolInvalidOperationError);
    QCOMPARE(server.connections, 0);
}

void TestServiceAccessManager::cookiesComeBack()
{
    RawHttpServer server;
    server.answer(okWith("{}", "Set-Cookie: route=b7; Path=/\r\n"));
    for (int i = 0; i < 2; ++i)
        QCOMPARE(finishes(manager->post(jsonRequest(server.url("/graphql")), "{}")), 1);
    QCOMPARE(server.exchanges.size(), 2);
    QVERIFY(!server.exchanges.at(0).request.contains("Cookie:"));
    QVERIFY(server.exchanges.at(1).request.contains("\r\nCookie: route=b7\r\n"));
}

// A member behind a proxy keeps reaching the services through it.
void TestServiceAccessManager::proxyIsStillUsed()
{
    RawHttpServer proxy;
    proxy.answer(okWith("through the proxy"));
    QNetworkProxy::setApplicationProxy(
        QNetworkProxy(QNetworkProxy::HttpProxy, QStringLiteral("127.0.0.1"), proxy.serverPort()));
    QNetworkReply *reply =
        manager->post(jsonRequest(QStringLiteral("http://service.invalid/graphql")), "{}");
    QCOMPARE(finishes(reply), 1);
    QCOMPARE(reply->readAll(), QByteArray("through the proxy"));
    QCOMPARE(proxy.exchanges.size(), 1);
    QVERIFY(proxy.exchanges.first().request.startsWith("POST http://service.invalid/graphql "));
    QNetworkProxy::setApplicationProxy(QNetworkProxy::NoProxy);
}

QTEST_GUILESS_MAIN(TestServiceAccessManager)
#include "TestServiceAccessManager.moc"
