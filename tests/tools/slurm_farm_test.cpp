// A sequence rendered on a real Slurm cluster of two nodes on this machine,
// as a farm renders it: chunks as array tasks, a node lost in the middle of
// a chunk, the chunk run again on the other node, then frames damaged after
// the fact, found by zelvo check and rendered again.

#include <unistd.h>

#include <chrono>
#include <fstream>
#include <regex>
#include <sstream>
#include <thread>

#include "tool_fixture.h"
#include "tool_runner.h"

namespace fs = std::filesystem;

namespace {

// A shell command's standard output and exit code.
std::pair<int, std::string> shell(const std::string &command)
{
    FILE *pipe = popen((command + " 2>&1").c_str(), "r");
    std::string out;
    char buffer[512];
    while (pipe && fgets(buffer, sizeof buffer, pipe))
        out += buffer;
    const int status = pipe ? pclose(pipe) : -1;
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, out};
}

class SlurmFarm : public ToolTest {
protected:
    void SetUp() override
    {
        ToolTest::SetUp();
#ifdef ZELVO_SANITIZED_BUILD
        GTEST_SKIP() << "the farm runs the normal build's tool";
#endif
        if (geteuid() != 0)
            GTEST_SKIP() << "a private Slurm cluster needs root";
        // The munge socket's path must stay short: a folder of its own in /tmp.
        char pattern[] = "/tmp/zelvo-slurm-XXXXXX";
        cluster_ = mkdtemp(pattern);
        const auto [code, out] = shell(std::string("bash '") + ZELVO_SOURCE_DIR + "/scripts/slurm-cluster' start " +
                                       cluster_);
        if (code != 0)
            GTEST_SKIP() << "Slurm cannot start here: " << out.substr(0, out.find('\n'));
        env_ = "SLURM_CONF='" + cluster_ + "/slurm.conf' ";
    }

    void TearDown() override
    {
        if (!cluster_.empty()) {
            shell(std::string("bash '") + ZELVO_SOURCE_DIR + "/scripts/slurm-cluster' stop " + cluster_);
            // Nothing of the cluster may outlive the test.
            // ("[/]" keeps the pattern from matching the shell that runs pgrep.)
            EXPECT_EQ(shell("pgrep -af '[/]" + cluster_.substr(1) + "'").second, "");
            fs::remove_all(cluster_);
        }
        ToolTest::TearDown();
    }

    std::string slurm(const std::string &command) { return shell(env_ + command).second; }

    std::string submit(const std::string &frames)
    {
        ToolRun r = runTool("submit slurm '" + path("in.#.png") + "' '" + path("out.#.png") + "' --frames " + frames +
                                " --chunk 12 --threads 1 " + kParams,
                            env_);
        EXPECT_EQ(r.exitCode, 0) << r.output;
        std::smatch m;
        EXPECT_TRUE(std::regex_search(r.output, m, std::regex("submitted job ([0-9]+):"))) << r.output;
        return m.size() > 1 ? m[1].str() : "0";
    }

    // Until no task of the job is pending or running.
    void waitFor(const std::string &job)
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(100);
        while (!slurm("squeue -h -j " + job).empty() && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(250));
        ASSERT_EQ(slurm("squeue -h -j " + job), "") << "the job did not finish";
    }

    std::string logs(const std::string &job)
    {
        std::string all;
        for (const auto &e : fs::directory_iterator(dir / "zelvo-logs"))
            if (e.path().filename().string().rfind("zelvo-" + job + "_", 0) == 0)
                all += "== " + e.path().filename().string() + "\n" + fileContents(e.path().string());
        return all;
    }

    void expectSameAsLocal()
    {
        for (int frame = 1; frame <= kFrames; ++frame) {
            char name[32];
            std::snprintf(name, sizeof name, "%04d.png", frame);
            EXPECT_TRUE(fileContents(path(std::string("out.") + name)) == fileContents(path(std::string("local.") + name)))
                << "frame " << frame << " differs from the local render";
        }
        EXPECT_TRUE(strayFiles().empty()) << strayFiles().front();
    }

    static constexpr int kFrames = 60;
    const std::string kParams = "-p splitCount=5 -p splitAngle=0@1,180@60 -p section2=off";
    std::string cluster_, env_;
};

}  // namespace

TEST_F(SlurmFarm, ASequenceSurvivesALostNodeAndDamageAfterwards)
{
    // Frames slow enough that a chunk is still rendering when its node goes.
    ASSERT_EQ(runTool("testcard '" + path("card.png") + "' --width 2048 --height 1152").exitCode, 0);
    for (int frame = 1; frame <= kFrames; ++frame) {
        char name[32];
        std::snprintf(name, sizeof name, "in.%04d.png", frame);
        fs::create_symlink("card.png", dir / name);
    }
    ToolRun local = runTool("render '" + path("in.#.png") + "' '" + path("local.#.png") + "' -q --frames 1-60 " +
                            kParams);
    ASSERT_EQ(local.exitCode, 0) << local.output;

    const std::string job = submit("1-60");
    EXPECT_NE(fileContents(path("zelvo-logs/zelvo-" + job + ".sbatch")).find("--skip-existing"), std::string::npos)
        << "the job script is kept beside the logs";
    // A task on n1 that has written its first frame loses its node.
    const std::regex started("attempt 1 on .*\\(n1\\): frames ([0-9]+)-[0-9]+\nzelvo: frame \\1: ");
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!std::regex_search(logs(job), started) && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ASSERT_TRUE(std::regex_search(logs(job), started)) << logs(job);
    slurm("scontrol update nodename=n1 state=down reason=zelvo-test");
    waitFor(job);

    // The fault landed mid-render, and the run again on n2 resumed the chunk.
    const std::string log = logs(job);
    const std::regex resumed("zelvo: stopped by SIGTERM during frame [0-9]+ [^\n]*\n"
                             "([^\n]*\n)*?zelvo: task [0-9]+ of job [0-9]+, attempt 2 on .*\\(n2\\)[^\n]*\n"
                             "zelvo: frame [0-9]+: skipped: [^\n]* exists\n");
    EXPECT_TRUE(std::regex_search(log, resumed)) << log;
    const std::string tasks = slurm("scontrol -o show job " + job);
    EXPECT_EQ(std::regex_search(tasks, std::regex("JobState=(?!COMPLETED)")), false) << tasks;
    EXPECT_EQ(std::regex_search(tasks, std::regex("ExitCode=(?!0:0)")), false) << tasks;
    expectSameAsLocal();
    ToolRun check = runTool("check '" + path("out.#.png") + "' --like '" + path("in.#.png") + "'");
    EXPECT_EQ(check.exitCode, 0) << check.output;

    // One frame cut short, one gone: check names them, and their list
    // renders them again.
    fs::resize_file(path("out.0020.png"), fs::file_size(path("out.0020.png")) / 2);
    fs::remove(path("out.0045.png"));
    check = runTool("check '" + path("out.#.png") + "' --frames 1-60");
    EXPECT_EQ(check.exitCode, 1) << check.output;
    std::smatch again;
    ASSERT_TRUE(std::regex_search(check.output, again, std::regex("zelvo: render again: --frames ([-0-9,]+)\n")))
        << check.output;
    EXPECT_EQ(again[1].str(), "20,45");
    const std::string second = submit(again[1].str());
    waitFor(second);
    EXPECT_NE(logs(second).find("out.0020.png exists but is not a whole image"), std::string::npos) << logs(second);
    expectSameAsLocal();
    check = runTool("check '" + path("out.#.png") + "' --frames 1-60");
    EXPECT_EQ(check.exitCode, 0) << check.output;
}

// What is submitted, without a cluster: every mistake a task would make is
// refused at submit time, and the job script runs as a task runs it.
class SlurmSubmit : public ToolTest {};

TEST_F(SlurmSubmit, RefusesWhatATaskWouldRefuseBeforeSubmitting)
{
    ASSERT_EQ(runTool("testcard '" + path("in.0001.png") + "' --width 32 --height 24").exitCode, 0);
    const std::string base = "submit slurm '" + path("in.#.png") + "' '" + path("out.#.png") + "' ";
    const struct {
        std::string args, says;
    } refused[] = {
        {"--frames 1-9 --chunk 3 -p splitCont=3", "unknown parameter 'splitCont'"},
        {"--frames 1-9 --chunk 3 -p splitCount=40", "parameter splitCount must lie in"},
        {"--frames 1-9 --chunk 0", "--chunk must be at least 1"},
        {"--chunk 3", "--frames is required"},
        {"--frames 1-9 --chunk 3 --sbatch=mem=1G", "--sbatch takes one sbatch option"},
        {"--frames 1-9 --chunk 3 --max-running 0", "--max-running must be at least 1"},
        {"--frames 1-9 --chunk 3 --tiles 3", "--tiles must be WxH"},
    };
    for (const auto &r : refused) {
        ToolRun run = runTool(base + r.args);
        EXPECT_EQ(run.exitCode, 2) << r.args << "\n" << run.output;
        EXPECT_NE(run.output.find(r.says), std::string::npos) << r.args << "\n" << run.output;
    }
    ToolRun single = runTool("submit slurm '" + path("in.#.png") + "' '" + path("out.png") + "' --frames 1-9 --chunk 3");
    EXPECT_EQ(single.exitCode, 2) << single.output;
    // No sbatch: one line, nothing submitted, no job script left.
    ToolRun noClient = runTool(base + "--frames 1-9 --chunk 3", "PATH=/nonexistent");
    EXPECT_EQ(noClient.exitCode, 1) << noClient.output;
    EXPECT_NE(noClient.output.find("cannot run sbatch"), std::string::npos) << noClient.output;
    EXPECT_TRUE(!fs::exists(path("zelvo-logs")) || fs::is_empty(path("zelvo-logs")));
}

TEST_F(SlurmSubmit, TheJobScriptRendersItsChunkFromAnyFolder)
{
    ASSERT_EQ(runTool("testcard '" + path("card.png") + "' --width 48 --height 32").exitCode, 0);
    for (int frame = 1; frame <= 9; ++frame) {
        char name[32];
        std::snprintf(name, sizeof name, "in.%04d.png", frame);
        fs::create_symlink("card.png", dir / name);
    }
    // Submitted with relative paths from the folder; every path in the
    // script is absolute.
    ToolRun dry = runTool("submit slurm in.#.png out.#.png --frames 1-9 --chunk 4 --max-running 2 -p splitCount=3 "
                          "--partition farm --sbatch=--mem=1G --dry-run",
                          "cd '" + dir.string() + "' &&");
    ASSERT_EQ(dry.exitCode, 0) << dry.output;
    for (const std::string &line : std::vector<std::string>
         {"#SBATCH --array=0-2%2\n", "#SBATCH --requeue\n", "#SBATCH --open-mode=append\n",
          "#SBATCH --output=\"" + path("zelvo-logs") + "/zelvo-%A_%a.log\"\n", "#SBATCH --partition=\"farm\"\n",
          "#SBATCH --mem=1G\n", "  1-4 5-8 9\n", "'" + path("in.#.png") + "' '" + path("out.#.png") + "'",
          "'--plugin' '" + std::string(ZELVO_BUNDLE_PATH) + "'", "'--param' 'splitCount=3'",
          "--frames \"$frames\" --skip-existing\n"})
        EXPECT_NE(dry.output.find(line), std::string::npos) << line << "\n" << dry.output;
    EXPECT_FALSE(fs::exists(path("zelvo-logs"))) << "a dry run writes nothing";

    // Task 1 as Slurm would start it, elsewhere: frames 5-8, then again
    // after a loss, resuming.
    std::ofstream(path("job.sbatch")) << dry.output;
    const std::string task = "cd / && SLURM_ARRAY_TASK_ID=1 SLURM_ARRAY_JOB_ID=7 SLURMD_NODENAME=n1 bash '" +
                             path("job.sbatch") + "' 2>&1";
    const auto [code, log] = shell(task);
    EXPECT_EQ(code, 0) << log;
    EXPECT_NE(log.find("zelvo: task 1 of job 7, attempt 1"), std::string::npos) << log;
    for (int frame = 1; frame <= 9; ++frame) {
        char name[32];
        std::snprintf(name, sizeof name, "out.%04d.png", frame);
        EXPECT_EQ(fs::exists(path(name)), frame >= 5 && frame <= 8) << name;
    }
    fs::remove(path("out.0006.png"));
    const auto [again, resumed] = shell(task);
    EXPECT_EQ(again, 0) << resumed;
    EXPECT_NE(resumed.find("frame 5: skipped"), std::string::npos) << resumed;
    EXPECT_NE(resumed.find("frame 6: " + path("out.0006.png")), std::string::npos) << resumed;
}
