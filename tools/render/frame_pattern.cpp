#include "frame_pattern.h"

#include <OpenImageIO/filesystem.h>

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <filesystem>
#include <regex>

namespace fs = std::filesystem;

FramePattern::FramePattern(const std::string &text) : text_(text)
{
    const auto slash = text.find_last_of('/');
    folder_ = slash == std::string::npos ? std::string() : text.substr(0, slash + 1);
    const std::string file = text.substr(folder_.size());
    // The image library turns the VFX notations into printf's; the name is
    // then split around the one conversion, so no other '%' of a file name
    // ever reaches a formatter.
    std::string normalized;
    if (!OIIO::Filesystem::parse_pattern(file.c_str(), 0, normalized, embeddedFrames_))
        return;
    static const std::regex conversion("%(0?)([0-9]*)d");
    std::smatch m;
    if (!std::regex_search(normalized, m, conversion))
        return;
    group_ = true;
    prefix_ = folder_ + m.prefix().str();
    suffix_ = m.suffix().str();
    width_ = m[2].length() ? std::min(std::atoi(m[2].str().c_str()), 20) : 0;
}

std::string FramePattern::name(int frame) const
{
    if (!group_)
        return text_;
    const bool negative = frame < 0;
    std::string digits = std::to_string(negative ? -static_cast<long long>(frame) : static_cast<long long>(frame));
    // printf's %0Nd: the sign counts towards the width.
    const int padding = width_ - static_cast<int>(digits.size()) - (negative ? 1 : 0);
    if (padding > 0)
        digits.insert(0, static_cast<std::size_t>(padding), '0');
    return prefix_ + (negative ? "-" : "") + digits + suffix_;
}

std::optional<int> FramePattern::frameOf(const std::string &name) const
{
    if (!group_ || name.size() <= prefix_.size() + suffix_.size() || name.compare(0, prefix_.size(), prefix_) != 0 ||
        name.compare(name.size() - suffix_.size(), suffix_.size(), suffix_) != 0)
        return std::nullopt;
    const char *begin = name.data() + prefix_.size(), *end = name.data() + name.size() - suffix_.size();
    long long frame = 0;
    const auto [next, error] = std::from_chars(begin, end, frame);
    if (error != std::errc() || next != end || frame < INT32_MIN || frame > INT32_MAX)
        return std::nullopt;
    if (this->name(static_cast<int>(frame)) != name)
        return std::nullopt;
    return static_cast<int>(frame);
}

std::vector<int> FramePattern::existingFrames() const
{
    std::vector<int> frames;
    if (!group_)
        return frames;
    std::error_code ec;
    for (const auto &entry : fs::directory_iterator(folder_.empty() ? "." : folder_, ec)) {
        const std::string name = folder_ + entry.path().filename().string();
        if (auto frame = frameOf(name))
            frames.push_back(*frame);
    }
    std::sort(frames.begin(), frames.end());
    return frames;
}
