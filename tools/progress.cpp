#include "progress.h"

#include <unistd.h>

#include <cstdio>

Progress::Progress(std::int64_t total)
    : total_(total), enabled_(total > 1 && isatty(STDERR_FILENO)), start_(std::chrono::steady_clock::now())
{
}

Progress::~Progress()
{
    if (enabled_ && done_ > 0)
        std::fputc('\n', stderr);
}

void Progress::frameDone()
{
    ++done_;
    if (!enabled_)
        return;
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    const double rate = seconds > 0 ? done_ / seconds : 0.0;
    const double left = rate > 0 ? (total_ - done_) / rate : 0.0;
    const int width = 30;
    const int filled = total_ ? static_cast<int>(done_ * width / total_) : width;
    std::fprintf(stderr, "\r[%.*s%*s] %lld/%lld frames  %.1f fps  %.0f s left ", filled,
                 "##############################", width - filled, "", static_cast<long long>(done_), static_cast<long long>(total_), rate, left);
    std::fflush(stderr);
}
