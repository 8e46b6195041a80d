#pragma once

#include <chrono>
#include <cstdint>

// A one-line progress bar on standard error, drawn only on a terminal.
class Progress {
public:
    explicit Progress(std::int64_t total);
    ~Progress();
    void frameDone();

private:
    std::int64_t total_, done_ = 0;
    bool enabled_;
    std::chrono::steady_clock::time_point start_;
};
