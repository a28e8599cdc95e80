#include "ping/PingOutput.h"

#include <QHostAddress>
#include <QRegularExpression>

#include <cmath>

namespace {

int roundedReceivedMs(double milliseconds)
{
    if (!(milliseconds >= 0 && milliseconds <= PingOutput::longestRoundTripMs))
        return PingOutput::unreadable;
    return std::max(1, int(std::floor(milliseconds + 0.5)));
}

double number(const QString &digits)
{
    bool ok = false;
    const double value = digits.toDouble(&ok);
    return ok ? value : -1;
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
        return roundedReceivedMs(number(average.captured(1)));
    const QRegularExpressionMatch summary = iputilsSummary.match(output);
    if (summary.hasMatch())
        return roundedReceivedMs(number(summary.captured(1)));

    double sum = 0;
    int count = 0;
    for (auto it = replyTime.globalMatch(output); it.hasNext(); ++count)
        sum += number(it.next().captured(1));
    return count == 0 ? 0 : roundedReceivedMs(sum / count);
}

bool isPlainHost(const QString &host)
{
    // Blanks, control characters and scope suffixes ("%eth0") never reach the tool.
    static const QRegularExpression hostCharacters(QStringLiteral("\\A[A-Za-z0-9.:-]{1,253}\\z"));
    if (!hostCharacters.match(host).hasMatch())
        return false;
    if (!QHostAddress(host).isNull())
        return !host.startsWith(QLatin1Char('-'));
    static const QRegularExpression hostName(
        QStringLiteral("\\A[A-Za-z0-9](?:[A-Za-z0-9-]{0,61}[A-Za-z0-9])?"
                       "(?:\\.[A-Za-z0-9](?:[A-Za-z0-9-]{0,61}[A-Za-z0-9])?)*\\.?\\z"));
    return hostName.match(host).hasMatch();
}

} // namespace PingOutput
