#include "clean_stop.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <algorithm>
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
int console = STDERR_FILENO;

void append(char *line, std::size_t &at, std::size_t size, const char *text)
{
    while (*text && at + 1 < size)
        line[at++] = *text++;
}

const char *signalName(int sig)
{
    switch (sig) {
    case SIGINT: return "SIGINT";
    case SIGTERM: return "SIGTERM";
    case SIGHUP: return "SIGHUP";
    default: return "a signal";
    }
}

void onStop(int sig)
{
    if (const int group = childGroup.load())
        kill(-group, SIGKILL);
    if (const char *path = temporary.current.load())
        unlink(path);
    char line[4200];
    std::size_t at = 0;
    append(line, at, sizeof line, "zelvo: stopped by ");
    append(line, at, sizeof line, signalName(sig));
    if (const char *what = activity.current.load()) {
        append(line, at, sizeof line, " ");
        append(line, at, sizeof line, what);
    }
    line[at++] = '\n';
    ssize_t ignored = write(console, line, at);
    (void)ignored;
    _exit(128 + sig);
}

}  // namespace

void install()
{
    console = fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 3);
    if (console < 0)
        console = STDERR_FILENO;
    struct sigaction action = {};
    action.sa_handler = onStop;
    sigfillset(&action.sa_mask);  // one stop at a time
    for (int sig : {SIGINT, SIGTERM, SIGHUP})
        sigaction(sig, &action, nullptr);
}

void setActivity(const std::string &text)
{
    activity.set(text);
}

void setTemporaryFile(const std::string &path)
{
    temporary.set(path);
}

}  // namespace cleanstop

namespace cleanstop {

void setChildGroup(int pid)
{
    childGroup.store(pid);
}

}  // namespace cleanstop
