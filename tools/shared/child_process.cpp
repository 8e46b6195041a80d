#include "child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>

#include "clean_stop.h"

namespace {

const char *const kParentVariable = "ZELVO_PARENT_PID";

}  // namespace

std::string ChildOutcome::failure(int timeLimitSeconds) const
{
    if (!started)
        return "cannot start a process: " + startError;
    if (timedOut)
        return "timed out after " + std::to_string(timeLimitSeconds) + " s";
    if (signal)
        return "crashed with signal " + std::to_string(signal) + " (" + strsignal(signal) + ")";
    if (!report.empty())
        return report;
    return "exited with code " + std::to_string(exitCode);
}

ChildOutcome runSelf(const std::vector<std::string> &args, int timeLimitSeconds, std::size_t reportLimit,
                     bool keepStderr)
{
    ChildOutcome outcome;
    int pipeFds[2];
    if (pipe2(pipeFds, O_CLOEXEC) != 0) {
        outcome.startError = std::strerror(errno);
        return outcome;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], kReportFd);
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
    close(pipeFds[1]);
    if (spawned != 0) {
        close(pipeFds[0]);
        outcome.startError = std::strerror(spawned);
        return outcome;
    }
    outcome.started = true;
    cleanstop::setChildGroup(child);

    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeLimitSeconds);
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
        if (left <= 0) {
            outcome.timedOut = true;
            break;
        }
        pollfd fd{pipeFds[0], POLLIN, 0};
        if (poll(&fd, 1, static_cast<int>(left)) <= 0)
            continue;
        char buffer[4096];
        const ssize_t n = read(pipeFds[0], buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        const std::size_t room = reportLimit - std::min(reportLimit, outcome.report.size());
        outcome.report.append(buffer, std::min(room, static_cast<std::size_t>(n)));
    }
    close(pipeFds[0]);
    // Its end, seen without reaping it, so that its group id stays its own
    // until the group is killed.
    while (!outcome.timedOut) {
        siginfo_t info = {};
        if (waitid(P_PID, static_cast<id_t>(child), &info, WEXITED | WNOHANG | WNOWAIT) == 0 && info.si_pid == child)
            break;
        if (std::chrono::steady_clock::now() >= deadline)
            outcome.timedOut = true;
        else
            usleep(2000);
    }
    // The whole group: whatever the child started goes with it.
    kill(-child, SIGKILL);
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    cleanstop::setChildGroup(0);
    if (outcome.timedOut)
        return outcome;
    if (WIFSIGNALED(status))
        outcome.signal = WTERMSIG(status);
    else if (WIFEXITED(status))
        outcome.exitCode = WEXITSTATUS(status);
    return outcome;
}

void dieWithParent()
{
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    const char *parent = std::getenv(kParentVariable);
    if (parent && getppid() != static_cast<pid_t>(std::atoll(parent)))
        _exit(128 + SIGKILL);  // the parent died before the request took hold
}
