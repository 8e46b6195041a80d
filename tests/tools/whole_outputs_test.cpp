// zelvo render never loses a file: on a full disk, or stopped by a signal
// in the middle of a write, the path keeps what it held and no temporary
// file is left.

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

#include "process_watch.h"
#include "tool_fixture.h"
#include "tool_runner.h"

namespace fs = std::filesystem;

namespace {

// Every output format the tool accepts.
const char *const kFormats[] = {"png", "jpg", "tif", "exr", "dpx", "bmp", "tga",
                                "hdr", "ppm", "gif", "webp", "jp2", "iff"};

std::string contents(const std::string &file)
{
    std::ifstream in(file, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

int widthOf(const std::string &file)
{
    OIIO::ImageBuf b(file);
    return b.read(0, 0, true) ? b.spec().width : -1;
}

class WholeOutputs : public ToolTest {
protected:
    // Renders into `out` where an older file stands, expecting a failure
    // with `reason` that leaves the older file and nothing else.
    void expectFailureKeepsOldFile(const std::string &in, const std::string &out, const std::string &shellPrefix,
                                   const std::string &reason)
    {
        std::ofstream(out) << "the good file that was there";
        ToolRun r = runTool("render '" + in + "' '" + out + "'", shellPrefix);
        EXPECT_EQ(r.exitCode, 1) << out << "\n" << r.output;
        EXPECT_EQ(r.output, "zelvo: cannot write " + out + ": " + reason + "\n");
        EXPECT_TRUE(contents(out) == "the good file that was there") << out << " was replaced";
        EXPECT_TRUE(strayFiles().empty()) << strayFiles().front();
    }
};

}  // namespace

// A full disk simulated without privileges: a file-size limit, with the
// signal it raises ignored so that the write itself fails.
TEST_F(WholeOutputs, AFileSizeLimitFailsEveryFormatCleanly)
{
    writeInput(path("in.png"), OIIO::TypeDesc::UINT8, 160, 120, 7);
    for (const char *format : kFormats) {
        const std::string out = path(std::string("out.") + format);
        expectFailureKeepsOldFile(path("in.png"), out, "trap '' XFSZ; ulimit -f 4;", "File too large");
        // The same format, room to write: the whole image arrives.
        ToolRun ok = runTool("render '" + path("in.png") + "' '" + out + "'");
        EXPECT_EQ(ok.exitCode, 0) << format << "\n" << ok.output;
        EXPECT_EQ(widthOf(out), 160) << format;
    }
}

// As root, also a real full disk: a 1 MB tmpfs.
TEST_F(WholeOutputs, AFullFileSystemFailsCleanly)
{
    const fs::path mountPoint = dir / "small";
    fs::create_directory(mountPoint);
    if (geteuid() != 0 || mount("tmpfs", mountPoint.c_str(), "tmpfs", 0, "size=1m") != 0)
        GTEST_SKIP() << "needs root and tmpfs to mount a small file system";
    struct Unmount {
        fs::path at;
        ~Unmount() { umount(at.c_str()); }
    } unmount{mountPoint};
    // Leave 64 KB, less than any output of this noise needs.
    std::ofstream(mountPoint / "filler", std::ios::binary) << std::string(960 * 1024, 'x');
    writeInput(path("in.tif"), OIIO::TypeDesc::UINT16, 400, 300, 8);
    for (const char *format : {"png", "jpg", "tif", "exr"})
        expectFailureKeepsOldFile(path("in.tif"), (mountPoint / (std::string("out.") + format)).string(), "",
                                  "No space left on device");
}

namespace {

bool anyFileNamed(const fs::path &dir, const std::string &part)
{
    std::error_code ec;
    for (const auto &e : fs::directory_iterator(dir, ec))
        if (e.path().filename().string().find(part) != std::string::npos)
            return true;
    return false;
}

}  // namespace

// The signal arrives while frame 2's temporary file exists, that is while
// its bytes are being written: that file goes, frame 1 stays whole.
TEST_F(WholeOutputs, AStopDuringAWriteRemovesItsTemporaryFileAndKeepsFinishedFrames)
{
    for (int frame = 1; frame <= 3; ++frame)
        writeInput(path("in." + std::to_string(frame) + ".tif"), OIIO::TypeDesc::UINT16, 1200, 900, frame);
    for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGPIPE, SIGALRM, SIGUSR1, SIGUSR2, SIGKILL}) {
        bool caught = false;
        for (int attempt = 0; attempt < 20 && !caught; ++attempt) {
            for (int frame = 1; frame <= 3; ++frame)
                fs::remove(path("out." + std::to_string(frame) + ".tif"));
            const pid_t pid = startTool({"render", path("in.@.tif"), path("out.@.tif"), "--frames", "1-3", "-q"},
                                        path("stderr.txt"));
            ASSERT_GT(pid, 0);
            const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
            while (!anyFileNamed(dir, ".out.2.") && std::chrono::steady_clock::now() < deadline &&
                   running(pid))
                std::this_thread::sleep_for(std::chrono::microseconds(20));
            caught = anyFileNamed(dir, ".out.2.");
            kill(pid, sig);
            int status = 0;
            waitpid(pid, &status, 0);
            if (!caught)
                continue;  // the write was too quick to catch this time
            if (sig == SIGKILL) {
                // Nothing can run on SIGKILL: the next run into the folder
                // removes what this one left.
                EXPECT_FALSE(strayFiles().empty());
                ASSERT_EQ(runTool("render '" + path("in.1.tif") + "' '" + path("again.tif") + "'").exitCode, 0);
                EXPECT_TRUE(strayFiles().empty());
                continue;
            }
            ASSERT_TRUE(WIFEXITED(status)) << "signal " << sig;
            EXPECT_EQ(WEXITSTATUS(status), 128 + sig);
            const std::string line = contents(path("stderr.txt"));
            EXPECT_EQ(line, "zelvo: stopped by SIG" + std::string(sigabbrev_np(sig)) + " during frame 2 (" +
                                path("out.2.tif") + ")\n");
            EXPECT_EQ(widthOf(path("out.1.tif")), 1200);
            EXPECT_FALSE(fs::exists(path("out.2.tif")));
            EXPECT_FALSE(fs::exists(path("out.3.tif")));
            EXPECT_TRUE(strayFiles().empty());
        }
        EXPECT_TRUE(caught) << "never saw frame 2 being written";
    }
}

// Without the shell's trap, the limit's signal would kill the tool: it is
// ignored, so the write fails with one line and leaves nothing behind.
TEST_F(WholeOutputs, AFileSizeLimitIsAFailureNotADeath)
{
    writeInput(path("in.png"), OIIO::TypeDesc::UINT8, 160, 120, 7);
    expectFailureKeepsOldFile(path("in.png"), path("out.tif"), "ulimit -f 4;", "File too large");
}

// Only this tool's own temporary files whose writer is provably gone: named
// under this kernel, their writer's lock free. A live writer's (it holds
// the lock), another machine's, or an earlier version's (whose writers held
// no lock) are never removed on a guess; neither is anyone else's file.
TEST_F(WholeOutputs, OnlyProvablyDeadTemporaryFilesAreRemoved)
{
    std::string boot;
    for (char c : contents("/proc/sys/kernel/random/boot_id"))
        if (std::isxdigit(static_cast<unsigned char>(c)))
            boot += c;
    ASSERT_GE(boot.size(), 16u);
    boot.resize(16);
    const pid_t gone = fork();
    if (gone == 0)
        _exit(0);
    waitpid(gone, nullptr, 0);
    const std::string dead = std::to_string(gone);
    // A container's PID 1 killed outright, and a dead process of ours.
    const std::vector<std::string> stale = {".zelvo-k" + boot + "-1-0badf00d.out.png",
                                            ".zelvo-k" + boot + "-" + dead + "-12345678.other.tif"};
    const std::string live = ".zelvo-k" + boot + "-1-feedbeef.out.png";
    const std::vector<std::string> kept = {live, ".zelvo-k0123456789abcdef-1-0badf00d.out.png",
                                           ".zelvo-" + dead + "-0.out.png", ".out.png.zelvo-" + dead,
                                           ".zelvo-notes.txt", "my.zelvo-" + dead};
    for (const auto &name : stale)
        std::ofstream(path(name)) << "left by a killed run";
    for (const auto &name : kept)
        std::ofstream(path(name)) << "not ours to remove";
    // A live writer's lock, as the tool holds it on its own files.
    const int fd = open(path(live).c_str(), O_RDWR | O_CLOEXEC);
    struct flock lock = {};
    lock.l_type = F_WRLCK;
    ASSERT_EQ(fcntl(fd, F_OFD_SETLK, &lock), 0);
    writeInput(path("in.png"), OIIO::TypeDesc::UINT8, 16, 12, 7);
    ASSERT_EQ(runTool("render '" + path("in.png") + "' '" + path("out.png") + "'").exitCode, 0);
    for (const auto &name : stale)
        EXPECT_FALSE(fs::exists(path(name))) << name;
    for (const auto &name : kept)
        EXPECT_TRUE(fs::exists(path(name))) << name;
    close(fd);
    for (const auto &name : kept)
        fs::remove(path(name));
}

// The longest legal output name still has a legal temporary name.
TEST_F(WholeOutputs, TheLongestNamesCanBeWritten)
{
    writeInput(path("in.png"), OIIO::TypeDesc::UINT8, 16, 12, 7);
    const std::string out = path(std::string(251, 'n') + ".png");
    ToolRun r = runTool("render '" + path("in.png") + "' '" + out + "'");
    EXPECT_EQ(r.exitCode, 0) << r.output;
    EXPECT_EQ(widthOf(out), 16);
    EXPECT_TRUE(strayFiles().empty());
}

// A file the user may not write is refused as cp refuses it; as root the
// tool is run as an unprivileged user for the test.
TEST_F(WholeOutputs, AnOutputTheUserMayNotWriteIsKept)
{
    writeInput(path("in.png"), OIIO::TypeDesc::UINT8, 16, 12, 7);
    const std::string out = path("locked.png");
    std::ofstream(out) << "read only";
    fs::permissions(out, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    std::string prefix;
    if (geteuid() == 0) {
        if (std::system("command -v setpriv > /dev/null") != 0)
            GTEST_SKIP() << "needs setpriv to run as another user";
        fs::permissions(dir, fs::perms::all);
        chown(out.c_str(), 65534, 65534);
        fs::permissions(path("in.png"), fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
        prefix = "setpriv --reuid=65534 --regid=65534 --clear-groups";
    }
    ToolRun r = runTool("render '" + path("in.png") + "' '" + out + "'", prefix);
    EXPECT_EQ(r.exitCode, 1) << r.output;
    EXPECT_EQ(r.output, "zelvo: cannot write " + out + ": Permission denied\n");
    EXPECT_EQ(contents(out), "read only");
    EXPECT_TRUE(strayFiles().empty());
}

// On a terminal the progress bar holds the line; a stop starts its own.
TEST_F(WholeOutputs, TheStopLineStartsALineOfItsOwn)
{
    if (std::system("command -v script > /dev/null && command -v pkill > /dev/null") != 0)
        GTEST_SKIP() << "needs script(1) for a terminal, and pkill";
    writeInput(path("in.png"), OIIO::TypeDesc::UINT8, 8, 6, 1);
    const std::string tty = path("tty.txt");
    const std::string command = "'" + std::string(ZELVO_TOOL_PATH) + "' render '" + path("in.png") + "' '" +
                                path("bar.#.png") + "' --frames 1-1000000";
    ASSERT_EQ(std::system(("script -qfec \"" + command + "\" /dev/null > '" + tty + "' 2>&1 &").c_str()), 0);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (contents(tty).find(" frames ") == std::string::npos && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ASSERT_NE(contents(tty).find(" frames "), std::string::npos) << contents(tty).substr(0, 300);
    // The tool itself, not the script around it (its command line holds the same words).
    std::system(("for p in $(pgrep -f '" + path("bar.#.png") + "'); do [ \"$(cat /proc/$p/comm)\" = zelvo ] && "
                 "kill -TERM $p; done").c_str());
    const auto stopped = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (contents(tty).find("stopped by SIGTERM") == std::string::npos &&
           std::chrono::steady_clock::now() < stopped)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    const std::string text = contents(tty);
    const std::size_t at = text.find("zelvo: stopped by SIGTERM");
    ASSERT_NE(at, std::string::npos) << text.substr(text.size() > 300 ? text.size() - 300 : 0);
    EXPECT_TRUE(at > 0 && (text[at - 1] == '\n')) << text.substr(at > 40 ? at - 40 : 0);
    for (const auto &e : fs::directory_iterator(dir))
        if (e.path().filename().string().rfind("bar.", 0) == 0)
            fs::remove(e.path());
    EXPECT_TRUE(strayFiles().empty());
}

// A byte changed on its way to the disk: the read-back finds it, in the
// pixels of an uncompressed file or in a compressed file's stream, and the
// file that was at the path stays.
TEST_F(WholeOutputs, AWriteThatChangesAByteIsCaughtBeforeTheRename)
{
#ifdef ZELVO_SANITIZED_BUILD
    GTEST_SKIP() << "a preloaded library cannot come before the sanitizer's runtime";
#endif
    writeInput(path("in.png"), OIIO::TypeDesc::UINT8, 300, 200, 7);
    const std::string preload = "LD_PRELOAD='" + std::string(CORRUPT_WRITES_PATH) + "' ZELVO_CORRUPT_OFFSET=";
    // Deep in the pixels, in a band the first reader does not decode.
    expectFailureKeepsOldFile(path("in.png"), path("out.ppm"), preload + "150000",
                              "the pnm writer wrote other pixels than it was given");
    expectFailureKeepsOldFile(path("in.png"), path("out.png"), preload + "3",
                              "the image library wrote a file it cannot read back");
    ToolRun clean = runTool("render '" + path("in.png") + "' '" + path("out.ppm") + "'", preload + "99999999");
    EXPECT_EQ(clean.exitCode, 0) << clean.output;
}
