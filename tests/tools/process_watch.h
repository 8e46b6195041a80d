#pragma once

// Watching the tool's processes from a test: starting one in the
// background and finding and following its children through /proc.

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

// The tool in the background, its standard error in a file.
inline pid_t startTool(const std::vector<std::string> &args, const std::string &errorFile)
{
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errorFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    std::vector<char *> argv{const_cast<char *>(ZELVO_TOOL_PATH)};
    for (const std::string &a : args)
        argv.push_back(const_cast<char *>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = -1;
    posix_spawn(&pid, ZELVO_TOOL_PATH, &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

// Still running: not yet reaped, and not a zombie (a process whose parent
// died is reaped by whoever adopts it, which may be slow in a container).
inline bool alive(pid_t pid)
{
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(stat, line))
        return false;
    const auto close = line.rfind(')');
    return close != std::string::npos && close + 2 < line.size() && line[close + 2] != 'Z';
}

// Running and not yet reaped, for our own child.
inline bool running(pid_t pid)
{
    siginfo_t info = {};
    return waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 && info.si_pid == 0;
}

inline std::vector<pid_t> childrenOf(pid_t parent)
{
    std::vector<pid_t> children;
    for (const auto &e : std::filesystem::directory_iterator("/proc")) {
        const std::string name = e.path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos)
            continue;
        std::ifstream stat(e.path() / "stat");
        std::string line;
        if (!std::getline(stat, line))
            continue;
        const auto close = line.rfind(')');
        if (close == std::string::npos)
            continue;
        std::istringstream fields(line.substr(close + 2));
        char state;
        long ppid = 0;
        if (fields >> state >> ppid && ppid == parent && state != 'Z')
            children.push_back(static_cast<pid_t>(std::stol(name)));
    }
    return children;
}

template <typename Condition>
bool waitFor(Condition condition, std::chrono::seconds limit)
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}
