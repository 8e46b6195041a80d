#include "frame_range.h"

#include <charconv>
#include <climits>

#include "cli_error.h"

namespace {

// One frame number at `at`, advancing past it.
int parseFrame(const std::string &text, std::size_t &at)
{
    const char *begin = text.data() + at, *end = text.data() + text.size();
    long long value = 0;
    const auto [next, error] = std::from_chars(begin, end, value);
    if (error == std::errc::invalid_argument || next == begin)
        throw UsageError("--frames needs A-B or A, not '" + text + "'");
    if (error == std::errc::result_out_of_range || value < INT_MIN || value > INT_MAX)
        throw UsageError("--frames " + text + ": frame " + std::string(begin, next) + " is outside " +
                         std::to_string(INT_MIN) + ".." + std::to_string(INT_MAX));
    at = static_cast<std::size_t>(next - text.data());
    return static_cast<int>(value);
}

}  // namespace

FrameRange parseFrameRange(const std::string &text)
{
    FrameRange range;
    std::size_t at = 0;
    range.first = range.last = parseFrame(text, at);
    if (at < text.size()) {
        if (text[at] != '-' || at + 1 == text.size())
            throw UsageError("--frames needs A-B or A, not '" + text + "'");
        ++at;
        range.last = parseFrame(text, at);
        if (at != text.size())
            throw UsageError("--frames needs A-B or A, not '" + text + "'");
    }
    if (range.last < range.first)
        throw UsageError("--frames " + text + " ends before it starts");
    return range;
}
