// Runs every validation check in a child process of its own, so that a
// crash, an abort or a hang is a result and not the end of the run.

#include <fcntl.h>
#include <fnmatch.h>
#include <poll.h>
#include <signal.h>
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

struct Outcome {
    bool passed;
    std::string reason;
};

Outcome runInChild(const ValidateCheck &check, const std::string &path, unsigned seed)
{
    int pipeFds[2];
    if (pipe(pipeFds) != 0)
        return {false, "cannot create a pipe"};
    std::cout.flush();
    std::cerr.flush();
    const pid_t child = fork();
    if (child < 0)
        return {false, "cannot fork"};
    if (child == 0) {
        close(pipeFds[0]);
        // The plug-in's own console lines are not the validator's output.
        const int devNull = open("/dev/null", O_WRONLY);
        if (devNull >= 0)
            dup2(devNull, STDOUT_FILENO);
        std::string reason;
        int code = 0;
        try {
            check.run(path, seed);
        } catch (const std::exception &e) {
            reason = e.what();
            code = 1;
        }
        if (!reason.empty() && write(pipeFds[1], reason.data(), reason.size()) < 0)
            code = 2;
        close(pipeFds[1]);
        _exit(code);
    }
    close(pipeFds[1]);
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

}  // namespace

int validateCommand(const std::string &plugin, std::optional<unsigned> seedOption, const std::string &only,
                    const char *argv0)
{
    const std::string path = locatePlugin(plugin, argv0);
    const unsigned seed = seedOption ? *seedOption : std::random_device{}();
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
