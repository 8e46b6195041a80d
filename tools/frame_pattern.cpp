#include "frame_pattern.h"

#include <charconv>
#include <climits>
#include <cstdio>
#include <regex>

namespace {

const std::regex &printfFrame()
{
    static const std::regex re("%(0?)([0-9]*)d");
    return re;
}

}  // namespace

bool isFramePattern(const std::string &pattern)
{
    return pattern.find('#') != std::string::npos || std::regex_search(pattern, printfFrame());
}

std::string frameFileName(const std::string &pattern, int frame)
{
    const auto hash = pattern.find('#');
    if (hash != std::string::npos) {
        auto end = pattern.find_first_not_of('#', hash);
        if (end == std::string::npos)
            end = pattern.size();
        char digits[32];
        std::snprintf(digits, sizeof digits, "%0*d", static_cast<int>(end - hash), frame);
        return pattern.substr(0, hash) + digits + pattern.substr(end);
    }
    std::smatch m;
    if (std::regex_search(pattern, m, printfFrame())) {
        const int width = m[2].length() ? std::stoi(m[2].str()) : 0;
        char digits[32];
        std::snprintf(digits, sizeof digits, m[1].length() ? "%0*d" : "%*d", width, frame);
        return m.prefix().str() + digits + m.suffix().str();
    }
    return pattern;
}

std::optional<long long> frameOfFileName(const std::string &pattern, const std::string &name)
{
    // Where the frame group sits: the pattern's name for two frames that
    // differ in every digit tells the fixed text around it.
    const std::string a = frameFileName(pattern, 0), b = frameFileName(pattern, 1);
    if (a == b)
        return std::nullopt;
    std::size_t prefix = 0;
    while (prefix < a.size() && prefix < b.size() && a[prefix] == b[prefix])
        ++prefix;
    std::size_t suffix = 0;
    while (suffix < a.size() - prefix && a[a.size() - 1 - suffix] == b[b.size() - 1 - suffix])
        ++suffix;
    // Padding digits are part of the group: back up over zeros and spaces.
    while (prefix > 0 && (a[prefix - 1] == '0' || a[prefix - 1] == ' '))
        --prefix;
    if (name.size() < prefix + suffix || name.compare(0, prefix, a, 0, prefix) != 0 ||
        name.compare(name.size() - suffix, suffix, a, a.size() - suffix, suffix) != 0)
        return std::nullopt;
    std::size_t at = prefix;
    while (at < name.size() - suffix && name[at] == ' ')
        ++at;
    long long frame = 0;
    const char *begin = name.data() + at, *end = name.data() + name.size() - suffix;
    const auto [next, error] = std::from_chars(begin, end, frame);
    if (error != std::errc() || next != end || frame < INT_MIN || frame > INT_MAX)
        return std::nullopt;
    if (frameFileName(pattern, static_cast<int>(frame)) != name)
        return std::nullopt;
    return frame;
}
