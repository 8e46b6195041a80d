#pragma once

#include <stdexcept>

// The tool's exit codes; 128+N is left to a stop by signal N.
enum ExitCode : int {
    kExitSuccess = 0,
    kExitFailure = 1,  // a render, a plug-in or a file failed
    kExitUsage = 2,    // the command line asks for something impossible
};

// A failure to report to the user as one line on standard error.
class CliError : public std::runtime_error {
public:
    explicit CliError(const std::string &message, ExitCode code = kExitFailure)
        : std::runtime_error(message), code_(code)
    {
    }
    ExitCode code() const { return code_; }

private:
    ExitCode code_;
};

// A command line that cannot be carried out as written.
class UsageError : public CliError {
public:
    explicit UsageError(const std::string &message) : CliError(message, kExitUsage) {}
};
