// The validator: a faulty plug-in fails the right checks with reasons, and
// its crash ends only the check it happened in.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <filesystem>
#include <string>

#include "process_watch.h"
#include "tool_runner.h"

namespace {

struct ValidateRun {
    int exitCode;
    std::string output;
};

ValidateRun validate(const std::string &args, const std::string &environment = std::string())
{
    FILE *pipe = popen((environment + " '" + std::string(ZELVO_TOOL_PATH) + "' validate " + args + " 2>&1").c_str(), "r");
    ValidateRun r{-1, ""};
    char buffer[512];
    while (pipe && fgets(buffer, sizeof buffer, pipe))
        r.output += buffer;
    if (pipe) {
        const int status = pclose(pipe);
        r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    return r;
}

// Processes whose command line holds the seed: a check's process and all
// it forked carry "--seed N" (their own ids may be a PID namespace's).
bool anyProcessWithSeed(unsigned seed)
{
    const std::string digits = std::to_string(seed);
    // "[d]" keeps the pattern from matching the shell that runs pgrep.
    const std::string pattern = "seed " + digits.substr(0, digits.size() - 1) + "[" + digits.back() + "]( |$)";
    return std::system(("pgrep -f '" + pattern + "' > /dev/null").c_str()) == 0;
}

}  // namespace

TEST(Validate, AFaultyPluginFailsWithReasonsAndTheRunGoesOn)
{
    ValidateRun r = validate(std::string("'") + BROKEN_PLUGIN_PATH + "' --seed 42");
    EXPECT_EQ(r.exitCode, 1) << r.output;
    EXPECT_NE(r.output.find("with seed 42"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("FAIL describe.contexts: crashed with signal 6"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("FAIL render.random-parameters: pixels outside the render window were written"),
              std::string::npos)
        << r.output;
    EXPECT_NE(r.output.find("PASS binary.records"), std::string::npos);
    EXPECT_NE(r.output.find("PASS threads.concurrent-instances"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find(" passed, "), std::string::npos);
}

// The fault of plug-ins that lay their pattern across the source bounds
// they are handed: tiled hosts show it, and the message says where.
TEST(Validate, APatternAcrossTheFetchedSourceFailsTheTiledHost)
{
    ValidateRun r = validate(std::string("'") + STRIPES_PLUGIN_PATH + "' --seed 3");
    EXPECT_EQ(r.exitCode, 1) << r.output;
    EXPECT_NE(r.output.find("FAIL hosts.tiled: tiles 16x16 gave other bytes than whole frames: "), std::string::npos)
        << r.output;
    EXPECT_NE(r.output.find(" of 2627 pixels differ, the first at ("), std::string::npos) << r.output;
    for (const char *check : {"render.random-parameters", "hosts.short-lived", "hosts.frames-at-once",
                              "hosts.wrong-depth"})
        EXPECT_NE(r.output.find(std::string("PASS ") + check), std::string::npos) << check << "\n" << r.output;
}

TEST(Validate, WritesOutsideTheWindowAndUndeclaredDepthsAreCaught)
{
    ValidateRun r = validate(std::string("'") + BROKEN_PLUGIN_PATH + "' --seed 4 --only hosts");
    EXPECT_EQ(r.exitCode, 1) << r.output;
    EXPECT_NE(r.output.find("FAIL hosts.oversized: tiles 16x16, the whole frame's output image, sources 5 pixels "
                            "beyond the region of interest: the render of window -13,7 to 3,23 wrote outside it"),
              std::string::npos)
        << r.output;
    EXPECT_NE(r.output.find("FAIL hosts.wrong-depth: source and output in OfxBitDepthShort: the render answered "
                            "kOfxStatOK for an image of a depth never declared"),
              std::string::npos)
        << r.output;
}

TEST(Validate, HostProfilesAreChosenByName)
{
    ValidateRun r = validate("--seed 2 --host tiled --host=top-down --only hosts");
    EXPECT_EQ(r.exitCode, 0) << r.output;
    EXPECT_NE(r.output.find("PASS hosts.tiled\nPASS hosts.top-down\n2 passed, 0 failed"), std::string::npos)
        << r.output;
    ValidateRun all = validate("--seed 2 --host all --only hosts");
    EXPECT_NE(all.output.find("7 passed, 0 failed"), std::string::npos) << all.output;
    ValidateRun bogus = validate("--host sideways");
    EXPECT_EQ(bogus.exitCode, 2);
    EXPECT_NE(bogus.output.find("--host sideways is not a host profile (the profiles: all, tiled, proxy, top-down, "
                                "short-lived, frames-at-once, wrong-depth, oversized)"),
              std::string::npos)
        << bogus.output;
}

// Ending the process is no way to pass a check, and nothing a plug-in
// starts outlives its check, even detached into a session of its own.
TEST(Validate, APluginEndingTheProcessFailsAndLeavesNothingRunning)
{
    ValidateRun r = validate(std::string("'") + EXIT_PLUGIN_PATH + "' --seed 6 --only render.random");
    EXPECT_EQ(r.exitCode, 1) << r.output;
    EXPECT_NE(r.output.find("FAIL render.random-parameters: the plug-in ended the process during check "
                            "render.random-parameters (exit code 1)"),
              std::string::npos)
        << r.output;

    char folder[] = "/tmp/zelvo-detach-XXXXXX";
    const std::string pids = std::string(mkdtemp(folder)) + "/pids";
    setenv("HOSTILE_PID_FILE", pids.c_str(), 1);
    r = validate(std::string("'") + HOSTILE_DETACH_PATH + "' --seed 60613 --only load.cycles");
    unsetenv("HOSTILE_PID_FILE");
    std::ifstream in(pids);
    int count = 0;
    for (pid_t pid; in >> pid;)
        ++count;
    EXPECT_GT(count, 0) << r.output;
    EXPECT_FALSE(anyProcessWithSeed(60613)) << "a helper outlived the validator";
    std::filesystem::remove_all(std::filesystem::path(pids).parent_path());
}

// A plug-in that claims OpenCL buffers and draws nothing there is caught
// by the GPU host (which proves the machine has a device to play one on);
// ours, with its OpenCL path on and so declaring buffers and images, passes
// on that device.
TEST(Validate, DeviceRendersMustBeTheCpuRenders)
{
    ValidateRun hollow = validate(std::string("'") + HOLLOW_GPU_PLUGIN_PATH + "' --seed 2 --only gpu");
    EXPECT_EQ(hollow.exitCode, 1) << hollow.output;
    EXPECT_NE(hollow.output.find("FAIL gpu.opencl-buffers: images in OpenCL buffers gave other bytes than whole frames"),
              std::string::npos)
        << hollow.output;
    const ToolRun declared = runTool("describe", "ZELVO_OPENCL=any");
    EXPECT_NE(declared.output.find("OfxImageEffectPropOpenCLRenderSupported: true"), std::string::npos)
        << declared.output;
    EXPECT_NE(declared.output.find("OfxImageEffectPropOpenCLSupported: true"), std::string::npos) << declared.output;
    ValidateRun zelvo = validate("--seed 2 --only gpu", "ZELVO_OPENCL=any");
    EXPECT_EQ(zelvo.exitCode, 0) << zelvo.output;
    EXPECT_NE(zelvo.output.find("PASS gpu.opencl-buffers"), std::string::npos) << zelvo.output;
    EXPECT_NE(zelvo.output.find("PASS gpu.opencl-images"), std::string::npos) << zelvo.output;
}

// Right frames are not enough: a plug-in that still holds the host's
// context after its unload (a program it never released) fails.
TEST(Validate, APluginHoldingTheHostsContextAfterUnloadFails)
{
    ValidateRun clingy = validate(std::string("'") + CLINGY_GPU_PLUGIN_PATH + "' --seed 3 --only gpu");
    EXPECT_EQ(clingy.exitCode, 1) << clingy.output;
    EXPECT_NE(clingy.output.find("FAIL gpu.opencl-buffers: after its unload the plug-in still holds 1 reference to "
                                 "the host's OpenCL context"),
              std::string::npos)
        << clingy.output;
}

TEST(Validate, OnlyRunsTheMatchingChecks)
{
    ValidateRun r = validate("--only 'binary.*' --seed 1");
    EXPECT_EQ(r.exitCode, 0) << r.output;
    EXPECT_NE(r.output.find("2 passed, 0 failed"), std::string::npos) << r.output;
    EXPECT_EQ(r.output.find("render."), std::string::npos);
    ValidateRun none = validate("--only nothing-matches");
    EXPECT_EQ(none.exitCode, 2);
    EXPECT_NE(none.output.find("binary.records, load.time"), std::string::npos) << none.output;
    ValidateRun missing = validate("/nonexistent/X.ofx");
    EXPECT_NE(missing.exitCode, 0);
}

TEST(Validate, LoadAndUnloadMayBeLeftUntrapped)
{
    ValidateRun r = validate(std::string("'") + UNTRAPPED_PLUGIN_PATH + "' --seed 5");
    EXPECT_EQ(r.exitCode, 0) << r.output;
    EXPECT_NE(r.output.find(" passed, 0 failed"), std::string::npos) << r.output;
}

TEST(Validate, ACheckDiesWithItsParent)
{
    // The check hangs in the binary; its validator is stopped, by a signal
    // it can handle and by one it cannot.
    for (int sig : {SIGTERM, SIGKILL}) {
        char folder[] = "/tmp/zelvo-validate-XXXXXX";
        const std::string errors = std::string(mkdtemp(folder)) + "/stderr.txt";
        const pid_t parent = startTool({"validate", HOSTILE_HANG_PATH, "--only", "binary.records"}, errors);
        ASSERT_GT(parent, 0);
        std::vector<pid_t> children;
        ASSERT_TRUE(waitFor([&] { return !(children = childrenOf(parent)).empty(); }, std::chrono::seconds(30)));
        kill(parent, sig);
        int status = 0;
        waitpid(parent, &status, 0);
        if (sig == SIGTERM) {
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 128 + SIGTERM) << status;
        }
        EXPECT_TRUE(waitFor([&] { return !alive(children.front()); }, std::chrono::seconds(30)))
            << "the check outlived its validator (signal " << sig << ")";
        std::filesystem::remove_all(std::filesystem::path(errors).parent_path());
    }
}

// A check that cannot run proves nothing: SKIP, counted apart, never PASS.
// Without a device (the loader's vendor folder emptied) or without an
// OpenCL render declared, the GPU checks skip; --require gpu fails them.
TEST(Validate, ChecksThatCannotRunSkipAndRequireTurnsThatIntoFailure)
{
    ValidateRun undeclared = validate("--seed 2 --only gpu", "ZELVO_OPENCL=off");
    EXPECT_EQ(undeclared.exitCode, 0) << undeclared.output;
    EXPECT_NE(undeclared.output.find("SKIP gpu.opencl-buffers: the plug-in declares no OpenCL render on buffers\n"
                                     "SKIP gpu.opencl-images: the plug-in declares no OpenCL render on images\n"
                                     "0 passed, 0 failed, 2 skipped\n"),
              std::string::npos)
        << undeclared.output;
    EXPECT_EQ(undeclared.output.find("PASS"), std::string::npos) << undeclared.output;

    char folder[] = "/tmp/zelvo-novendors-XXXXXX";
    const std::string vendors = mkdtemp(folder);
    const std::string noDevice = "OCL_ICD_VENDORS='" + vendors + "'";
    ValidateRun hollow = validate(std::string("'") + HOLLOW_GPU_PLUGIN_PATH + "' --seed 2 --only gpu", noDevice);
    EXPECT_EQ(hollow.exitCode, 0) << hollow.output;
    EXPECT_NE(hollow.output.find("SKIP gpu.opencl-buffers: no OpenCL device to play a GPU host on"),
              std::string::npos)
        << hollow.output;
    ValidateRun required =
        validate(std::string("'") + HOLLOW_GPU_PLUGIN_PATH + "' --seed 2 --only gpu --require gpu", noDevice);
    EXPECT_EQ(required.exitCode, 1) << required.output;
    EXPECT_NE(required.output.find("FAIL gpu.opencl-images: not run (no OpenCL device to play a GPU host on) and "
                                   "--require gpu asks for it"),
              std::string::npos)
        << required.output;
    EXPECT_NE(required.output.find("0 passed, 2 failed\n"), std::string::npos) << required.output;
    EXPECT_EQ(validate("--require nothing").exitCode, 2);
    std::filesystem::remove_all(vendors);
}

// Load and unload answered with kOfxStatReplyDefault, as the standard
// allows, pass every check, the GPU ones included (on a device, drawn there).
TEST(Validate, ReplyDefaultForLoadAndUnloadPassesEveryCheck)
{
    ValidateRun r = validate(std::string("'") + UNTRAPPED_GPU_PLUGIN_PATH + "' --seed 5");
    EXPECT_EQ(r.exitCode, 0) << r.output;
    EXPECT_NE(r.output.find("PASS gpu.opencl-buffers\nSKIP gpu.opencl-images: the plug-in declares no OpenCL "
                            "render on images\n"),
              std::string::npos)
        << r.output;
    EXPECT_EQ(r.output.find("FAIL"), std::string::npos) << r.output;
}

// A helper the plug-in started detached (its own session, its parent gone)
// ends with its check even when the validator itself is stopped, by a
// signal it handles or by SIGKILL: each check runs in a PID namespace of
// its own.
TEST(Validate, DetachedHelpersEndWhenTheValidatorIsStopped)
{
    if (std::system("unshare --pid --fork true 2>/dev/null") != 0 &&
        std::system("unshare --user --pid --fork true 2>/dev/null") != 0)
        GTEST_SKIP() << "this machine allows no PID namespace";
    for (int sig : {SIGKILL, SIGTERM, SIGINT}) {
        char folder[] = "/tmp/zelvo-detach-XXXXXX";
        const std::string dir = mkdtemp(folder), pids = dir + "/pids";
        setenv("HOSTILE_PID_FILE", pids.c_str(), 1);
        const unsigned seed = 70000 + static_cast<unsigned>(sig);
        const pid_t validator = startTool(
            {"validate", HOSTILE_DETACH_PATH, "--only", "load.cycles", "--seed", std::to_string(seed)}, dir + "/err");
        unsetenv("HOSTILE_PID_FILE");
        ASSERT_TRUE(waitFor([&] { return std::filesystem::exists(pids) && std::filesystem::file_size(pids) > 0; },
                            std::chrono::seconds(30)));
        kill(validator, sig);
        waitpid(validator, nullptr, 0);
        EXPECT_TRUE(waitFor([&] { return !anyProcessWithSeed(seed); }, std::chrono::seconds(10)))
            << "a helper outlived the validator stopped by signal " << sig;
        std::filesystem::remove_all(dir);
    }
}

// What CI reads: the same lines for the same seed, a JUnit file an XML
// parser reads (a test case per check, failures and skips with reasons), a
// log with timings, rounds with their own seeds, and every plug-in found.
TEST(Validate, ReportsForCi)
{
    char folder[] = "/tmp/zelvo-reports-XXXXXX";
    const std::string dir = mkdtemp(folder);
    const std::string broken = std::string("'") + BROKEN_PLUGIN_PATH + "' --seed 9 --only 'render.*' ";
    ValidateRun first = validate(broken + "--junit '" + dir + "/report.xml' --log '" + dir + "/run.log'");
    ValidateRun again = validate(broken);
    EXPECT_EQ(first.exitCode, 1) << first.output;
    EXPECT_EQ(first.output, again.output) << "the same seed must print the same lines";

    std::ifstream xml(dir + "/report.xml");
    const std::string report((std::istreambuf_iterator<char>(xml)), std::istreambuf_iterator<char>());
    EXPECT_NE(report.find("<testcase classname=\""), std::string::npos) << report;
    EXPECT_NE(report.find("name=\"render.random-parameters\""), std::string::npos) << report;
    EXPECT_NE(report.find("<failure message=\"pixels outside the render window were written"), std::string::npos)
        << report;
    if (std::system("command -v python3 > /dev/null") == 0) {
        const std::string parse = "python3 -c \"import sys, xml.etree.ElementTree as E; r = E.parse(sys.argv[1]).getroot(); "
                                  "c = r.findall('.//testcase'); "
                                  "sys.exit(0 if len(c) == 2 and len(r.findall('.//failure')) == int(r.get('failures')) "
                                  "else 1)\" '" + dir + "/report.xml'";
        EXPECT_EQ(std::system(parse.c_str()), 0) << report;
    }
    std::ifstream logFile(dir + "/run.log");
    const std::string log((std::istreambuf_iterator<char>(logFile)), std::istreambuf_iterator<char>());
    EXPECT_NE(log.find("seed 9"), std::string::npos) << log;
    EXPECT_NE(log.find("FAIL render.random-parameters in "), std::string::npos) << log;

    ValidateRun rounds = validate("--seed 40 --only binary.records --repeat 2");
    EXPECT_EQ(rounds.exitCode, 0) << rounds.output;
    EXPECT_NE(rounds.output.find("with seed 40 "), std::string::npos) << rounds.output;
    EXPECT_NE(rounds.output.find("with seed 41 "), std::string::npos) << rounds.output;

    // Every plug-in found: Zelvo beside the tool and both records of a binary of two.
    std::filesystem::create_directories(dir + "/path");
    std::filesystem::copy_file(TWIN_PLUGIN_PATH, dir + "/path/Twin.ofx");
    ValidateRun all = validate("--all --seed 3 --only binary.records", "OFX_PLUGIN_PATH='" + dir + "/path'");
    EXPECT_EQ(all.exitCode, 0) << all.output;
    EXPECT_NE(all.output.find("org.zelvo.test.twin.first (seed 3): 1 passed, 0 failed\n"), std::string::npos)
        << all.output;
    EXPECT_NE(all.output.find("org.zelvo.test.twin.second (seed 3): 1 passed, 0 failed\n"), std::string::npos)
        << all.output;
    EXPECT_EQ(all.output.find("PASS "), std::string::npos) << "--all prints a summary line per plug-in";
    std::filesystem::remove_all(dir);
}

// A plug-in that takes the place of the report channel and sends the seal
// it read there around an empty report, when its checks fail, gains
// nothing: its reports carry no hash made with the check's key.
TEST(Validate, AForgedReportIsNoPass)
{
    ValidateRun forged = validate(std::string("'") + FORGE_PLUGIN_PATH + "' --seed 8 --only 'render.*'");
    EXPECT_EQ(forged.exitCode, 1) << forged.output;
    EXPECT_EQ(forged.output.find("PASS render.random-parameters"), std::string::npos) << forged.output;
    EXPECT_NE(forged.output.find("FAIL render.random-parameters: its report does not carry the check's own seal"),
              std::string::npos)
        << forged.output;
    EXPECT_NE(forged.output.find("0 passed, 2 failed"), std::string::npos) << forged.output;
}
