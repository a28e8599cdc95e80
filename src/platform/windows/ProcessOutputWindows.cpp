#include "platform/ProcessOutput.h"

#include <QProcess>

namespace Platform {

QByteArray runForOutput(const Invocation &invocation, int timeoutMs)
{
    QProcess process;
    process.start(invocation.program, invocation.arguments);
    if (!process.waitForFinished(timeoutMs))
        process.kill();
    return process.readAllStandardOutput();
}

} // namespace Platform
