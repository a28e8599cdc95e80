#include "platform/ToolRunner.h"

#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>
#include <vector>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

struct ToolRunner::Run {
    int id;
    pid_t pid;
    int output;
    QSocketNotifier *readable;
    QTimer *deadline;
    QByteArray printed;
};

namespace {

// Well below the program's: where the tools and the program's threads want the same processor,
// the scheduler gives the program about nine tenths of it.
constexpr int yieldingNice = 10;

// Starts the tool with its standard output into a pipe; the pipe's reading end, or -1.
int spawnWithOutput(const Platform::Invocation &invocation, pid_t *child)
{
    std::vector<QByteArray> words{invocation.program.toLocal8Bit()};
    for (const QString &argument : invocation.arguments)
        words.push_back(argument.toLocal8Bit());
    std::vector<char *> argv;
    for (QByteArray &word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);

    int pipeEnds[2];
    if (::pipe2(pipeEnds, O_CLOEXEC) != 0)
        return -1;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    // The calling thread's blocked signals are not the tool's.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK);
    const int spawned =
        ::posix_spawnp(child, argv.front(), &actions, &attributes, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    ::close(pipeEnds[1]);
    if (spawned != 0) {
        ::close(pipeEnds[0]);
        return -1;
    }
    ::fcntl(pipeEnds[0], F_SETFL, O_NONBLOCK);
    return pipeEnds[0];
}

// Reads what is there; false once the tool has closed its output.
bool readAvailable(int fd, QByteArray *printed)
{
    char buffer[4096];
    for (;;) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got > 0) {
            printed->append(buffer, int(got));
            continue;
        }
        if (got < 0 && errno == EINTR)
            continue;
        return got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
    }
}

// The tool has closed its output or overrun its time: it goes, and is reaped.
void endTool(pid_t pid)
{
    if (::waitpid(pid, nullptr, WNOHANG) == pid)
        return;
    ::kill(pid, SIGKILL);
    while (::waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
    }
}

} // namespace

ToolRunner::ToolRunner(QObject *parent)
    : QObject(parent)
{}

ToolRunner::~ToolRunner()
{
    for (Run *run : qAsConst(running)) {
        delete run->readable;
        ::close(run->output);
        endTool(run->pid);
        delete run;
    }
}

void ToolRunner::run(int id, const Platform::Invocation &invocation, int timeoutMs)
{
    pid_t pid = 0;
    const int output = spawnWithOutput(invocation, &pid);
    if (output < 0) {
        QTimer::singleShot(0, this, [this, id] { emit finished(id, QByteArray()); });
        return;
    }
    // The tool has only begun its start-up: nearly all its work comes after this.
    if (toolsYield)
        ::setpriority(PRIO_PROCESS, id_t(pid), yieldingNice);
    auto *run = new Run{
        id, pid, output, new QSocketNotifier(output, QSocketNotifier::Read, this), new QTimer(this),
        {}};
    running.insert(nextRun++, run);
    connect(run->readable, &QSocketNotifier::activated, this, [this, run] {
        if (!readAvailable(run->output, &run->printed))
            finish(run);
    });
    run->deadline->setSingleShot(true);
    connect(run->deadline, &QTimer::timeout, this, [this, run] {
        run->printed.clear();
        finish(run);
    });
    run->deadline->start(timeoutMs);
}

void ToolRunner::finish(Run *run)
{
    running.remove(running.key(run));
    run->readable->setEnabled(false);
    run->readable->deleteLater();
    run->deadline->deleteLater();
    ::close(run->output);
    endTool(run->pid);
    emit finished(run->id, run->printed);
    delete run;
}
