#pragma once

// The frames of a render, from --frames "A-B" (or "A"). Any frames of the
// int range can be named; the count and the loop are kept in 64 bits so
// neither end of the range can overflow.

#include <cstdint>
#include <string>

struct FrameRange {
    int first = 0, last = 0;
    std::int64_t count() const { return std::int64_t(last) - first + 1; }
};

// Throws UsageError with the reason: not a range, a number outside the int
// range, or an end before the start.
FrameRange parseFrameRange(const std::string &text);
