#include "frame_range.h"

#include <charconv>
#include <climits>
#include <sstream>

#include "cli_error.h"

std::int64_t FrameSegment::count() const
{
    const std::int64_t span = last >= first ? std::int64_t(last) - first : std::int64_t(first) - last;
    return span / step + 1;
}

int FrameSegment::at(std::int64_t index) const
{
    const std::int64_t offset = index * step;
    return static_cast<int>(last >= first ? first + offset : first - offset);
}

FrameList FrameList::of(const std::vector<int> &frames)
{
    std::vector<FrameSegment> segments;
    for (int f : frames)
        segments.push_back({f, f, 1});
    return FrameList(std::move(segments));
}

std::int64_t FrameList::count() const
{
    std::int64_t n = 0;
    for (const FrameSegment &s : segments_)
        n += s.count();
    return n;
}

bool FrameList::contains(int frame) const
{
    for (const FrameSegment &s : segments_) {
        const std::int64_t low = std::min(s.first, s.last), high = std::max(s.first, s.last);
        if (frame >= low && frame <= high && (std::int64_t(frame) - s.first) % s.step == 0)
            return true;
    }
    return false;
}

namespace {

class Parser {
public:
    Parser(const std::string &text, const std::string &option) : text_(text), option_(option) {}

    FrameSegment segment()
    {
        FrameSegment s;
        s.first = s.last = number();
        if (peek('-')) {
            ++at_;
            s.last = number();
            if (peek('x')) {
                ++at_;
                const int step = number();
                if (step <= 0)
                    throw UsageError(option_ + " " + text_ + ": the step after x must be 1 or more");
                s.step = step;
            }
        }
        return s;
    }
    bool peek(char c) const { return at_ < text_.size() && text_[at_] == c; }
    bool done() const { return at_ == text_.size(); }
    void expect(char c)
    {
        if (!peek(c))
            malformed();
        ++at_;
    }
    [[noreturn]] void malformed() const
    {
        throw UsageError(option_ + " needs frames as A, A-B or A-BxN, separated by commas, not '" + text_ + "'");
    }

private:
    int number()
    {
        const char *begin = text_.data() + at_, *end = text_.data() + text_.size();
        long long value = 0;
        const auto [next, error] = std::from_chars(begin, end, value);
        if (error == std::errc::invalid_argument || next == begin)
            malformed();
        if (error == std::errc::result_out_of_range || value < INT_MIN || value > INT_MAX)
            throw UsageError(option_ + " " + text_ + ": " + std::string(begin, next) + " is outside " +
                             std::to_string(INT_MIN) + ".." + std::to_string(INT_MAX));
        at_ = static_cast<std::size_t>(next - text_.data());
        return static_cast<int>(value);
    }

    const std::string &text_;
    const std::string &option_;
    std::size_t at_ = 0;
};

}  // namespace

FrameList parseFrameList(const std::string &text, const std::string &option)
{
    Parser parser(text, option);
    std::vector<FrameSegment> segments{parser.segment()};
    while (!parser.done()) {
        parser.expect(',');
        segments.push_back(parser.segment());
    }
    return FrameList(std::move(segments));
}

std::string frameListText(const std::vector<int> &frames)
{
    std::string text;
    for (std::size_t i = 0; i < frames.size();) {
        std::size_t end = i;
        while (end + 1 < frames.size() && static_cast<long long>(frames[end + 1]) == frames[end] + 1LL)
            ++end;
        text += (text.empty() ? "" : ",") + std::to_string(frames[i]);
        if (end > i)
            text += "-" + std::to_string(frames[end]);
        i = end + 1;
    }
    return text;
}

std::vector<std::string> frameChunks(const FrameList &frames, std::int64_t size)
{
    std::vector<std::string> chunks;
    std::vector<int> chunk;
    frames.forEach([&](int frame) {
        chunk.push_back(frame);
        if (static_cast<std::int64_t>(chunk.size()) == size) {
            chunks.push_back(frameListText(chunk));
            chunk.clear();
        }
    });
    if (!chunk.empty())
        chunks.push_back(frameListText(chunk));
    return chunks;
}
