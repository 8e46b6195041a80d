#pragma once

#include <stdexcept>

// A failure to report to the user as one line on standard error.
class CliError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};
