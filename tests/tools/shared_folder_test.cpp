// One output folder shared by many machines and containers, and zelvo
// check on what they leave: renders never remove each other's files in
// flight, dead runs' temporary files go, and a finished sequence is proven
// whole or its gaps named.

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <functional>
#include <regex>
#include <sstream>
#include <thread>

#include "process_watch.h"
#include "tool_fixture.h"
#include "tool_runner.h"

namespace fs = std::filesystem;

namespace {

std::string frameName(const std::string &prefix, int frame)
{
    char name[64];
    std::snprintf(name, sizeof name, "%s.%04d.png", prefix.c_str(), frame);
    return name;
}

class SharedFolder : public ToolTest {
protected:
    // The input sequence: one card under many frame names.
    void writeSequence(int frames, int width, int height)
    {
        ASSERT_EQ(runTool("testcard '" + path("card.png") + "' --width " + std::to_string(width) + " --height " +
                          std::to_string(height))
                      .exitCode,
                  0);
        for (int frame = 1; frame <= frames; ++frame)
            fs::create_symlink("card.png", dir / frameName("in", frame));
    }

    // This tool's temporary files in the folder whose names hold `output`.
    std::vector<std::string> temporariesOf(const std::string &output) const
    {
        std::vector<std::string> found;
        for (const auto &e : fs::directory_iterator(dir)) {
            const std::string name = e.path().filename().string();
            if (name.rfind(".zelvo-", 0) == 0 && name.find(output) != std::string::npos)
                found.push_back(name);
        }
        return found;
    }

    // A container: PID and UTS namespaces of its own, killed with
    // everything in it when `unshare` is. The tool is its PID 1, or comes
    // after some 60 processes: a PID that no other container has, not even
    // as a thread's ID (kill() finds threads too).
    pid_t startContainer(const std::string &host, const std::string &args, const std::string &log, bool init = true)
    {
        const std::string tool = "'" + std::string(ZELVO_TOOL_PATH) + "' " + args;
        const std::string command = "exec unshare --pid --uts --fork --mount-proc --kill-child sh -c \"hostname " +
                                    host + " && " + (init ? "exec " + tool : "seq 60 | xargs -n1 /bin/true; " + tool + "; exit \\$?") + "\" > '" +
                                    log + "' 2>&1";
        const pid_t pid = fork();
        if (pid == 0) {
            execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char *>(nullptr));
            _exit(127);
        }
        return pid;
    }

    static bool waitUntil(const std::function<bool()> &done, int seconds = 60)
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
        while (!done() && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        return done();
    }

    // Stops the tool rendering `output` at a moment it has a temporary file
    // in the folder, so that other runs sweep while it certainly writes.
    pid_t pauseWhileWriting(const std::string &output)
    {
        const std::string find = "for p in $(pgrep -f '" + path(output) + "'); do [ \"$(cat /proc/$p/comm)\" = zelvo ] "
                                 "&& echo $p; done";
        for (int attempt = 0; attempt < 2000; ++attempt) {
            FILE *pipe = popen(find.c_str(), "r");
            int pid = 0;
            if (pipe && fscanf(pipe, "%d", &pid) != 1)
                pid = 0;
            if (pipe)
                pclose(pipe);
            if (pid > 0 && kill(pid, SIGSTOP) == 0) {
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
                if (!temporariesOf(fs::path(output).stem().stem().string() + ".").empty())
                    return pid;
                kill(pid, SIGCONT);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(7));
        }
        return 0;
    }

    static int exitCodeOf(pid_t pid)
    {
        int status = 0;
        waitpid(pid, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
};

}  // namespace

// Two containers, each with the same PID 1, render two sequences into one
// folder at once, after a run in each was killed outright: every frame is
// whole, no live file was taken, and the dead runs' temporary files are gone.
TEST_F(SharedFolder, TwoContainersRenderIntoOneFolderAfterKilledRuns)
{
    if (geteuid() != 0 || std::system("unshare --pid --uts --fork --mount-proc --kill-child true 2>/dev/null") != 0)
        GTEST_SKIP() << "needs root and unshare(1) for PID and UTS namespaces";
    writeSequence(30, 2048, 1152);
    const std::string sequence = "render '" + path("in.#.png") + "' '" + path("%s.#.png") + "' --frames 1-30";
    auto renderOf = [&](const std::string &name) {
        return std::regex_replace(sequence, std::regex("%s"), name);
    };

    // Killed outright mid-frame, as a farm's node or a container runtime kills.
    std::vector<std::string> dead;
    for (const std::string host : {"alpha", "beta"}) {
        const pid_t run = startContainer(host, renderOf(host + "-killed"), path(host + "-killed.log"));
        ASSERT_TRUE(waitUntil([&] { return !temporariesOf(host + "-killed").empty(); })) << fileContents(path(host + "-killed.log"));
        kill(run, SIGKILL);
        exitCodeOf(run);
        ASSERT_TRUE(waitUntil([&] { return std::system(("pgrep -f '[" + host.substr(0, 1) + "]" + host.substr(1) +
                                                         "-killed' > /dev/null").c_str()) != 0; }));
        const std::vector<std::string> left = temporariesOf(host + "-killed");
        ASSERT_EQ(left.size(), 1u);
        EXPECT_NE(left[0].find("-1-"), std::string::npos) << left[0] << " was not written by a PID 1";
        dead.push_back(left[0]);
    }

    // Two live sequences, late in their containers' PIDs; the second
    // starts while the first writes. Both are held in the middle of a
    // write while short renders come and go as PID 1 of theirs, where the
    // live writers' PIDs do not exist: each of those sweeps the folder when
    // it first writes there.
    const pid_t alpha = startContainer("alpha", renderOf("alpha"), path("alpha.log"), false);
    ASSERT_TRUE(waitUntil([&] { return !temporariesOf("alpha.").empty(); })) << fileContents(path("alpha.log"));
    const pid_t beta = startContainer("beta", renderOf("beta"), path("beta.log"), false);
    ASSERT_TRUE(waitUntil([&] { return !temporariesOf("beta.").empty(); })) << fileContents(path("beta.log"));
    const pid_t heldAlpha = pauseWhileWriting("alpha.#.png"), heldBeta = pauseWhileWriting("beta.#.png");
    EXPECT_TRUE(heldAlpha > 0 && heldBeta > 0) << "could not hold both renders mid-write";
    for (int i = 0; i < 3; ++i) {
        const std::string name = "gamma" + std::to_string(i);
        const pid_t gamma = startContainer(name, "render '" + path("in.0001.png") + "' '" + path(name + ".png") + "'",
                                           path(name + ".log"));
        EXPECT_EQ(exitCodeOf(gamma), 0) << fileContents(path(name + ".log"));
    }
    for (pid_t held : {heldAlpha, heldBeta})
        if (held > 0)
            kill(held, SIGCONT);
    EXPECT_EQ(exitCodeOf(alpha), 0) << fileContents(path("alpha.log"));
    EXPECT_EQ(exitCodeOf(beta), 0) << fileContents(path("beta.log"));

    for (const std::string &name : dead)
        EXPECT_FALSE(fs::exists(dir / name)) << name << " of a dead run is still there";
    for (const std::string host : {"alpha", "beta"}) {
        ToolRun check = runTool("check '" + path(host + ".#.png") + "' --like '" + path("in.#.png") + "'");
        EXPECT_EQ(check.exitCode, 0) << check.output;
    }
    for (int frame = 1; frame <= 30; ++frame)
        EXPECT_TRUE(fileContents(path(frameName("alpha", frame))) == fileContents(path(frameName("beta", frame)))) << frame;
    EXPECT_TRUE(strayFiles().empty()) << strayFiles().front();
}

// A farm that runs a chunk again while the first run still lives: two
// renders of the same frames at once, one counting up and one down, both
// succeed and every frame is whole and the same.
TEST_F(SharedFolder, TwoRendersOfTheSameFramesAtOnce)
{
    writeSequence(24, 640, 360);
    ToolRun reference = runTool("render '" + path("in.#.png") + "' '" + path("ref.#.png") + "' -q --frames 1-24");
    ASSERT_EQ(reference.exitCode, 0) << reference.output;
    const pid_t up = startTool({"render", path("in.#.png"), path("out.#.png"), "--frames", "1-24"}, path("up.log"));
    const pid_t down = startTool({"render", path("in.#.png"), path("out.#.png"), "--frames", "24-1"}, path("down.log"));
    EXPECT_EQ(exitCodeOf(up), 0) << fileContents(path("up.log"));
    EXPECT_EQ(exitCodeOf(down), 0) << fileContents(path("down.log"));
    for (int frame = 1; frame <= 24; ++frame)
        EXPECT_TRUE(fileContents(path(frameName("out", frame))) == fileContents(path(frameName("ref", frame)))) << frame;
    EXPECT_TRUE(strayFiles().empty()) << strayFiles().front();
}

// zelvo check names what is missing, cut short, or not the input's frame,
// and the frames to render again as one list.
TEST_F(SharedFolder, CheckNamesEveryFaultAndTheFramesToRenderAgain)
{
    writeSequence(12, 64, 48);
    ASSERT_EQ(runTool("render '" + path("in.#.png") + "' '" + path("out.#.png") + "' -q").exitCode, 0);
    ToolRun whole = runTool("check '" + path("out.#.png") + "' --like '" + path("in.#.png") + "'");
    EXPECT_EQ(whole.exitCode, 0) << whole.output;
    EXPECT_EQ(whole.output, "zelvo: checked 12 frames of " + path("out.#.png") + ": all whole\n");

    fs::remove(path("out.0003.png"));
    fs::remove(path("out.0004.png"));
    fs::resize_file(path("out.0007.png"), 200);
    std::ofstream(path("out.0009.png")) << "";  // a farm's placeholder
    ASSERT_EQ(runTool("testcard '" + path("out.0011.png") + "' --width 32 --height 48").exitCode, 0);
    // Full stacks under AddressSanitizer: the PNG reader's own leak on a
    // cut file is known by its frames.
    const std::string stacks = "ASAN_OPTIONS=\"$ASAN_OPTIONS:fast_unwind_on_malloc=0\"";
    ToolRun r = runTool("check '" + path("out.#.png") + "' --like '" + path("in.#.png") + "'", stacks);
    EXPECT_EQ(r.exitCode, 1);
    const std::string o = path("out.");
    EXPECT_EQ(r.output, "zelvo: frame 3: " + o + "0003.png is missing\n"
                        "zelvo: frame 4: " + o + "0004.png is missing\n"
                        "zelvo: frame 7: " + o + "0007.png is damaged: cut short: row 0 of 48 does not decode\n"
                        "zelvo: frame 9: " + o + "0009.png is damaged: not an image file\n"
                        "zelvo: frame 11: " + o + "0011.png is damaged: its data window 32x48 at 0,0 is not the "
                        "input's 64x48 at 0,0\n"
                        "zelvo: checked 12 frames of " + path("out.#.png") + ": 7 whole, 2 missing, 3 damaged\n"
                        "zelvo: render again: --frames 3-4,7,9,11\n");
    // Without --like or --frames the gaps between the first and last frame
    // found are what is missing; past the last, --frames tells.
    fs::remove(path("out.0012.png"));
    r = runTool("check '" + path("out.#.png") + "'", stacks);
    EXPECT_NE(r.output.find("checked 11 frames"), std::string::npos) << r.output;
    r = runTool("check '" + path("out.#.png") + "' --frames 1-12", stacks);
    EXPECT_NE(r.output.find("render again: --frames 3-4,7,9,12\n"), std::string::npos) << r.output;
    EXPECT_EQ(runTool("check '" + path("out.#.png") + "' --clean soon").exitCode, 2);
    EXPECT_EQ(runTool("check '" + path("nothing.#.png") + "'").exitCode, 1);
}

// Leftover temporary files of any machine or version: reported, removed by
// --clean once old enough, but never while their writer holds them.
TEST_F(SharedFolder, CheckCleansLeftoversButNeverALiveWrite)
{
    writeSequence(2, 32, 24);
    ASSERT_EQ(runTool("render '" + path("in.#.png") + "' '" + path("out.#.png") + "' -q").exitCode, 0);
    const std::string foreign = ".zelvo-k0123456789abcdef-4242-0badf00d.out.0001.png";
    const std::string earlier = ".zelvo-4242-0.out.0002.png";
    const std::string live = ".zelvo-k0123456789abcdef-77-feedbeef.out.0002.png";
    const std::string otherSequence = ".zelvo-4242-0.other.0001.png";
    for (const std::string &name : {foreign, earlier, live, otherSequence})
        std::ofstream(path(name)) << "partial";
    const int fd = open(path(live).c_str(), O_RDWR | O_CLOEXEC);
    struct flock lock = {};
    lock.l_type = F_WRLCK;
    ASSERT_EQ(fcntl(fd, F_OFD_SETLK, &lock), 0);

    ToolRun r = runTool("check '" + path("out.#.png") + "'");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.output.find("leftover temporary file " + path(foreign)), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("a render is still writing " + path(live)), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("2 whole, 0 missing, 0 damaged, 3 temporary files left"), std::string::npos) << r.output;
    EXPECT_EQ(r.output.find("other."), std::string::npos) << r.output;
    EXPECT_EQ(r.output.find("render again"), std::string::npos) << r.output;

    r = runTool("check '" + path("out.#.png") + "' --clean 1h");  // nothing is that old
    EXPECT_TRUE(fs::exists(path(foreign)) && fs::exists(path(earlier)));
    r = runTool("check '" + path("out.#.png") + "' --clean 0s");
    EXPECT_EQ(r.exitCode, 1) << r.output;
    EXPECT_NE(r.output.find("removed leftover temporary file " + path(foreign)), std::string::npos) << r.output;
    EXPECT_FALSE(fs::exists(path(foreign)) || fs::exists(path(earlier)));
    EXPECT_TRUE(fs::exists(path(live)) && fs::exists(path(otherSequence)));
    close(fd);
    r = runTool("check '" + path("out.#.png") + "' --clean 0s");
    EXPECT_EQ(r.exitCode, 0) << r.output;
    fs::remove(path(otherSequence));
}
