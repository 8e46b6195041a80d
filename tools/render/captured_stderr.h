#pragma once

// Library diagnostics kept off the user's terminal. While an object lives,
// standard error (descriptor 2) goes to a private file; its text can be
// folded into the tool's own one-line message. The image libraries print
// warnings and debug lines there that are not ours to show.

#include <string>

class CapturedStderr {
public:
    CapturedStderr();
    ~CapturedStderr();
    CapturedStderr(const CapturedStderr &) = delete;
    CapturedStderr &operator=(const CapturedStderr &) = delete;

    // What was written so far.
    std::string text() const;

private:
    int saved_ = -1;
    int capture_ = -1;
};

// The first non-empty line of a library's message, trimmed: library errors
// come as several lines that repeat one cause.
std::string firstLine(const std::string &text);
