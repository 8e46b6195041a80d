// Other people's plug-ins on the search path: a binary that crashes, hangs
// or claims absurd things while being loaded, and folders that link back
// on themselves, cost one line each and never the tool.

#include "tool_fixture.h"
#include "tool_runner.h"

namespace fs = std::filesystem;

namespace {

class PluginSearch : public ToolTest {
protected:
    // A plug-in folder with the good mini plug-in deep inside, the given
    // unfit binaries, and two links that make loops.
    std::string pluginPath(std::initializer_list<std::pair<const char *, const char *>> unfit)
    {
        const fs::path root = dir / "ofx";
        fs::create_directories(root / "vendor");
        fs::copy_file(MINI_PLUGIN_PATH, root / "vendor" / "Mini.ofx");
        for (const auto &[name, binary] : unfit)
            fs::copy_file(binary, root / name);
        fs::create_directory_symlink(root, root / "vendor" / "back");
        fs::create_directory_symlink(".", root / "self");
        return "OFX_PLUGIN_PATH='" + root.string() + "' timeout 120";
    }
};

}  // namespace

TEST_F(PluginSearch, ListingSkipsAndReportsBinariesUnfitToLoad)
{
    const std::string env = pluginPath(
        {{"crash.ofx", HOSTILE_CRASH_PATH}, {"hang.ofx", HOSTILE_HANG_PATH}, {"many.ofx", HOSTILE_MANY_PATH}});
    ToolRun r = runTool("plugins", env);
    EXPECT_EQ(r.exitCode, 0) << r.output;
    const std::string root = (dir / "ofx").string();
    for (const std::string &line :
         {"org.zelvo.test.mini 1.0  " + root + "/vendor/Mini.ofx\n", "zelvo: skipped " + root + "/crash.ofx: ",
          "zelvo: skipped " + root + "/hang.ofx: timed out after 10 s while being loaded\n",
          "zelvo: skipped " + root + "/many.ofx: declares 2147483647 plug-ins (at most 1000 are believed)\n",
          std::string("(beside zelvo: the default)\n"), "zelvo: skipped " + root + "/vendor/back: ",
          "zelvo: skipped " + root + "/self: "})
        EXPECT_NE(r.output.find(line), std::string::npos) << line << "\n" << r.output;
    EXPECT_EQ(r.output.find("org.zelvo.test.hostile"), std::string::npos) << r.output;
    // Each folder once: the loops add no repeats.
    EXPECT_EQ(r.output.find("Mini.ofx"), r.output.rfind("Mini.ofx")) << r.output;
    EXPECT_LT(r.lines(), 20) << r.output;
}

TEST_F(PluginSearch, LookUpByIdentifierSurvivesBinariesUnfitToLoad)
{
    const std::string env = pluginPath({{"crash.ofx", HOSTILE_CRASH_PATH}, {"many.ofx", HOSTILE_MANY_PATH}});
    ToolRun found = runTool("describe org.zelvo.test.mini", env);
    EXPECT_EQ(found.exitCode, 0) << found.output;
    EXPECT_NE(found.output.find("plug-in: org.zelvo.test.mini 1.0"), std::string::npos) << found.output;
    ToolRun missing = runTool("describe org.nobody.nothing", env);
    EXPECT_EQ(missing.exitCode, 1) << missing.output;
    EXPECT_EQ(missing.lines(), 1) << missing.output;
    EXPECT_NE(missing.output.find("plug-in not found: org.nobody.nothing"), std::string::npos) << missing.output;
    EXPECT_NE(missing.output.find("2 unreadable binaries skipped"), std::string::npos) << missing.output;
}

// A binary that ends the process, hands out no record or writes records of
// its own into the probe's channel is skipped with a line saying so; one
// that leaves a helper running is read as soon as the probe ends.
TEST_F(PluginSearch, ProbesSayWhatEachBinaryDid)
{
    const std::string env = pluginPath({{"exit.ofx", HOSTILE_EXIT_LOAD_PATH},
                                        {"null.ofx", HOSTILE_NULL_PATH},
                                        {"fake.ofx", HOSTILE_FAKE_PATH},
                                        {"fork.ofx", HOSTILE_FORK_PATH}});
    ToolRun r = runTool("plugins", env);
    EXPECT_EQ(r.exitCode, 0) << r.output;
    const std::string root = (dir / "ofx").string();
    for (const std::string &line :
         {"zelvo: skipped " + root + "/exit.ofx: ended the process while being loaded\n",
          "zelvo: skipped " + root + "/null.ofx: OfxGetPlugin returned no record for plug-in 0 of 1\n",
          "zelvo: skipped " + root + "/fake.ofx: wrote into the probe's report while being loaded\n",
          "org.zelvo.test.hostile 1.0  " + root + "/fork.ofx\n"})
        EXPECT_NE(r.output.find(line), std::string::npos) << line << "\n" << r.output;
    EXPECT_EQ(r.output.find("com.fake.plugin"), std::string::npos) << r.output;
    EXPECT_EQ(r.output.find("timed out"), std::string::npos) << r.output;
}

// Each plug-in of a binary that holds two is the one its identifier names.
TEST_F(PluginSearch, EveryRecordOfABinaryIsReachedByItsIdentifier)
{
    const fs::path root = dir / "twin";
    fs::create_directories(root);
    fs::copy_file(TWIN_PLUGIN_PATH, root / "Twin.ofx");
    const std::string env = "OFX_PLUGIN_PATH='" + root.string() + "'";
    for (const char *id : {"org.zelvo.test.twin.first 1.0", "org.zelvo.test.twin.second 2.5"}) {
        const std::string identifier = std::string(id).substr(0, std::string(id).find(' '));
        ToolRun r = runTool("describe " + identifier, env);
        EXPECT_EQ(r.exitCode, 0) << r.output;
        EXPECT_NE(r.output.find(std::string("plug-in: ") + id + "\n"), std::string::npos) << r.output;
    }
    ToolRun v = runTool("validate org.zelvo.test.twin.second --only records --seed 1", env);
    EXPECT_EQ(v.exitCode, 0) << v.output;
}

// A plug-in that ends the process while loading or rendering never gives
// success, and one that never finishes loading ends the tool in time.
TEST_F(PluginSearch, APluginEndingOrHangingTheProcessIsAFailure)
{
    writeInput(path("in.png"), OIIO::TypeDesc::UINT8, 8, 6, 1);
    ToolRun r = runTool("render '" + path("in.png") + "' '" + path("out.png") + "' --plugin '" +
                        HOSTILE_EXIT_LOAD_PATH + "'");
    EXPECT_EQ(r.exitCode, 1) << r.output;
    EXPECT_EQ(r.output, std::string("zelvo: the plug-in ended the process while loading the plug-in ") +
                            HOSTILE_EXIT_LOAD_PATH + "\n");
    r = runTool("render '" + path("in.png") + "' '" + path("out.png") + "' --plugin '" + EXIT_PLUGIN_PATH + "'");
    EXPECT_EQ(r.exitCode, 1) << r.output;
    EXPECT_EQ(r.output, "zelvo: the plug-in ended the process during frame 0 (" + path("out.png") + ")\n");
    EXPECT_FALSE(fs::exists(path("out.png")));
    r = runTool(std::string("describe '") + HOSTILE_HANG_LOAD_PATH + "'", "ZELVO_LOAD_SECONDS=1 timeout 60");
    EXPECT_EQ(r.exitCode, 1) << r.output;
    EXPECT_EQ(r.output, std::string("zelvo: the plug-in ") + HOSTILE_HANG_LOAD_PATH +
                            " did not finish loading within 1 s\n");
    EXPECT_TRUE(strayFiles().empty());
}
