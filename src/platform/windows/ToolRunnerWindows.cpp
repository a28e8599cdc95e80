#include "platform/ToolRunner.h"

#include <QProcess>
#include <QTimer>

#include <windows.h>

struct ToolRunner::Run {
    int id;
    QProcess *process;
};

ToolRunner::ToolRunner(QObject *parent)
    : QObject(parent)
{}

ToolRunner::~ToolRunner()
{
    for (Run *run : qAsConst(running)) {
        run->process->disconnect(this);
        run->process->kill();
        run->process->waitForFinished(1000);
        delete run;
    }
}

void ToolRunner::run(int id, const Platform::Invocation &invocation, int timeoutMs)
{
    auto *run = new Run{id, new QProcess(this)};
    running.insert(nextRun++, run);
    QTimer::singleShot(timeoutMs, run->process, &QProcess::kill);
    connect(run->process, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished), this,
            [this, run] { finish(run); });
    connect(run->process, &QProcess::errorOccurred, this,
            [this, run](QProcess::ProcessError error) {
                if (error == QProcess::FailedToStart)
                    finish(run);
            });
    if (toolsYield) {
        run->process->setCreateProcessArgumentsModifier(
            [](QProcess::CreateProcessArguments *arguments) {
                arguments->flags |= BELOW_NORMAL_PRIORITY_CLASS;
            });
    }
    run->process->start(invocation.program, invocation.arguments);
}

void ToolRunner::finish(Run *run)
{
    run->process->disconnect(this);
    run->process->deleteLater();
    running.remove(running.key(run));
    const bool endedByItself = run->process->exitStatus() == QProcess::NormalExit &&
                               run->process->error() != QProcess::FailedToStart;
    emit finished(run->id, endedByItself ? run->process->readAllStandardOutput() : QByteArray());
    delete run;
}
