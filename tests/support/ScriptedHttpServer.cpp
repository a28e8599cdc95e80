#include "ScriptedHttpServer.h"

#include <httplib.h>

#include <chrono>

ScriptedHttpServer::ScriptedHttpServer(const QString &address)
    : server(std::make_unique<httplib::Server>())
    , listeningAddress(address)
{
    const auto handler = [this](const httplib::Request &request, httplib::Response &response) {
        Request seen;
        seen.method = QString::fromStdString(request.method);
        seen.path = QString::fromStdString(request.path);
        for (const auto &header : request.headers)
            seen.headers.insert(QString::fromStdString(header.first).toLower(),
                                QString::fromStdString(header.second));
        seen.body = QByteArray::fromStdString(request.body);
        {
            std::lock_guard<std::mutex> lock(mutex);
            if (isBlocked && isBlocked()) {
                blocked.append(seen);
                response.status = 599;
                response.set_content("blocked", "text/plain");
                return;
            }
            recorded.append(seen);
        }
        const Reply reply = nextReply(seen.method, seen.path);
        waitUntilStopping(reply.delayMs, reply.neverAnswer);
        response.status = reply.status;
        response.set_content(reply.body.toStdString(), "application/json");
    };
    server->Get(".*", handler);
    server->Post(".*", handler);
    listeningPort = server->bind_to_any_port(address.toStdString());
    serverThread = std::thread([this] { server->listen_after_bind(); });
    // A stop before the loop runs would be missed and leave the thread running for ever.
    while (!server->is_running())
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

ScriptedHttpServer::~ScriptedHttpServer()
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        stopRequested = true;
    }
    stopping.notify_all();
    server->stop();
    serverThread.join();
}

QString ScriptedHttpServer::url(const QString &path) const
{
    return QStringLiteral("http://%1:%2%3").arg(listeningAddress).arg(listeningPort).arg(path);
}

void ScriptedHttpServer::setBlocked(std::function<bool()> blockedNow)
{
    std::lock_guard<std::mutex> lock(mutex);
    isBlocked = std::move(blockedNow);
}

QVector<ScriptedHttpServer::Request> ScriptedHttpServer::blockedRequests() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return blocked;
}

void ScriptedHttpServer::script(const QString &method, const QString &path, const Reply &reply)
{
    std::lock_guard<std::mutex> lock(mutex);
    replies[method + ' ' + path].push_back(reply);
}

void ScriptedHttpServer::script(const QString &method, const QString &path, int status,
                                const QByteArray &body)
{
    Reply reply;
    reply.status = status;
    reply.body = body;
    script(method, path, reply);
}

void ScriptedHttpServer::clear()
{
    std::lock_guard<std::mutex> lock(mutex);
    replies.clear();
    recorded.clear();
    blocked.clear();
}

QVector<ScriptedHttpServer::Request> ScriptedHttpServer::requests() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return recorded;
}

QVector<ScriptedHttpServer::Request> ScriptedHttpServer::requestsTo(const QString &path) const
{
    QVector<Request> matching;
    for (const Request &request : requests()) {
        if (request.path == path)
            matching.append(request);
    }
    return matching;
}

ScriptedHttpServer::Reply ScriptedHttpServer::nextReply(const QString &method, const QString &path)
{
    std::lock_guard<std::mutex> lock(mutex);
    auto &queue = replies[method + ' ' + path];
    if (queue.empty()) {
        Reply missing;
        missing.status = 599;
        missing.body = "no scripted reply";
        return missing;
    }
    const Reply reply = queue.front();
    if (queue.size() > 1)
        queue.pop_front();
    return reply;
}

void ScriptedHttpServer::waitUntilStopping(int delayMs, bool untilStopped)
{
    std::unique_lock<std::mutex> lock(mutex);
    if (untilStopped)
        stopping.wait(lock, [this] { return stopRequested; });
    else if (delayMs > 0)
        stopping.wait_for(lock, std::chrono::milliseconds(delayMs),
                          [this] { return stopRequested; });
}
