#pragma once

// A time limit on work that runs someone else's code in this process (a
// plug-in loading), which may never return: when the limit passes first,
// the message goes to standard error and the process ends with status 1.

#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

class Watchdog {
public:
    Watchdog(int seconds, std::string message);
    ~Watchdog();  // the work returned in time
    Watchdog(const Watchdog &) = delete;
    Watchdog &operator=(const Watchdog &) = delete;

private:
    std::mutex mutex_;
    std::condition_variable done_;
    bool finished_ = false;
    std::thread thread_;
};
