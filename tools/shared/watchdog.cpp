#include "watchdog.h"

#include <unistd.h>

#include <chrono>

Watchdog::Watchdog(int seconds, std::string message)
{
    thread_ = std::thread([this, seconds, message = std::move(message)] {
        std::unique_lock<std::mutex> lock(mutex_);
        if (done_.wait_for(lock, std::chrono::seconds(seconds), [this] { return finished_; }))
            return;
        const std::string line = message + "\n";
        ssize_t ignored = write(STDERR_FILENO, line.data(), line.size());
        (void)ignored;
        _exit(1);
    });
}

Watchdog::~Watchdog()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        finished_ = true;
    }
    done_.notify_all();
    thread_.join();
}
