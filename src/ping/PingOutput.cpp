#include "ping/PingOutput.h"

#include <QHostAddress>
#include <QRegularExpression>

#include <cmath>

namespace {

int roundedReceivedMs(double milliseconds)
{
    return std::max(1, int(std::floor(milliseconds + 0.5)));
}

} // namespace

namespace PingOutput {

int averageMs(const QString &output)
{
    static const QRegularExpression windowsAverage(
        QStringLiteral("(?:Average|Avg)[^=]*=\\s*(\\d+)\\s*ms"),
        QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression iputilsSummary(
        QStringLiteral("(?:rtt|round-trip) min/avg/max(?:/[a-z]+)? = [\\d.]+/([\\d.]+)/"),
        QRegularExpression::CaseInsensitiveOption);
    // The separator is required: iputils' statistics line ends in "time 1002ms", the length of
    // the whole run, also when no reply came.
    static const QRegularExpression replyTime(
        QStringLiteral("time\\s*[=<]\\s*(\\d+(?:\\.\\d+)?)\\s*ms"),
        QRegularExpression::CaseInsensitiveOption);

    const QRegularExpressionMatch average = windowsAverage.match(output);
    if (average.hasMatch())
        return roundedReceivedMs(average.captured(1).toInt());
    const QRegularExpressionMatch summary = iputilsSummary.match(output);
    if (summary.hasMatch())
        return roundedReceivedMs(summary.captured(1).toDouble());

    double sum = 0;
    int count = 0;
    for (auto it = replyTime.globalMatch(output); it.hasNext(); ++count)
        sum += it.next().captured(1).toDouble();
    return count == 0 ? 0 : roundedReceivedMs(sum / count);
}

bool isPlainHost(const QString &host)
{
    if (host.isEmpty() || host.size() > 253)
        return false;
    if (!QHostAddress(host).isNull())
        return !host.startsWith(QLatin1Char('-'));
    static const QRegularExpression hostName(
        QStringLiteral("\\A[A-Za-z0-9](?:[A-Za-z0-9-]{0,61}[A-Za-z0-9])?"
                       "(?:\\.[A-Za-z0-9](?:[A-Za-z0-9-]{0,61}[A-Za-z0-9])?)*\\.?\\z"));
    return hostName.match(host).hasMatch();
}

} // namespace PingOutput
