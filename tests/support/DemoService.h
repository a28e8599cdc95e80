#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

// The demo service (tools/demo-service) on a free loopback port, for as long as this object
// lives.
class DemoService final {
public:
    explicit DemoService(const QStringList &extraArguments = {});
    ~DemoService();

    bool isRunning() const { return port > 0; }
    QString baseUrl() const { return QStringLiteral("http://127.0.0.1:%1").arg(port); }
    QString graphQlUrl() const { return baseUrl() + QStringLiteral("/graphql"); }
    // Points NetworkManager (through its environment overrides) at this service.
    void exportEndpoints() const;
    QString log();

private:
    QProcess process;
    int port = 0;
    QString output;
};
