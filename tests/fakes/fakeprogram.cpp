// A stand-in for every outside program the client runs (ping, wg, wg-quick, nft, netsh,
// wireguard.exe, ...), installed under each of their names. It appends its name and arguments
// to the file $FAKE_LOG (one line, fields separated by tabs, a line break inside an argument
// written as \n) and answers as the environment says, where NAME is its own name in upper case
// with every other character turned into '_' (ping.exe -> PING_EXE, wg-quick -> WG_QUICK):
//
//   FAKE_<NAME>_STDOUT, FAKE_<NAME>_STDERR   text to print
//   FAKE_<NAME>_EXIT                          exit code (default 0)
//   FAKE_<NAME>_DELAY_MS                      wait before answering
//   FAKE_<NAME>_DELAY_FROM_LAST_ARG=1         wait as many ms as the digits in the last argument
//   FAKE_<NAME>_HANG=1                        never answer
//   FAKE_<NAME>_WAIT_FOR=<path>               answer only once the file <path> exists
//
// A variable with the suffix _<n> (FAKE_WG_STDOUT_2) answers the n-th call only, counted from 1
// per program in the file $FAKE_LOG.<NAME>.count; one with the suffix _FOR_<LAST ARGUMENT>
// (FAKE_WG_STDOUT_FOR_LATEST_HANDSHAKES, the argument spelt as names are) answers the calls
// whose last argument it names. The call number goes first, then the argument, then the plain
// variable.

#include <fcntl.h>
#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <sys/file.h>
#include <unistd.h>
#endif

#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

namespace {

#ifdef _WIN32
// The Windows build of the fake: the same calls through the C runtime, and a whole-file lock.
int openFile(const char *path, int flags)
{
    return ::_open(path, flags | _O_BINARY, 0644);
}

void lockFile(int fd, bool locked)
{
    const HANDLE handle = reinterpret_cast<HANDLE>(::_get_osfhandle(fd));
    OVERLAPPED whole = {};
    if (locked)
        ::LockFileEx(handle, LOCKFILE_EXCLUSIVE_LOCK, 0, MAXDWORD, MAXDWORD, &whole);
    else
        ::UnlockFileEx(handle, 0, MAXDWORD, MAXDWORD, &whole);
}

bool fileExists(const char *path)
{
    return ::_access(path, 0) == 0;
}

int truncateFile(int fd)
{
    return ::_chsize(fd, 0);
}
#else
int openFile(const char *path, int flags)
{
    return ::open(path, flags, 0644);
}

void lockFile(int fd, bool locked)
{
    ::flock(fd, locked ? LOCK_EX : LOCK_UN);
}

bool fileExists(const char *path)
{
    return ::access(path, F_OK) == 0;
}

int truncateFile(int fd)
{
    return ::ftruncate(fd, 0);
}
#endif

// The name the program was called by: Windows passes it as the caller wrote it ("netsh").
std::string programName(const char *argv0)
{
    std::string name = argv0;
    const auto slash = name.find_last_of("/\\");
    return slash == std::string::npos ? name : name.substr(slash + 1);
}

std::string variableStem(const std::string &name)
{
    std::string stem = "FAKE_";
    for (const char c : name)
        stem += std::isalnum(static_cast<unsigned char>(c)) ? char(std::toupper(c)) : '_';
    return stem;
}

void appendLine(const std::string &path, const std::string &line)
{
    const int fd = openFile(path.c_str(), O_WRONLY | O_CREAT | O_APPEND);
    if (fd < 0)
        return;
    lockFile(fd, true);
    [[maybe_unused]] const auto written = ::write(fd, line.data(), line.size());
    lockFile(fd, false);
    ::close(fd);
}

// The number of this call of this program, starting at 1.
int nextCallNumber(const std::string &counterPath)
{
    const int fd = openFile(counterPath.c_str(), O_RDWR | O_CREAT);
    if (fd < 0)
        return 1;
    lockFile(fd, true);
    char buffer[32] = {};
    const auto length = ::read(fd, buffer, sizeof buffer - 1);
    const int number = (length > 0 ? std::atoi(buffer) : 0) + 1;
    const std::string text = std::to_string(number);
    ::lseek(fd, 0, SEEK_SET);
    [[maybe_unused]] const int truncated = truncateFile(fd);
    [[maybe_unused]] const auto written = ::write(fd, text.data(), text.size());
    lockFile(fd, false);
    ::close(fd);
    return number;
}

struct Call {
    std::string stem;
    int number = 1;
    std::string lastArgument;
};

const char *setting(const Call &call, const std::string &key)
{
    const std::string numbered = call.stem + "_" + key + "_" + std::to_string(call.number);
    if (const char *value = std::getenv(numbered.c_str()))
        return value;
    if (!call.lastArgument.empty()) {
        const std::string forArgument =
            call.stem + "_" + key + "_FOR" + variableStem(call.lastArgument).substr(4);
        if (const char *value = std::getenv(forArgument.c_str()))
            return value;
    }
    return std::getenv((call.stem + "_" + key).c_str());
}

int digitsIn(const std::string &text)
{
    std::string digits;
    for (const char c : text) {
        if (std::isdigit(static_cast<unsigned char>(c)))
            digits += c;
    }
    return digits.empty() ? 0 : std::atoi(digits.c_str());
}

} // namespace

int main(int argc, char *argv[])
{
    const std::string name = programName(argv[0]);
    const std::string stem = variableStem(name);
    const char *log = std::getenv("FAKE_LOG");

    std::string line = name;
    for (int i = 1; i < argc; ++i) {
        line += '\t';
        for (const char *c = argv[i]; *c; ++c)
            line += *c == '\n' ? std::string("\\n") : std::string(1, *c);
    }
    Call call{stem, 1, argc > 1 ? argv[argc - 1] : ""};
    if (log) {
        appendLine(log, line + "\n");
        call.number = nextCallNumber(std::string(log) + "." + stem + ".count");
    }

    if (const char *hang = setting(call, "HANG"); hang && std::string(hang) == "1") {
        for (;;)
            std::this_thread::sleep_for(std::chrono::hours(1));
    }
    if (const char *gate = setting(call, "WAIT_FOR")) {
        while (!fileExists(gate))
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    int delayMs = 0;
    if (const char *delay = setting(call, "DELAY_MS"))
        delayMs = std::atoi(delay);
    if (const char *fromArg = setting(call, "DELAY_FROM_LAST_ARG");
        fromArg && std::string(fromArg) == "1" && argc > 1)
        delayMs = digitsIn(argv[argc - 1]);
    if (delayMs > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));

    if (const char *out = setting(call, "STDOUT"))
        std::fputs(out, stdout);
    if (const char *err = setting(call, "STDERR"))
        std::fputs(err, stderr);
    const char *exitCode = setting(call, "EXIT");
    return exitCode ? std::atoi(exitCode) : 0;
}
