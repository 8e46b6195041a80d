// zelvo check: is a finished sequence whole? After a night of farm
// failures, the frames to render again as one --frames list.

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <set>

#include "cli_error.h"
#include "commands.h"
#include "frame_pattern.h"
#include "frame_range.h"
#include "image_io.h"
#include "temporary_files.h"

namespace fs = std::filesystem;

namespace {

// "90", "90s", "15m", "2h", "1d": an age in seconds.
std::chrono::seconds parseAge(const std::string &text)
{
    const std::string usage = "--clean needs an age such as 90s, 15m, 2h or 1d, not '" + text + "'";
    std::size_t digits = 0;
    while (digits < text.size() && std::isdigit(static_cast<unsigned char>(text[digits])))
        ++digits;
    if (digits == 0 || digits > 9 || text.size() > digits + 1)
        throw UsageError(usage);
    const long long n = std::stoll(text.substr(0, digits));
    const char unit = digits < text.size() ? text[digits] : 's';
    const long long scale = unit == 's' ? 1 : unit == 'm' ? 60 : unit == 'h' ? 3600 : unit == 'd' ? 86400 : 0;
    if (scale == 0)
        throw UsageError(usage);
    return std::chrono::seconds(n * scale);
}

std::string ageText(std::chrono::seconds age)
{
    const long long s = age.count();
    if (s < 120)
        return std::to_string(s) + " s";
    if (s < 7200)
        return std::to_string(s / 60) + " min";
    if (s < 172800)
        return std::to_string(s / 3600) + " h";
    return std::to_string(s / 86400) + " days";
}

// The frames to check: those asked for, else those the output's name
// gives, else the input's (--like), else every frame from the first to the
// last output that exists (the gaps are what is missing).
FrameList framesToCheck(const CheckOptions &o, const FramePattern &out, const FramePattern *like)
{
    if (!o.frames.empty())
        return parseFrameList(o.frames);
    if (!out.embeddedFrames().empty())
        return parseFrameList(out.embeddedFrames(), "the frames in " + out.text());
    if (!out.isSequence())
        return FrameList::of({0});
    if (like && like->isSequence()) {
        const std::vector<int> inputs = like->existingFrames();
        if (!inputs.empty())
            return FrameList::of(inputs);
    }
    const std::vector<int> existing = out.existingFrames();
    if (existing.empty())
        throw CliError("no frames of " + out.text() + " found: name them with --frames");
    return FrameList({FrameSegment{existing.front(), existing.back(), 1}});
}

// On a terminal, the count so far on one line.
class Progress {
public:
    explicit Progress(std::int64_t total) : total_(total), shown_(total > 1 && isatty(STDERR_FILENO)) {}
    ~Progress() { clear(); }
    void step()
    {
        ++done_;
        if (shown_ && (done_ % 8 == 0 || done_ == total_))
            std::fprintf(stderr, "\r[%lld/%lld frames checked] ", static_cast<long long>(done_),
                         static_cast<long long>(total_));
    }
    void line(const std::string &text)
    {
        clear();
        std::fprintf(stderr, "zelvo: %s\n", text.c_str());
    }

private:
    void clear()
    {
        if (shown_ && done_ > 0)
            std::fputs("\r\033[K", stderr);
    }
    std::int64_t total_, done_ = 0;
    bool shown_;
};

}  // namespace

int checkCommand(const CheckOptions &o)
{
    const FramePattern out(o.output);
    std::optional<FramePattern> like;
    if (!o.like.empty())
        like.emplace(o.like);
    std::optional<std::chrono::seconds> cleanAge;
    if (!o.clean.empty())
        cleanAge = parseAge(o.clean);
    const FrameList frames = framesToCheck(o, out, like ? &*like : nullptr);

    Progress progress(frames.count());
    std::vector<int> again;
    std::int64_t missing = 0, damaged = 0;
    std::set<std::string> names;
    frames.forEach([&](int frame) {
        const std::string name = out.name(frame);
        names.insert(fs::path(name).filename().string());
        std::error_code ec;
        const std::string prefix = "frame " + std::to_string(frame) + ": " + name;
        if (!fs::exists(name, ec)) {
            ++missing;
            again.push_back(frame);
            progress.line(prefix + " is missing");
        } else {
            std::string input;
            if (like && fs::exists(like->name(frame), ec))
                input = like->name(frame);
            const std::string fault = wholeImageFault(name, input);
            if (!fault.empty()) {
                ++damaged;
                again.push_back(frame);
                progress.line(prefix + " is damaged: " + fault);
            }
        }
        progress.step();
    });

    // The temporary files of this sequence's frames (their names hold the
    // output's name after the tool's own prefix).
    const std::string folder = fs::path(o.output).parent_path().string();
    std::int64_t left = 0;
    for (const temporaries::Leftover &l : temporaries::leftovers(folder, cleanAge, [&](const std::string &output) {
             return names.count(output) > 0;
         })) {
        if (l.removed) {
            progress.line("removed leftover temporary file " + l.path + " (" + ageText(l.age) + " old)");
            continue;
        }
        ++left;
        progress.line(l.live ? "a render is still writing " + l.path
                             : "leftover temporary file " + l.path + " (" + ageText(l.age) +
                                   " old; --clean AGE removes it)");
    }

    const std::int64_t whole = frames.count() - missing - damaged;
    std::string summary = "checked " + std::to_string(frames.count()) + " frames of " + o.output + ": ";
    if (missing == 0 && damaged == 0 && left == 0) {
        progress.line(summary + "all whole");
        return kExitSuccess;
    }
    summary += std::to_string(whole) + " whole, " + std::to_string(missing) + " missing, " +
               std::to_string(damaged) + " damaged";
    if (left > 0)
        summary += ", " + std::to_string(left) + " temporary file" + (left == 1 ? "" : "s") + " left";
    progress.line(summary);
    if (!again.empty()) {
        std::sort(again.begin(), again.end());
        progress.line("render again: --frames " + frameListText(again));
    }
    return kExitFailure;
}
