#pragma once

// Running the zelvo tool as a user does, from the tests.

#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <string>

struct ToolRun {
    int exitCode;        // -1 when a signal ended it
    std::string output;  // standard output and standard error together
    int lines() const { return static_cast<int>(std::count(output.begin(), output.end(), '\n')); }
};

// `shellPrefix` runs in the same shell first: variables, ulimit, trap.
inline ToolRun runTool(const std::string &args, const std::string &shellPrefix = std::string())
{
    const std::string command = shellPrefix + " '" + std::string(ZELVO_TOOL_PATH) + "' " + args + " 2>&1";
    FILE *pipe = popen(command.c_str(), "r");
    ToolRun r{-1, ""};
    if (!pipe)
        return r;
    char buffer[512];
    while (fgets(buffer, sizeof buffer, pipe))
        r.output += buffer;
    const int status = pclose(pipe);
    r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}
