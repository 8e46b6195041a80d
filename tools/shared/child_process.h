#pragma once

// Work that may crash, abort, hang or end the process (anyone's plug-in
// code) runs in a fresh process of this tool: spawned, not forked, so no
// state or thread of ours is inherited. The child is the leader of a process
// group of its own, and it reports on descriptor 3.
//
// The report is sealed: the parent hands the child a token and a key on its
// standard input, which the child reads before any plug-in code runs; the
// child's own report starts and ends with the token and carries a keyed
// hash of its body. Whatever else appears in the channel (plug-in code may
// write to any descriptor, or take the channel's place and read the token)
// is not the child's report. Code in the child's process could still read
// the key from its memory: the seal guards against accidents and against
// replays, not against a plug-in built to fool it.
//
// A child never outlives its parent: it asks the kernel for SIGKILL when the
// parent dies (dieWithParent), and a parent stopped by a signal ends the
// child's whole group first (through cleanstop). When the child has ended,
// its group is killed, and so is every process it left that was re-parented
// to us, however it detached itself: the parent is its descendants' reaper.

#include <string>
#include <vector>

constexpr int kReportFd = 3;

struct ChildOutcome {
    bool started = false;
    bool timedOut = false;
    int exitCode = -1;  // when it exited
    int signal = 0;     // when a signal ended it
    bool sealed = false;  // the child finished its report itself
    bool forged = false;  // the report bore the token but not the child's hash
    std::string report;   // its sealed report, or else whatever the channel held (at most reportLimit bytes)
    std::string startError;

    bool succeeded() const { return started && !timedOut && signal == 0 && exitCode == 0 && sealed; }
    // "crashed with signal 11 (Segmentation fault)", "timed out after 10 s",
    // "ended the process with exit code 0 before it had finished", ...
    std::string failure(int timeLimitSeconds) const;
};

// Runs this tool with the arguments. Its standard output goes to /dev/null,
// and so does its standard error unless kept (for a sanitizer's report): a
// child speaks through its report. The wait ends when the child ends, even
// if something it started still holds the report channel open.
// `contain`: the child is the first process of a PID namespace of its own
// (child_process.cpp says when that can be had; otherwise it runs as before
// and one line on standard error says so), so nothing it starts outlives it
// or this process, even one killed outright.
// `outputFd`, when given, takes the child's standard output and error.
ChildOutcome runSelf(const std::vector<std::string> &args, int timeLimitSeconds, std::size_t reportLimit,
                     bool keepStderr = false, bool contain = false, int outputFd = -1);

// Called first thing in a child: it is killed when its parent dies, exits at
// once if the parent is already gone, and takes the token of its report.
void dieWithParent();

// The child's report, sealed; called once, at its end.
void sealedReport(const std::string &text);
