#include <gtest/gtest.h>


#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>

#include "environment.h"
#include "faults.h"
#include "load/plugin_binary.h"
#include "load/plugin_driver.h"
#include "platform.h"
#include "suites/host.h"

namespace fs = std::filesystem;
using namespace ofxhost;

namespace {

// A library every machine of the system has, that is no plug-in.
#ifdef _WIN32
const char *const kLibraryWithoutEntryPoints = "C:\\windows\\system32\\version.dll";
#else
const char *const kLibraryWithoutEntryPoints = "/lib/x86_64-linux-gnu/libm.so.6";
#endif

class TempDir {
public:
    TempDir()
    {
        std::random_device random;
        path = fs::temp_directory_path() / ("ofxhost-" + std::to_string(random()));
        fs::create_directories(path);
    }
    ~TempDir() { fs::remove_all(path); }
    fs::path path;
};

std::string expectHostError(const std::string &path)
{
    try {
        PluginBinary binary(path);
    } catch (const HostError &e) {
        return e.what();
    }
    return "no error";
}

}  // namespace

TEST(Loading, ClearErrorsForBadBinaries)
{
    TempDir dir;
    EXPECT_NE(expectHostError((dir.path / "none.ofx").string()).find("not found"), std::string::npos);
    std::ofstream(dir.path / "junk.ofx") << "not a library";
    std::string junk = expectHostError((dir.path / "junk.ofx").string());
    EXPECT_NE(junk.find("cannot load"), std::string::npos) << junk;
    EXPECT_NE(junk.find("junk.ofx"), std::string::npos) << junk;
    std::string noEntry = expectHostError(kLibraryWithoutEntryPoints);
    EXPECT_NE(noEntry.find("OfxGetNumberOfPlugins"), std::string::npos) << noEntry;
}

TEST(Loading, BundlesAndTheSearchPath)
{
    TempDir dir;
    fs::path bundle = dir.path / "nested" / "Mini.ofx.bundle" / "Contents" / platform::bundleArchitecture();
    fs::create_directories(bundle);
    fs::copy_file(MINI_PLUGIN_PATH, bundle / "Mini.ofx");
    fs::path hidden = dir.path / "@skipped" / "Other.ofx.bundle" / "Contents" / platform::bundleArchitecture();
    fs::create_directories(hidden);
    fs::copy_file(MINI_PLUGIN_PATH, hidden / "Other.ofx");

    EXPECT_EQ(resolveBinaryPath((dir.path / "nested" / "Mini.ofx.bundle").string()), (bundle / "Mini.ofx").string());
    PluginBinary binary((dir.path / "nested" / "Mini.ofx.bundle").string());
    EXPECT_EQ(binary.count(), 1);

    setEnvironment("OFX_PLUGIN_PATH",
                   std::string("/nonexistent") + ofxhost::platform::pluginPathSeparator() + dir.path.string());
    auto found = discoverPluginBinaries();
    clearEnvironment("OFX_PLUGIN_PATH");
    // Only what this folder adds counts: the system folder may hold plug-ins
    // installed on this machine, Zelvo among them.
    std::vector<std::string> ours;
    for (const std::string &binary : found)
        if (binary.rfind(dir.path.string(), 0) == 0)
            ours.push_back(binary);
    EXPECT_EQ(ours, std::vector<std::string>{(bundle / "Mini.ofx").string()});
    ASSERT_FALSE(found.empty());
    EXPECT_EQ(found.front(), (bundle / "Mini.ofx").string()) << "the path's folders come first";
    EXPECT_EQ(searchDirectories().back(), ofxhost::platform::systemPluginFolder());
}

TEST(Loading, TheBuiltEffectBinaryLoadsWithAllSymbolsResolved)
{
    std::string why;
    void *library = ofxhost::platform::openLibrary(ZELVO_PLUGIN_PATH, why);
    ASSERT_NE(library, nullptr) << why;
    ofxhost::platform::closeLibrary(library);
}

TEST(Driving, AMinimalPluginEndToEnd)
{
    Host::instance().reset();
    Faults::instance().reset();
    PluginBinary binary(MINI_PLUGIN_PATH);
    ASSERT_EQ(binary.count(), 1);
    Plugin plugin(binary.plugin(0));
    EXPECT_EQ(plugin.identifier(), "org.zelvo.test.mini");
    ASSERT_EQ(plugin.load(), kOfxStatOK);
    ASSERT_EQ(plugin.describe(), kOfxStatOK);
    ASSERT_EQ(plugin.describeInContext("OfxImageEffectContextFilter"), kOfxStatOK);
    EffectInfo info = plugin.info("OfxImageEffectContextFilter");
    EXPECT_EQ(info.label, "Mini");
    EXPECT_EQ(info.contexts, std::vector<std::string>{"OfxImageEffectContextFilter"});
    ASSERT_EQ(info.clips.size(), 2u);
    EXPECT_EQ(info.clips[1].name, "Output");
    ASSERT_EQ(info.params.size(), 3u);
    EXPECT_EQ(info.params[0].defaults, std::vector<double>{7});
    EXPECT_EQ(info.params[0].max, std::vector<double>{255});
    EXPECT_EQ(info.params[0].hint, "fill value");
    EXPECT_EQ(info.params[2].pageChildren, (std::vector<std::string>{"level", "gain"}));

    auto instance = plugin.createInstance("OfxImageEffectContextFilter");
    ASSERT_TRUE(instance);
    ImageLayout layout;
    layout.bounds = {-4, 2, 12, 13};
    layout.negativeRowBytes = true;
    HostImage out(layout);
    instance->connect("Output", &out);
    instance->setKey("level", 0.0, {10});
    instance->setKey("level", 10.0, {30});
    Host::instance().quirks().reportedCpus = 3;
    ASSERT_EQ(instance->render(5.0, OfxRectI{-2, 4, 10, 12}), kOfxStatOK);
    for (int y = 2; y < 13; ++y)
        for (int x = -4; x < 12; ++x) {
            bool inside = x >= -2 && x < 10 && y >= 4 && y < 12;
            ASSERT_EQ(out.pixel(x, y)[0], inside ? 20 : 0) << x << "," << y;
        }
    EXPECT_EQ(Host::instance().imagesOut.load(), 0u);
    EXPECT_EQ(instance->destroy(), kOfxStatOK);
    EXPECT_EQ(plugin.unload(), kOfxStatOK);
}
