// One POST on a kept-alive connection to the demo service's GraphQL endpoint, from sending to
// the finished reply: through Qt's own QNetworkAccessManager and through the client's
// ServiceAccessManager, alternately, each with a connection of its own. Run by hand:
//
//   build/tests/BenchPost [requests]

#include "DemoService.h"
#include "Median.h"
#include "network/ServiceAccessManager.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QNetworkReply>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

// Milliseconds from post() to finished(), or a negative number when the reply failed.
double timedPost(QNetworkAccessManager &manager, const QString &url)
{
    QNetworkRequest request{QUrl(url)};
    request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/json"));
    QElapsedTimer timer;
    timer.start();
    QNetworkReply *reply = manager.post(request, R"({"query": "{ __typename }"})");
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    loop.exec();
    const double elapsed = double(timer.nsecsElapsed()) / 1e6;
    reply->deleteLater();
    return reply->error() == QNetworkReply::NoError ? elapsed : -1;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int requests = argc > 1 ? std::max(3, std::atoi(argv[1])) : 21;
    DemoService service;
    if (!service.isRunning()) {
        std::puts("the demo service did not start");
        return 1;
    }
    QNetworkAccessManager qtManager;
    ServiceAccessManager serviceManager;
    std::vector<double> qt;
    std::vector<double> client;
    // The first request of each opens its connection; only kept-alive ones are counted.
    for (int i = 0; i <= requests; ++i) {
        const double viaQt = timedPost(qtManager, service.graphQlUrl());
        const double viaClient = timedPost(serviceManager, service.graphQlUrl());
        if (viaQt < 0 || viaClient < 0) {
            std::puts("a request failed");
            return 1;
        }
        if (i > 0) {
            qt.push_back(viaQt);
            client.push_back(viaClient);
        }
    }
    std::printf("POST, kept-alive connection, medians of %d\n", requests);
    std::printf("Qt's QNetworkAccessManager: %.2f ms\n", median(qt));
    std::printf("ServiceAccessManager:       %.2f ms\n", median(client));
    return 0;
}
