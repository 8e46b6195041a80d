#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <sstream>
#include <string>

namespace {

std::string run(const std::string &command)
{
    std::string out;
    FILE *pipe = popen(command.c_str(), "r");
    if (!pipe)
        return out;
    char buffer[512];
    while (fgets(buffer, sizeof buffer, pipe))
        out += buffer;
    pclose(pipe);
    return out;
}

}  // namespace

TEST(PluginBinary, ExportsOnlyTheTwoEntryPoints)
{
    std::string out = run(std::string("nm -D --defined-only '") + ZELVO_PLUGIN_PATH + "' 2>&1");
    std::istringstream lines(out);
    std::string line;
    std::set<std::string> allowed = {"OfxGetNumberOfPlugins", "OfxGetPlugin"};
    int checked = 0;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::string address, kind, name;
        fields >> address >> kind >> name;
        ASSERT_FALSE(name.empty()) << "unexpected nm output: " << line;
        // Sanitizer builds add the runtime's interceptor hooks; none are ours.
        if (name.rfind("__asan", 0) == 0 || name.rfind("__ubsan", 0) == 0 || name.rfind("__sanitizer", 0) == 0)
            continue;
        EXPECT_TRUE(allowed.count(name)) << "exported: " << name;
        ++checked;
    }
    EXPECT_LE(checked, 2);
}

TEST(PluginBinary, DoesNotNeedTheOpenCLLoaderToLoad)
{
    // OpenCL is resolved at run time; a machine without it still loads us.
    std::string out = run(std::string("readelf -d '") + ZELVO_PLUGIN_PATH + "' 2>&1");
    ASSERT_NE(out.find("NEEDED"), std::string::npos) << out;
    EXPECT_EQ(out.find("libOpenCL"), std::string::npos) << out;
}
