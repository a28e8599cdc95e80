#include "platform/ProcessOutput.h"

#include <QDeadlineTimer>
#include <QThread>

#include <cerrno>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace Platform {

namespace {

// The tool's standard output until it closes it; false when the deadline came first.
bool readUntilClosed(int fd, const QDeadlineTimer &deadline, QByteArray *output)
{
    char buffer[4096];
    while (!deadline.hasExpired()) {
        pollfd readable{fd, POLLIN, 0};
        const int ready = ::poll(&readable, 1, int(deadline.remainingTime()));
        if (ready < 0 && errno != EINTR)
            return true;
        if (ready <= 0)
            continue;
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return true;
        output->append(buffer, int(got));
    }
    return false;
}

// Reaps the tool once it has ended; false when the deadline came first.
bool reapedBefore(pid_t child, const QDeadlineTimer &deadline)
{
    for (;;) {
        int status = 0;
        const pid_t reaped = ::waitpid(child, &status, WNOHANG);
        if (reaped == child || (reaped < 0 && errno != EINTR))
            return true;
        if (deadline.hasExpired())
            return false;
        QThread::msleep(5);
    }
}

} // namespace

QByteArray runForOutput(const Invocation &invocation, int timeoutMs)
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
        return {};
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

    pid_t child = 0;
    const int spawned =
        ::posix_spawnp(&child, argv.front(), &actions, &attributes, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    ::close(pipeEnds[1]);
    if (spawned != 0) {
        ::close(pipeEnds[0]);
        return {};
    }
    const QDeadlineTimer deadline(timeoutMs);
    QByteArray output;
    const bool closed = readUntilClosed(pipeEnds[0], deadline, &output);
    ::close(pipeEnds[0]);
    if (!closed || !reapedBefore(child, deadline)) {
        ::kill(child, SIGKILL);
        while (::waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
        }
    }
    return output;
}

} // namespace Platform
