#include "frame_pattern.h"

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
