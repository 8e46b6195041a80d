#pragma once

// The hidden temporary files that outputs are written into before they are
// renamed into place, and how a run tells a dead writer's from a live one.
//
// Render farms write one shared folder from many machines and containers,
// where a process ID proves nothing. So a writer holds an open-file-
// description lock on its temporary file for as long as the file exists;
// the kernel drops it when the process dies, however it dies. A lock is
// coherent between all processes of one kernel (every PID namespace, and
// network file systems through that kernel's client), but not always across
// machines (an NFS mount with `nolock`, some FUSE file systems). The name
// therefore carries the kernel's boot ID, and a sweep removes only files
// written under its own kernel whose lock it can take: proven dead. Files
// of other machines, of an earlier boot, or named as earlier versions named
// them (".zelvo-PID-N.NAME", ".NAME.zelvo-PID[-N]"), whose writers held no
// lock, are never removed on a guess: `zelvo check --clean AGE` removes them.

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace temporaries {

// ".zelvo-kBOOT-PID-RANDOM.NAME", cut to a legal name; BOOT is 16 hex
// digits of the kernel's boot ID and RANDOM 8 fresh hex digits, so no
// writer anywhere makes a name another one has made.
std::string freshName(const std::string &outputName);

// A temporary file of this tool, by its name, under any version's naming.
struct Recognised {
    std::string boot;    // the writer kernel's 16 hex digits; "" for earlier names
    std::string output;  // the output's file name, as far as the name holds it
};
std::optional<Recognised> recognise(const std::string &fileName);

// Holds the writer's lock on a file it has just created at `path` (open
// for writing as `fd`). False when the file is no longer the one created:
// a sweep took it in between, and the caller starts again under another
// name. A file system without such locks leaves the file unlocked, which
// sweeps then never take for dead.
bool holdWriterLock(int fd, const std::string &path);

// Removes the temporary files in `folder` that are provably dead: named
// under this kernel, regular files of this user, their lock free. Each
// folder once per process.
void sweepDead(const std::string &folder);

// A temporary file found in a folder, and whether it was removed.
struct Leftover {
    std::string path;
    bool live = false;     // its writer holds its lock: never removed
    bool removed = false;
    std::chrono::seconds age{0};
};

// The temporary files of this tool in `folder` written for the outputs
// `belongs` accepts; those not live whose age is at least
// `removeOlderThan`, when given, are removed (any machine's, any version's).
std::vector<Leftover> leftovers(const std::string &folder, std::optional<std::chrono::seconds> removeOlderThan,
                                const std::function<bool(const std::string &output)> &belongs);

}  // namespace temporaries
