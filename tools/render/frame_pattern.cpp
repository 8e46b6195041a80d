#include "frame_pattern.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdlib>
#include <filesystem>
#include <regex>

#include "cli_error.h"

namespace fs = std::filesystem;

namespace {

// Frames written before a # or @ group, as oiiotool reads them: "1-50",
// "1-10x2", "1,3,5".
const std::regex kEmbeddedFrames("(-?[0-9]+(--?[0-9]+)?(x-?[0-9]+)?(,-?[0-9]+(--?[0-9]+)?(x-?[0-9]+)?)*)$");

}  // namespace

FramePattern::FramePattern(const std::string &text) : text_(text)
{
    const auto slash = text.find_last_of('/');
    folder_ = slash == std::string::npos ? std::string() : text.substr(0, slash + 1);
    const std::string file = text.substr(folder_.size());
    // The VFX notations first: a run of # (four digits each) or @ (one each).
    const std::size_t hash = file.find_first_of("#@");
    if (hash != std::string::npos) {
        const char mark = file[hash];
        std::size_t end = hash;
        while (end < file.size() && file[end] == mark)
            ++end;
        const int run = static_cast<int>(end - hash);
        width_ = mark == '#' ? 4 * run : run;
        std::string before = file.substr(0, hash);
        std::smatch frames;
        if (std::regex_search(before, frames, kEmbeddedFrames)) {
            embeddedFrames_ = frames[1].str();
            before = frames.prefix().str();
        }
        group_ = true;
        prefix_ = folder_ + before;
        suffix_ = file.substr(end);
        return;
    }
    // Otherwise printf's conversion: %d, %Nd (padded with spaces) or %0Nd
    // (with zeros); "%%" and every other '%' are the character itself.
    for (std::size_t at = file.find('%'); at != std::string::npos; at = file.find('%', at + 1)) {
        std::size_t next = at + 1;
        if (next < file.size() && file[next] == '%') {
            at = next;
            continue;
        }
        const bool zeros = next < file.size() && file[next] == '0';
        next += zeros ? 1 : 0;
        const std::size_t digits = next;
        while (next < file.size() && std::isdigit(static_cast<unsigned char>(file[next])))
            ++next;
        if (next >= file.size() || file[next] != 'd')
            continue;
        const std::string width = file.substr(digits, next - digits);
        if (width.size() > 3 || (!width.empty() && std::stoi(width) > kMaxFrameWidth))
            throw UsageError("the frame number of " + text + " may be at most " + std::to_string(kMaxFrameWidth) +
                             " characters wide");
        width_ = width.empty() ? 0 : std::stoi(width);
        spaces_ = !zeros;
        group_ = true;
        prefix_ = folder_ + literal(file.substr(0, at));
        suffix_ = literal(file.substr(next + 1));
        return;
    }
}

std::string FramePattern::literal(const std::string &part)
{
    std::string out;
    for (std::size_t i = 0; i < part.size(); ++i) {
        out += part[i];
        if (part[i] == '%' && i + 1 < part.size() && part[i + 1] == '%')
            ++i;
    }
    return out;
}

std::string FramePattern::name(int frame) const
{
    if (!group_)
        return text_;
    const bool negative = frame < 0;
    std::string digits = std::to_string(negative ? -static_cast<long long>(frame) : static_cast<long long>(frame));
    // As printf: the sign counts towards the width; zeros go after the
    // sign, spaces before it.
    const int padding = width_ - static_cast<int>(digits.size()) - (negative ? 1 : 0);
    if (padding > 0 && !spaces_)
        digits.insert(0, static_cast<std::size_t>(padding), '0');
    if (negative)
        digits.insert(0, 1, '-');
    if (padding > 0 && spaces_)
        digits.insert(0, static_cast<std::size_t>(padding), ' ');
    return prefix_ + digits + suffix_;
}

std::optional<int> FramePattern::frameOf(const std::string &name) const
{
    if (!group_ || name.size() <= prefix_.size() + suffix_.size() || name.compare(0, prefix_.size(), prefix_) != 0 ||
        name.compare(name.size() - suffix_.size(), suffix_.size(), suffix_) != 0)
        return std::nullopt;
    const char *begin = name.data() + prefix_.size(), *end = name.data() + name.size() - suffix_.size();
    while (begin < end && *begin == ' ')
        ++begin;
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
