#pragma once

// Clean stops on every catchable signal that would end the process. The
// handler removes the temporary file of the output in flight (finished
// outputs are already in place and are never touched), prints one line
// naming what was under way, and exits with 128 + the signal's number; on
// a crash (SIGSEGV, SIGBUS, ...) it then dies of the signal itself. SIGXFSZ
// is ignored, so that a file-size limit is a write's EFBIG, not a death.
//
// The texts are published through atomic pointers into buffers owned here,
// so the handler, which may run on any thread, reads only finished strings
// and calls only async-signal-safe functions.

#include <string>

namespace cleanstop {

// Installs the handlers; the console line goes to the standard error that
// is current now, even if it is redirected later.
void install();

// What the tool is doing, as the end of "zelvo: stopped by SIGINT ...":
// "during frame 12 (out.0012.png)".
void setActivity(const std::string &text);

// The temporary file to remove on a stop; empty when none is in flight.
void setTemporaryFile(const std::string &path);

// The process group of a child to end with us (0: none).
void setChildGroup(int pid);

// A progress bar holds the terminal's line: a stop line starts a new one.
void setLineOpen(bool open);

// Plug-in code may call exit() (or quick_exit) in the middle of a load or a
// render. Watching for it: an exit that comes before finished() prints one
// line with the activity and ends the process with status 1, never 0, after
// removing the temporary file in flight. In a child process (child_process.h)
// the line goes to its report instead of standard error.
void watchExits();
void finished();
// How that line begins (after "zelvo: " on standard error).
constexpr const char *kEndedLine = "the plug-in ended the process";

}  // namespace cleanstop
