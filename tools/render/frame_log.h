#pragma once

// What a render tells about its frames on standard error. On a terminal, a
// one-line progress bar; elsewhere (a farm's log), one line per frame with
// its output and time. Quiet leaves only failures; verbose adds the
// plug-in's parameter values of each frame (and lines on a terminal too).

#include <chrono>
#include <cstdint>
#include <string>

class FrameLog {
public:
    FrameLog(std::int64_t total, bool quiet, bool verbose);
    ~FrameLog();

    bool verbose() const { return verbose_; }
    // A frame written; `details` are the parameter values when verbose.
    void written(int frame, const std::string &output, double seconds, const std::string &details);
    // A frame not rendered, and why.
    void skipped(int frame, const std::string &why);
    // Something about a frame that is rendered all the same.
    void note(int frame, const std::string &what);

private:
    void line(const std::string &text);
    void drawBar();

    std::int64_t total_, done_ = 0;
    bool quiet_, verbose_, bar_;
    bool barShown_ = false;
    std::chrono::steady_clock::time_point start_;
};
