// Runs every validation check in a child process of its own, so that a
// crash, an abort or a hang is a result and not the end of the run.

#include <fcntl.h>
#include <fnmatch.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <iostream>
#include <random>

#include "commands.h"
#include "plugin_locator.h"
#include "validate_checks.h"
#include "validate_session.h"

namespace {

constexpr int kTimeLimitSeconds = 120;
constexpr int kReportFd = 3;

struct Outcome {
    bool passed;
    std::string reason;
};

// The check runs in a fresh process of this tool (spawned, not forked, so
// that no state of ours and no thread is inherited); it reports a failure's
// reason on descriptor 3.
Outcome runInChild(const ValidateCheck &check, const std::string &path, unsigned seed)
{
    int pipeFds[2];
    if (pipe(pipeFds) != 0)
        return {false, "cannot create a pipe"};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], kReportFd);
    // The plug-in's own console lines are not the validator's output.
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    const std::string seedText = std::to_string(seed);
    const char *args[] = {"/proc/self/exe", "validate", path.c_str(), "--seed", seedText.c_str(),
                          "--run-check", check.name.c_str(), nullptr};
    pid_t child = -1;
    const int spawned = posix_spawn(&child, "/proc/self/exe", &actions, nullptr, const_cast<char **>(args), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(pipeFds[1]);
    if (spawned != 0) {
        close(pipeFds[0]);
        return {false, std::string("cannot start a check process: ") + std::strerror(spawned)};
    }
    std::string reason;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(kTimeLimitSeconds);
    bool timedOut = false;
    for (;;) {
        pollfd fd{pipeFds[0], POLLIN, 0};
        const int left = static_cast<int>(
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count());
        if (left <= 0) {
            timedOut = true;
            break;
        }
        if (poll(&fd, 1, left) <= 0)
            continue;
        char buffer[512];
        const ssize_t n = read(pipeFds[0], buffer, sizeof buffer);
        if (n <= 0)
            break;
        reason.append(buffer, static_cast<std::size_t>(n));
    }
    close(pipeFds[0]);
    if (timedOut)
        kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    if (timedOut)
        return {false, "timed out after " + std::to_string(kTimeLimitSeconds) + " s"};
    if (WIFSIGNALED(status))
        return {false, std::string("crashed with signal ") + std::to_string(WTERMSIG(status)) + " (" +
                           strsignal(WTERMSIG(status)) + ")"};
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0)
        return {true, ""};
    return {false, reason.empty() ? "exited with code " + std::to_string(WEXITSTATUS(status)) : reason};
}

// Inside the check's own process.
int runOneCheck(const std::string &name, const std::string &path, unsigned seed)
{
    for (const ValidateCheck &check : validateChecks()) {
        if (check.name != name)
            continue;
        std::string reason;
        try {
            check.run(path, seed);
            return 0;
        } catch (const std::exception &e) {
            reason = e.what();
        }
        if (write(kReportFd, reason.data(), reason.size()) < 0)
            return 2;
        return 1;
    }
    return 3;
}

}  // namespace

int validateCommand(const std::string &plugin, std::optional<unsigned> seedOption, const std::string &only,
                    const std::string &runCheck, const char *argv0)
{
    const std::string path = locatePlugin(plugin, argv0);
    const unsigned seed = seedOption ? *seedOption : std::random_device{}();
    if (!runCheck.empty())
        return runOneCheck(runCheck, path, seed);
    std::cout << "validating " << path << " with seed " << seed << " (replay with --seed " << seed << ")"
              << std::endl;
    int passed = 0, failed = 0;
    for (const ValidateCheck &check : validateChecks()) {
        if (!only.empty() && fnmatch(only.c_str(), check.name.c_str(), 0) != 0 &&
            check.name.find(only) == std::string::npos)
            continue;
        const Outcome outcome = runInChild(check, path, seed);
        if (outcome.passed) {
            std::cout << "PASS " << check.name << std::endl;
            ++passed;
        } else {
            std::cout << "FAIL " << check.name << ": " << outcome.reason << std::endl;
            ++failed;
        }
    }
    std::cout << passed << " passed, " << failed << " failed" << std::endl;
    return failed == 0 && passed > 0 ? 0 : 1;
}
