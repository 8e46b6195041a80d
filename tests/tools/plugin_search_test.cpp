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
