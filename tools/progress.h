#pragma once

#include <chrono>

// A one-line progress bar on standard error, drawn only on a terminal.
class Progress {
public:
    explicit Progress(int total);
    ~Progress();
    void frameDone();

private:
    int total_, done_ = 0;
    bool enabled_;
    std::chrono::steady_clock::time_point start_;
};
