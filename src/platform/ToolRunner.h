#pragma once

#include "platform/CommandSet.h"

#include <QByteArray>
#include <QHash>
#include <QObject>

// Runs tools for their standard output, any number at once, without waiting for any of them:
// one thread serves a whole latency sweep, and the GUI thread the tunnel's readings. On Linux a
// tool is started without copying the program (a fork of a large process stops all its threads, the
// GUI thread too, while its memory map is copied), and its output is read as it comes.
class ToolRunner final : public QObject {
    Q_OBJECT

public:
    explicit ToolRunner(QObject *parent = nullptr);
    // Tools still running are killed: nobody waits for their output any more.
    ~ToolRunner() override;

    // Starts the tool; finished follows with its standard output, empty when it could not be
    // started or did not end by itself: one still running after timeoutMs is killed, and a
    // reading cut short is no reading. Called in the runner's own thread.
    void run(int id, const Platform::Invocation &invocation, int timeoutMs);
    int runningCount() const { return int(running.size()); }
    // Tools started from now on yield the processor to the program's own threads: a sweep of
    // dozens at once never takes it from the pages being drawn.
    void setToolsYield(bool yield) { toolsYield = yield; }

signals:
    void finished(int id, QByteArray output);

private:
    struct Run;
    // Reports the run's output and forgets it.
    void finish(Run *run);

    QHash<int, Run *> running;
    int nextRun = 0;
    bool toolsYield = false;
};
