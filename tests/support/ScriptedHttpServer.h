#pragma once

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QVector>

#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

namespace httplib {
class Server;
}

// An HTTP server on a free loopback port that answers each request with the next scripted
// reply for its method and path, and records every request it receives. It listens on
// 127.0.0.1 unless given another loopback address.
class ScriptedHttpServer final {
public:
    struct Reply {
        int status = 200;
        QByteArray body;
        int delayMs = 0;
        bool neverAnswer = false;
    };

    struct Request {
        QString method;
        QString path;
        QMap<QString, QString> headers; // names in lower case
        QByteArray body;
    };

    explicit ScriptedHttpServer(const QString &address = QStringLiteral("127.0.0.1"));
    ~ScriptedHttpServer();

    ScriptedHttpServer(const ScriptedHttpServer &) = delete;
    ScriptedHttpServer &operator=(const ScriptedHttpServer &) = delete;

    int port() const { return listeningPort; }
    QString url(const QString &path = QString()) const;

    // Replies are used in order; the last one for a route keeps answering once the others are
    // used up. A route with no reply answers 599.
    void script(const QString &method, const QString &path, const Reply &reply);
    void script(const QString &method, const QString &path, int status, const QByteArray &body);
    void clear();

    QVector<Request> requests() const;
    QVector<Request> requestsTo(const QString &path) const;

    // A firewall's stand-in: while blocked() says so, a request gets no scripted reply, only a
    // failure, and is recorded among the blocked ones instead. Asked from the server's thread.
    void setBlocked(std::function<bool()> blocked);
    QVector<Request> blockedRequests() const;

private:
    Reply nextReply(const QString &method, const QString &path);
    void waitUntilStopping(int delayMs, bool untilStopped);

    std::unique_ptr<httplib::Server> server;
    std::thread serverThread;
    int listeningPort = 0;

    mutable std::mutex mutex;
    std::condition_variable stopping;
    bool stopRequested = false;
    std::map<QString, std::deque<Reply>> replies;
    QVector<Request> recorded;
    std::function<bool()> isBlocked;
    QVector<Request> blocked;
    QString listeningAddress;
};
