#include "frame_log.h"

#include <unistd.h>

#include <cstdio>

#include "clean_stop.h"

FrameLog::FrameLog(std::int64_t total, bool quiet, bool verbose)
    : total_(total), quiet_(quiet), verbose_(verbose && !quiet),
      bar_(!quiet && !verbose && total > 1 && isatty(STDERR_FILENO)), start_(std::chrono::steady_clock::now())
{
}

FrameLog::~FrameLog()
{
    if (barShown_)
        std::fputc('\n', stderr);
    cleanstop::setLineOpen(false);
}

void FrameLog::line(const std::string &text)
{
    if (barShown_)
        std::fputs("\r\033[K", stderr);  // the line goes above the bar
    std::fprintf(stderr, "zelvo: %s\n", text.c_str());
    if (barShown_)
        drawBar();
    std::fflush(stderr);
}

void FrameLog::drawBar()
{
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    const double rate = seconds > 0 ? done_ / seconds : 0.0;
    const double left = rate > 0 ? (total_ - done_) / rate : 0.0;
    const int width = 30;
    const int filled = total_ ? static_cast<int>(done_ * width / total_) : width;
    std::fprintf(stderr, "\r[%.*s%*s] %lld/%lld frames  %.1f fps  %.0f s left ", filled,
                 "##############################", width - filled, "", static_cast<long long>(done_),
                 static_cast<long long>(total_), rate, left);
    std::fflush(stderr);
    barShown_ = true;
    cleanstop::setLineOpen(true);
}

void FrameLog::written(int frame, const std::string &output, double seconds, const std::string &details)
{
    ++done_;
    if (bar_) {
        drawBar();
        return;
    }
    if (quiet_ || (!verbose_ && isatty(STDERR_FILENO)))
        return;
    char time[32];
    std::snprintf(time, sizeof time, "%.2f s", seconds);
    line("frame " + std::to_string(frame) + ": " + output + " (" + time + ")" +
         (verbose_ && !details.empty() ? " " + details : ""));
}

void FrameLog::skipped(int frame, const std::string &why)
{
    ++done_;
    note(frame, "skipped: " + why);
}

void FrameLog::note(int frame, const std::string &what)
{
    if (!quiet_)
        line("frame " + std::to_string(frame) + ": " + what);
}
