#pragma once

// Work that may crash, abort or hang (anyone's plug-in code) runs in a
// fresh process of this tool: spawned, not forked, so no state or thread of
// ours is inherited. The child is the leader of a process group of its own,
// and it reports on descriptor 3.
//
// A child never outlives its parent: it asks the kernel for SIGKILL when the
// parent dies (dieWithParent), and a parent stopped by SIGINT, SIGTERM or
// SIGHUP ends the child's whole group first (through cleanstop).

#include <string>
#include <vector>

constexpr int kReportFd = 3;

struct ChildOutcome {
    bool started = false;
    bool timedOut = false;
    int exitCode = -1;  // when it exited
    int signal = 0;     // when a signal ended it
    std::string report;  // what it wrote on descriptor 3, at most reportLimit bytes
    std::string startError;

    bool succeeded() const { return started && !timedOut && signal == 0 && exitCode == 0; }
    // "crashed with signal 11 (Segmentation fault)", "timed out after 10 s", ...
    std::string failure(int timeLimitSeconds) const;
};

// Runs this tool with the arguments. Its standard output goes to /dev/null,
// and so does its standard error unless kept (for a sanitizer's report): a
// child speaks through its report.
ChildOutcome runSelf(const std::vector<std::string> &args, int timeLimitSeconds, std::size_t reportLimit,
                     bool keepStderr = false);

// Called first thing in a child: it is killed when its parent dies, and
// exits at once if the parent is already gone.
void dieWithParent();
