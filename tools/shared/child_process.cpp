#include "child_process.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <iostream>
#include <mutex>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>

#include "clean_stop.h"
#include "keyed_hash.h"

namespace {

const char *const kParentVariable = "ZELVO_PARENT_PID";
const char *const kParentNamespaceVariable = "ZELVO_PARENT_PIDNS";

std::string pidNamespace()
{
    char link[128] = {};
    const ssize_t n = readlink("/proc/self/ns/pid", link, sizeof link - 1);
    return n > 0 ? std::string(link, static_cast<std::size_t>(n)) : std::string();
}

std::string childToken;  // in a child: the seal of its report
unsigned char childKey[16];  // ... and the key of its report's hash

// The hash that proves a report body the child's own, as hex.
std::string bodyHash(const unsigned char key[16], const std::string &body)
{
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(KeyedHash::of(key, body)));
    return text;
}

bool keyFromHex(const std::string &hex, unsigned char key[16])
{
    if (hex.size() != 32)
        return false;
    for (int i = 0; i < 16; ++i) {
        unsigned value = 0;
        if (std::sscanf(hex.c_str() + 2 * i, "%2x", &value) != 1)
            return false;
        key[i] = static_cast<unsigned char>(value);
    }
    return true;
}

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

// The body between the token's two lines, when the report is exactly that
// and the line before the closing token is the body's keyed hash. A plug-in
// in the child's process that read the token off the channel (swapping the
// descriptor for one of its own) cannot make a body pass for the check's.
bool unseal(std::string &report, const std::string &token, const unsigned char key[16])
{
    const std::string line = token + "\n";
    if (report.size() < 2 * line.size() + 17 || report.compare(0, line.size(), line) != 0 ||
        report.compare(report.size() - line.size(), line.size(), line) != 0)
        return false;
    std::string inner = report.substr(line.size(), report.size() - 2 * line.size());
    const std::string hash = inner.substr(inner.size() - 17, 16);
    std::string body = inner.substr(0, inner.size() - 17);
    if (inner.back() != '\n' || body.find(token) != std::string::npos || hash != bodyHash(key, body))
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

// What the contained child does between its clone and its exec: only
// async-signal-safe calls, as after a fork of a process with threads.
struct ContainedStart {
    int reportFd, reportReadFd, tokenFd, statusFd, outputFd;
    bool keepStderr;
    char *const *argv;
    char *const *envp;
};

// The first process of a namespace is spared signals it did not ask for
// (abort() would not end it), so it only waits: the check runs as its
// child, and its wait status reaches the parent through `statusFd`. The
// orphans the check leaves come to it and are reaped as they end.
[[noreturn]] void waitAsInit(pid_t check, int statusFd)
{
    int status = 0;
    for (;;) {
        const pid_t ended = waitpid(-1, &status, 0);
        if (ended == check)
            break;
        if (ended < 0 && errno != EINTR)
            _exit(127);
    }
    const ssize_t written = write(statusFd, &status, sizeof status);
    _exit(written == static_cast<ssize_t>(sizeof status) ? 0 : 127);
}

int startContained(void *arg)
{
    const ContainedStart &c = *static_cast<const ContainedStart *>(arg);
    // Killed with its parent; if the parent is already gone (its end of
    // the report channel closed), it never starts.
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    close(c.reportReadFd);
    pollfd channel{c.reportFd, POLLOUT, 0};
    if (poll(&channel, 1, 0) > 0 && (channel.revents & POLLERR))
        _exit(128 + SIGKILL);
    setpgid(0, 0);
    // A /proc of the namespace's own (in a mount namespace of its own), so
    // that what the check and its plug-in read there, and the sanitizers'
    // thread lists, speak of this namespace's ids. Best effort: without it
    // the check still runs.
    if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0)
        mount("proc", "/proc", "proc", MS_NOSUID | MS_NODEV | MS_NOEXEC, nullptr);
    if (dup2(c.reportFd, kReportFd) < 0 || dup2(c.tokenFd, STDIN_FILENO) < 0)
        _exit(127);
    const int none = open("/dev/null", O_WRONLY);
    if (c.outputFd >= 0) {
        dup2(c.outputFd, STDOUT_FILENO);
        dup2(c.outputFd, STDERR_FILENO);
    } else if (none >= 0) {
        dup2(none, STDOUT_FILENO);
        if (!c.keepStderr)
            dup2(none, STDERR_FILENO);
    }
    const pid_t check = fork();
    if (check == 0) {
        close(c.statusFd);
        execve("/proc/self/exe", c.argv, c.envp);
        _exit(127);
    }
    if (check < 0)
        _exit(127);
    // Only the check holds the channel and the token from here: this
    // process never execs, so it keeps nothing of the parent's open.
    for (int fd = 0; fd < 4096; ++fd)
        if (fd != c.statusFd)
            close(fd);
    waitAsInit(check, c.statusFd);
}

// A child in a PID namespace of its own, as its first process: when it
// ends, or is killed with its parent, the kernel ends every process it
// started, however detached. As root a PID namespace; otherwise one inside
// a user namespace of its own, where the system allows those. -1 with
// errno when neither can be had.
pid_t cloneContained(ContainedStart &start)
{
    constexpr std::size_t kStack = 256 * 1024;
    static std::vector<char> stack(kStack);  // used only until the exec
    static std::mutex mutex;
    std::lock_guard<std::mutex> lock(mutex);
    char *top = stack.data() + stack.size();
    pid_t child = clone(startContained, top, CLONE_NEWPID | CLONE_NEWNS | SIGCHLD, &start);
    if (child < 0 && errno == EPERM)
        child = clone(startContained, top, CLONE_NEWUSER | CLONE_NEWPID | CLONE_NEWNS | SIGCHLD, &start);
    return child;
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
    if (forged)
        return "its report does not carry the check's own seal (made up or changed by code in its process; exit "
               "code " + std::to_string(exitCode) + ")";
    if (!report.empty()) {
        std::string line = report.substr(0, report.find('\n'));
        return sealed ? line : line + " (exit code " + std::to_string(exitCode) + ")";
    }
    if (!sealed)
        return "ended the process with exit code " + std::to_string(exitCode) + " before it had finished";
    return "exited with code " + std::to_string(exitCode);
}

ChildOutcome runSelf(const std::vector<std::string> &args, int timeLimitSeconds, std::size_t reportLimit,
                     bool keepStderr, bool contain, int outputFd)
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
    if (outputFd >= 0) {
        posix_spawn_file_actions_adddup2(&actions, outputFd, STDOUT_FILENO);
        posix_spawn_file_actions_adddup2(&actions, outputFd, STDERR_FILENO);
    } else {
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
        if (!keepStderr)
            posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    }
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
    posix_spawnattr_setpgroup(&attributes, 0);

    std::vector<char *> argv{const_cast<char *>("/proc/self/exe")};
    for (const std::string &a : args)
        argv.push_back(const_cast<char *>(a.c_str()));
    argv.push_back(nullptr);
    setenv(kParentVariable, std::to_string(getpid()).c_str(), 1);
    setenv(kParentNamespaceVariable, pidNamespace().c_str(), 1);

    pid_t child = -1;
    int spawned = 0;
    int statusFds[2] = {-1, -1};
    if (contain && pipe2(statusFds, O_CLOEXEC) != 0)
        contain = false;
    if (contain) {
        ContainedStart start{reportFds[1], reportFds[0], tokenFds[0], statusFds[1], outputFd, keepStderr,
                             argv.data(), environ};
        child = cloneContained(start);
        close(statusFds[1]);
        if (child < 0) {
            spawned = errno;
            static std::once_flag said;
            std::call_once(said, [&] {
                std::cerr << "zelvo: this machine allows no PID namespace (" << std::strerror(spawned)
                          << "): a process a plug-in leaves running may outlive a validator that is killed"
                          << std::endl;
            });
            contain = false;
            close(statusFds[0]);
        }
    }
    if (!contain)
        spawned = posix_spawn(&child, "/proc/self/exe", &actions, &attributes, argv.data(), environ);
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
    const std::string token = newToken(), keyText = newToken();
    unsigned char key[16];
    keyFromHex(keyText, key);
    writeAll(tokenFds[1], token + "\n" + keyText);
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
    if (contain) {
        // The check's own status, as its namespace's first process saw it.
        int checkStatus = 0;
        if (!outcome.timedOut && WIFEXITED(status) && WEXITSTATUS(status) == 0 &&
            read(statusFds[0], &checkStatus, sizeof checkStatus) == static_cast<ssize_t>(sizeof checkStatus))
            status = checkStatus;
        close(statusFds[0]);
    }
    if (outcome.timedOut)
        return outcome;
    if (WIFSIGNALED(status))
        outcome.signal = WTERMSIG(status);
    else if (WIFEXITED(status))
        outcome.exitCode = WEXITSTATUS(status);
    outcome.sealed = unseal(outcome.report, token, key);
    outcome.forged = !outcome.sealed && outcome.report.compare(0, token.size() + 1, token + "\n") == 0;
    return outcome;
}

void dieWithParent()
{
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    const char *parent = std::getenv(kParentVariable);
    if (!parent)
        return;  // run by hand: no token to wait for
    // In a namespace of its own the parent is the namespace's first
    // process, which made the same request and checked the parent before
    // it started this one; and it takes everything with it when it ends.
    const char *parentNamespace = std::getenv(kParentNamespaceVariable);
    const bool contained = parentNamespace && *parentNamespace && pidNamespace() != parentNamespace;
    if (!contained && getppid() != static_cast<pid_t>(std::atoll(parent)))
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
    // "TOKEN\nKEY": the key stays in this process's memory only.
    const std::size_t split = childToken.find('\n');
    if (split != std::string::npos) {
        keyFromHex(childToken.substr(split + 1), childKey);
        childToken.resize(split);
    }
    const int none = open("/dev/null", O_RDONLY | O_CLOEXEC);
    if (none >= 0) {
        dup2(none, STDIN_FILENO);
        close(none);
    }
}

void sealedReport(const std::string &text)
{
    writeAll(kReportFd, childToken + "\n" + text + bodyHash(childKey, text) + "\n" + childToken + "\n");
}
