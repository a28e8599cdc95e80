#include "DemoService.h"

#include <QRegularExpression>
#include <QStandardPaths>

DemoService::DemoService(const QStringList &extraArguments)
{
    // From the usual places too: a test may have left only fake programs on PATH.
    QString node = QStandardPaths::findExecutable(QStringLiteral("node"));
    if (node.isEmpty())
        node = QStandardPaths::findExecutable(
            QStringLiteral("node"), {QStringLiteral("/usr/bin"), QStringLiteral("/usr/local/bin")});
    process.setProgram(node);
    process.setArguments(QStringList{QStringLiteral(CORVANE_DEMO_SERVICE_SCRIPT),
                                     QStringLiteral("--port"), QStringLiteral("0")} +
                         extraArguments);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start();
    if (!process.waitForStarted(10000))
        return;
    const QRegularExpression listening(
        QStringLiteral("listening on http://127\\.0\\.0\\.1:(\\d+)"));
    while (process.waitForReadyRead(10000)) {
        output += QString::fromUtf8(process.readAll());
        const auto match = listening.match(output);
        if (match.hasMatch()) {
            port = match.captured(1).toInt();
            return;
        }
    }
}

DemoService::~DemoService()
{
    process.terminate();
    if (!process.waitForFinished(5000))
        process.kill();
    process.waitForFinished(5000);
}

void DemoService::exportEndpoints() const
{
    qputenv("CORVANE_ACCOUNT_API_URL", graphQlUrl().toUtf8());
    qputenv("CORVANE_VPN_API_URL", baseUrl().toUtf8());
}

QString DemoService::log()
{
    output += QString::fromUtf8(process.readAll());
    return output;
}
