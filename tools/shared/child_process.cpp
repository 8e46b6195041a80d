#include "child_process.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>

#include "clean_stop.h"

namespace {

const char *const kParentVariable = "ZELVO_PARENT_PID";

std::string childToken;  // in a child: the seal of its report

std::string newToken()
{
    std::random_device random;
    char text[33];
    for (int i = 0; i < 4; ++i)
        std::snprintf(text + 8 * i, 9, "%08x", static_cast<unsigned>(random()));
    return std::string(text, 32);
}

void writeAll(int fd, const std::string &text)
{
    const char *at = text.data();
    std::size_t left = text.size();
    while (left > 0) {
        const ssize_t n = write(fd, at, left);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        at += n;
        left -= static_cast<std::size_t>(n);
    }
}

// The body between the token's two lines, when the report is exactly that.
bool unseal(std::string &report, const std::string &token)
{
    const std::string line = token + "\n";
    if (report.size() < 2 * line.size() || report.compare(0, line.size(), line) != 0 ||
        report.compare(report.size() - line.size(), line.size(), line) != 0)
        return false;
    std::string body = report.substr(line.size(), report.size() - 2 * line.size());
    if (body.find(token) != std::string::npos)
        return false;
    report = body;
    return true;
}

bool exited(pid_t child)
{
    siginfo_t info = {};
    return waitid(P_PID, static_cast<id_t>(child), &info, WEXITED | WNOHANG | WNOWAIT) == 0 && info.si_pid == child;
}

// Processes whose parent is this one.
std::vector<pid_t> ourChildren()
{
    std::vector<pid_t> out;
    DIR *proc = opendir("/proc");
    if (!proc)
        return out;
    const pid_t self = getpid();
    while (const dirent *e = readdir(proc)) {
        const long pid = std::strtol(e->d_name, nullptr, 10);
        if (pid <= 0)
            continue;
        char path[64], stat[512];
        std::snprintf(path, sizeof path, "/proc/%ld/stat", pid);
        FILE *f = std::fopen(path, "r");
        if (!f)
            continue;
        const std::size_t n = std::fread(stat, 1, sizeof stat - 1, f);
        std::fclose(f);
        stat[n] = '\0';
        // "pid (name) state ppid ...": the name may hold anything but ends at the last ')'.
        const char *close = std::strrchr(stat, ')');
        char state = 0;
        long ppid = 0;
        if (close && std::sscanf(close + 1, " %c %ld", &state, &ppid) == 2 && ppid == self)
            out.push_back(static_cast<pid_t>(pid));
    }
    closedir(proc);
    return out;
}

// What the child left behind and detached from its group came to us, its
// reaper: end all of it, however deep, and reap it.
void endOrphans()
{
    for (int round = 0; round < 200; ++round) {
        while (waitpid(-1, nullptr, WNOHANG) > 0) {
        }
        const std::vector<pid_t> left = ourChildren();
        if (left.empty())
            return;
        for (pid_t pid : left)
            kill(pid, SIGKILL);
        usleep(5000);
    }
}

}  // namespace

std::string ChildOutcome::failure(int timeLimitSeconds) const
{
    if (!started)
        return "cannot start a process: " + startError;
    if (timedOut)
        return "timed out after " + std::to_string(timeLimitSeconds) + " s";
    if (signal)
        return "crashed with signal " + std::to_string(signal) + " (" + strsignal(signal) + ")";
    if (!report.empty()) {
        std::string line = report.substr(0, report.find('\n'));
        return sealed ? line : line + " (exit code " + std::to_string(exitCode) + ")";
    }
    if (!sealed)
        return "ended the process with exit code " + std::to_string(exitCode) + " before it had finished";
    return "exited with code " + std::to_string(exitCode);
}

ChildOutcome runSelf(const std::vector<std::string> &args, int timeLimitSeconds, std::size_t reportLimit,
                     bool keepStderr)
{
    static const bool reaper = prctl(PR_SET_CHILD_SUBREAPER, 1) == 0;
    (void)reaper;
    ChildOutcome outcome;
    int reportFds[2], tokenFds[2];
    if (pipe2(reportFds, O_CLOEXEC) != 0) {
        outcome.startError = std::strerror(errno);
        return outcome;
    }
    if (pipe2(tokenFds, O_CLOEXEC) != 0) {
        outcome.startError = std::strerror(errno);
        close(reportFds[0]);
        close(reportFds[1]);
        return outcome;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, reportFds[1], kReportFd);
    posix_spawn_file_actions_adddup2(&actions, tokenFds[0], STDIN_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    if (!keepStderr)
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
    posix_spawnattr_setpgroup(&attributes, 0);

    std::vector<char *> argv{const_cast<char *>("/proc/self/exe")};
    for (const std::string &a : args)
        argv.push_back(const_cast<char *>(a.c_str()));
    argv.push_back(nullptr);
    setenv(kParentVariable, std::to_string(getpid()).c_str(), 1);

    pid_t child = -1;
    const int spawned = posix_spawn(&child, "/proc/self/exe", &actions, &attributes, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    close(reportFds[1]);
    close(tokenFds[0]);
    if (spawned != 0) {
        close(reportFds[0]);
        close(tokenFds[1]);
        outcome.startError = std::strerror(spawned);
        return outcome;
    }
    outcome.started = true;
    cleanstop::setChildGroup(child);
    const std::string token = newToken();
    writeAll(tokenFds[1], token);
    close(tokenFds[1]);

    // Read until the child has ended: a helper it started may hold the
    // channel open long after, and is not waited for.
    fcntl(reportFds[0], F_SETFL, O_NONBLOCK);
    auto take = [&] {
        char buffer[4096];
        for (;;) {
            const ssize_t n = read(reportFds[0], buffer, sizeof buffer);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return n == 0;  // true at the end of the channel
            const std::size_t room = reportLimit - std::min(reportLimit, outcome.report.size());
            outcome.report.append(buffer, std::min(room, static_cast<std::size_t>(n)));
        }
    };
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeLimitSeconds);
    bool ended = false, closed = false;
    while (!ended) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
        if (left <= 0) {
            outcome.timedOut = true;
            break;
        }
        pollfd fd{reportFds[0], POLLIN, 0};
        if (!closed && poll(&fd, 1, static_cast<int>(std::min<long long>(left, 20))) > 0)
            closed = take();
        else if (closed)
            usleep(2000);
        // Its end, seen without reaping it, so that its group id stays its
        // own until the group is killed.
        ended = exited(child);
    }
    if (ended && !closed)
        take();
    close(reportFds[0]);
    // The whole group: whatever the child started goes with it.
    kill(-child, SIGKILL);
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    cleanstop::setChildGroup(0);
    endOrphans();
    if (outcome.timedOut)
        return outcome;
    if (WIFSIGNALED(status))
        outcome.signal = WTERMSIG(status);
    else if (WIFEXITED(status))
        outcome.exitCode = WEXITSTATUS(status);
    outcome.sealed = unseal(outcome.report, token);
    return outcome;
}

void dieWithParent()
{
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    const char *parent = std::getenv(kParentVariable);
    if (!parent)
        return;  // run by hand: no token to wait for
    if (getppid() != static_cast<pid_t>(std::atoll(parent)))
        _exit(128 + SIGKILL);  // the parent died before the request took hold
    // The token, before any plug-in code runs; then no input at all.
    char buffer[64];
    for (;;) {
        const ssize_t n = read(STDIN_FILENO, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        childToken.append(buffer, static_cast<std::size_t>(n));
    }
    const int none = open("/dev/null", O_RDONLY | O_CLOEXEC);
    if (none >= 0) {
        dup2(none, STDIN_FILENO);
        close(none);
    }
}

void sealedReport(const std::string &text)
{
    writeAll(kReportFd, childToken + "\n" + text + childToken + "\n");
}
