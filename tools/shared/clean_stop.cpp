#include "clean_stop.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace cleanstop {

namespace {

// Two buffers per text: a writer fills the one not published, then swaps.
struct Published {
    char buffers[2][4096] = {};
    std::atomic<const char *> current{nullptr};
    int next = 0;

    void set(const std::string &text)
    {
        char *buffer = buffers[next];
        const std::size_t n = std::min(text.size(), sizeof buffers[0] - 1);
        std::memcpy(buffer, text.data(), n);
        buffer[n] = '\0';
        current.store(n ? buffer : nullptr);
        next ^= 1;
    }
};

Published activity, temporary;
std::atomic<int> childGroup{0};
std::atomic<bool> lineOpen{false};
int console = STDERR_FILENO;

// Signals a user or the system sends to stop a process, and those of a crash.
const int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGPIPE, SIGALRM, SIGUSR1, SIGUSR2,
                            SIGVTALRM, SIGPROF, SIGXCPU, SIGIO, SIGPWR, SIGSTKFLT};
const int kCrashSignals[] = {SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT, SIGSYS, SIGTRAP};

void append(char *line, std::size_t &at, std::size_t size, const char *text)
{
    while (*text && at + 1 < size)
        line[at++] = *text++;
}

void appendNumber(char *line, std::size_t &at, std::size_t size, int n)
{
    char digits[16];
    int count = 0;
    do {
        digits[count++] = static_cast<char>('0' + n % 10);
        n /= 10;
    } while (n > 0 && count < 15);
    while (count > 0 && at + 1 < size)
        line[at++] = digits[--count];
}

const char *signalName(int sig)
{
    switch (sig) {
    case SIGINT: return "SIGINT";
    case SIGTERM: return "SIGTERM";
    case SIGHUP: return "SIGHUP";
    case SIGQUIT: return "SIGQUIT";
    case SIGPIPE: return "SIGPIPE";
    case SIGALRM: return "SIGALRM";
    case SIGUSR1: return "SIGUSR1";
    case SIGUSR2: return "SIGUSR2";
    case SIGSEGV: return "SIGSEGV";
    case SIGBUS: return "SIGBUS";
    case SIGILL: return "SIGILL";
    case SIGFPE: return "SIGFPE";
    case SIGABRT: return "SIGABRT";
    default: return nullptr;
    }
}

bool isCrash(int sig)
{
    for (int s : kCrashSignals)
        if (s == sig)
            return true;
    return false;
}

void onSignal(int sig)
{
    if (const int group = childGroup.load())
        kill(-group, SIGKILL);
    if (const char *path = temporary.current.load())
        unlink(path);
    char line[4200];
    std::size_t at = 0;
    if (lineOpen.load())
        line[at++] = '\n';
    append(line, at, sizeof line, isCrash(sig) ? "zelvo: crashed with " : "zelvo: stopped by ");
    if (const char *name = signalName(sig)) {
        append(line, at, sizeof line, name);
    } else {
        append(line, at, sizeof line, "signal ");
        appendNumber(line, at, sizeof line, sig);
    }
    if (const char *what = activity.current.load()) {
        append(line, at, sizeof line, " ");
        append(line, at, sizeof line, what);
    }
    line[at++] = '\n';
    ssize_t ignored = write(console, line, at);
    (void)ignored;
    if (isCrash(sig)) {
        // Die of the signal itself: the status and any core say what it was.
        signal(sig, SIG_DFL);
        raise(sig);
    }
    _exit(128 + sig);
}

}  // namespace

void install()
{
    console = fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 3);
    if (console < 0)
        console = STDERR_FILENO;
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigfillset(&action.sa_mask);  // one stop at a time
    for (int sig : kStopSignals)
        sigaction(sig, &action, nullptr);
    action.sa_flags = SA_RESETHAND;  // a crash in the handler ends it
    for (int sig : kCrashSignals)
        sigaction(sig, &action, nullptr);
    signal(SIGXFSZ, SIG_IGN);
}

void setActivity(const std::string &text)
{
    activity.set(text);
}

void setTemporaryFile(const std::string &path)
{
    temporary.set(path);
}

void setChildGroup(int pid)
{
    childGroup.store(pid);
}

void setLineOpen(bool open)
{
    lineOpen.store(open);
}

namespace {

std::atomic<bool> done{false};
int reportTo = STDERR_FILENO;

void onExit()
{
    if (done.load())
        return;
    if (const char *path = temporary.current.load())
        unlink(path);
    char line[4200];
    std::size_t at = 0;
    if (lineOpen.load() && reportTo == STDERR_FILENO)
        line[at++] = '\n';
    append(line, at, sizeof line, reportTo == STDERR_FILENO ? "zelvo: " : "");
    append(line, at, sizeof line, kEndedLine);
    if (const char *what = activity.current.load()) {
        append(line, at, sizeof line, " ");
        append(line, at, sizeof line, what);
    }
    if (reportTo == STDERR_FILENO)
        line[at++] = '\n';
    ssize_t ignored = write(reportTo, line, at);
    (void)ignored;
    _exit(1);
}

}  // namespace

void watchExits()
{
    // A child of ours speaks through its report (child_process.h).
    if (std::getenv("ZELVO_PARENT_PID") && fcntl(3, F_GETFD) >= 0)
        reportTo = 3;
    std::atexit(onExit);
    std::at_quick_exit(onExit);
}

void finished()
{
    done.store(true);
}

}  // namespace cleanstop
