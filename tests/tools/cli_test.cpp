// The zelvo command-line tool, run as a user runs it.

#include <OpenImageIO/imagebuf.h>
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "../plugin/zelvo_fixture.h"
#include "tool_fixture.h"
#include "tool_runner.h"

namespace fs = std::filesystem;

namespace {

using Result = ToolRun;

Result run(const std::string &args, const std::string &env = std::string())
{
    return runTool(args, env);
}

class Cli : public ToolTest {
protected:
    // The path a render must report with -v in this run: the device only
    // when the tool is a GPU host and the plug-in's OpenCL path is on.
    static std::string expectedPath(const std::string &gpuOption = std::string())
    {
        const char *gpu = std::getenv("ZELVO_GPU"), *opencl = std::getenv("ZELVO_OPENCL");
        const std::string mode = !gpuOption.empty() ? gpuOption : gpu ? gpu : "off";
        const bool device = mode != "off" && opencl && std::string(opencl) == "any";
        return !device ? " path=cpu\n" : mode == "opencl-images" ? " path=opencl-images\n" : " path=opencl-buffers\n";
    }

    // Compares the output with the section rule applied to the input: the
    // file's top row is the last row of the OFX frame.
    void expectRule(const std::string &in, const std::string &out, double angle, int count, unsigned visible,
                    OIIO::TypeDesc type)
    {
        OIIO::ImageSpec raw;
        raw.attribute("oiio:UnassociatedAlpha", 1);
        OIIO::ImageBuf a(in, 0, 0, nullptr, &raw), b(out, 0, 0, nullptr, &raw);
        ASSERT_TRUE(a.read(0, 0, true, type)) << a.geterror();
        ASSERT_TRUE(b.read(0, 0, true, type)) << b.geterror();
        const int w = a.spec().width, h = a.spec().height;
        ASSERT_EQ(b.spec().width, w);
        ASSERT_EQ(b.spec().nchannels, 4);
        const std::size_t bytes = type.size() * 4;
        std::vector<unsigned char> pa(std::size_t(w) * h * bytes), pb(pa.size());
        a.get_pixels(a.roi(), type, pa.data());
        b.get_pixels(b.roi(), type, pb.data());
        for (int r = 0; r < h; ++r)
            for (int x = 0; x < w; ++x) {
                const bool show = (visible >> referenceSection(w, h, angle, count, x, h - 1 - r)) & 1u;
                const std::size_t at = (std::size_t(r) * w + x) * bytes;
                for (std::size_t i = 0; i < bytes; ++i)
                    ASSERT_EQ(pb[at + i], show ? pa[at + i] : 0) << "pixel " << x << "," << r << " of " << out;
            }
    }
};

}  // namespace

TEST_F(Cli, HelpForEverySubcommand)
{
    for (const char *sub : {"", "describe ", "plugins ", "render ", "testcard "}) {
        Result r = run(std::string(sub) + "--help");
        EXPECT_EQ(r.exitCode, 0) << sub << r.output;
        EXPECT_NE(r.output.find("Usage"), std::string::npos) << sub;
    }
    EXPECT_NE(run("").exitCode, 0);
    EXPECT_NE(run("render only-one-arg").exitCode, 0);
}

TEST_F(Cli, DescribeShowsTheEffectAsAHostDoes)
{
    Result r = run("describe");
    ASSERT_EQ(r.exitCode, 0) << r.output;
    for (const char *text : {"com.zelvo.sectionsplit.ja 2.1", "grouping: Transform",
                             "画面を複数セクションに分割（最適化版）", "page Controls:", "splitCount (Integer)",
                             "label: 分割数", "range: 0 .. 359", "label: セクション 10",
                             "hint: セクション 10 の表示/非表示", "Source: OfxImageComponentRGBA, OfxImageComponentAlpha"})
        EXPECT_NE(r.output.find(text), std::string::npos) << text << "\n" << r.output;
    EXPECT_LT(r.output.find("splitCount"), r.output.find("splitAngle"));
    EXPECT_LT(r.output.find("section9 "), r.output.find("section10 "));
}

TEST_F(Cli, FindsPluginsOnTheSearchPath)
{
    const std::string env = "OFX_PLUGIN_PATH='" + fs::path(ZELVO_BUNDLE_PATH).parent_path().string() + "'";
    Result list = run("plugins", env);
    EXPECT_EQ(list.exitCode, 0);
    EXPECT_NE(list.output.find("com.zelvo.sectionsplit.ja 2.1"), std::string::npos) << list.output;
    Result byId = run("describe com.zelvo.sectionsplit.ja", env);
    EXPECT_EQ(byId.exitCode, 0) << byId.output;
    Result missing = run("describe org.nobody.nothing", "OFX_PLUGIN_PATH=/nonexistent");
    EXPECT_NE(missing.exitCode, 0);
    EXPECT_NE(missing.output.find("plug-in not found: org.nobody.nothing"), std::string::npos) << missing.output;
}

TEST_F(Cli, ClearErrorsForBadArguments)
{
    writeInput(path("in.png"), OIIO::TypeDesc::UINT8, 8, 6, 1);
    struct Case {
        std::string args, message;
    } cases[] = {
        {"render " + path("in.png") + " " + path("o.png") + " -p nope=1", "unknown parameter 'nope'"},
        {"render " + path("in.png") + " " + path("o.png") + " -p splitCount=abc",
         "parameter splitCount is an integer, not 'abc'"},
        {"render " + path("in.png") + " " + path("o.png") + " -p splitCount=2.5", "is an integer"},
        {"render " + path("in.png") + " " + path("o.png") + " -p splitAngle=400",
         "parameter splitAngle must lie in 0..359, not 400"},
        {"render " + path("in.png") + " " + path("o.png") + " -p section3=maybe", "parameter section3 is a boolean"},
        {"render " + path("in.png") + " " + path("o.png") + " -p splitAngle=nan", "is a number"},
        {"render " + path("in.png") + " " + path("o.png") + " -p splitCount", "--param needs NAME=VALUE"},
        {"render " + path("missing.png") + " " + path("o.png"), "input not found"},
        {"render " + path("in.png") + " " + path("o.png") + " --depth 12", "--depth must be 8, 16 or float"},
        {"render " + path("in.png") + " " + path("o.png") + " --frames 1-3", "needs an OUTPUT pattern"},
        {"render " + path("in.png") + " " + path("o.png") + " --plugin /nonexistent/X.ofx", "plug-in not found"},
    };
    for (const Case &c : cases) {
        Result r = run(c.args);
        EXPECT_NE(r.exitCode, 0) << c.args;
        EXPECT_NE(r.output.find(c.message), std::string::npos) << c.args << "\n" << r.output;
        EXPECT_EQ(std::count(r.output.begin(), r.output.end(), '\n'), 1) << r.output;
    }
    EXPECT_FALSE(fs::exists(path("o.png")));
}

TEST_F(Cli, RoundTripsAtEveryDepth)
{
    struct Case {
        const char *ext;
        OIIO::TypeDesc type;
    } cases[] = {{"png", OIIO::TypeDesc::UINT8}, {"tif", OIIO::TypeDesc::UINT16}, {"exr", OIIO::TypeDesc::FLOAT}};
    unsigned seed = 10;
    for (const Case &c : cases) {
        const std::string in = path(std::string("in.") + c.ext), out = path(std::string("out.") + c.ext);
        writeInput(in, c.type, 37, 23, ++seed);
        Result r =
            run("render " + in + " " + out + " -v -p splitCount=5 -p splitAngle=30 -p section2=off -p section5=0");
        ASSERT_EQ(r.exitCode, 0) << r.output;
        EXPECT_NE(r.output.find(expectedPath()), std::string::npos) << r.output;
        expectRule(in, out, 30, 5, 0x3FF & ~0x12u, c.type);
        // The same frame handed over as OpenCL images.
        r = run("render " + in + " " + out + " -v --gpu opencl-images -p splitCount=5 -p splitAngle=30 -p section2=off");
        ASSERT_EQ(r.exitCode, 0) << r.output;
        EXPECT_NE(r.output.find(expectedPath("opencl-images")), std::string::npos) << r.output;
        expectRule(in, out, 30, 5, 0x3FF & ~0x2u, c.type);
    }
    EXPECT_TRUE(strayFiles().empty());
}

// Tiles, strips and columns as a tiling host renders them: the same bands.
TEST_F(Cli, TiledRendersGiveTheWholeFrame)
{
    struct Case {
        const char *ext;
        OIIO::TypeDesc type;
    } cases[] = {{"png", OIIO::TypeDesc::UINT8}, {"tif", OIIO::TypeDesc::UINT16}, {"exr", OIIO::TypeDesc::FLOAT}};
    unsigned seed = 40;
    for (const Case &c : cases) {
        const std::string in = path(std::string("in.") + c.ext), out = path(std::string("out.") + c.ext);
        writeInput(in, c.type, 41, 29, ++seed);
        for (const char *tiles : {"8x8", "0x3", "5x0", "1000x1000"}) {
            Result r = run("render " + in + " " + out + " -v --tiles " + tiles +
                           " -p splitCount=7 -p splitAngle=120 -p section2=off -p section6=0");
            ASSERT_EQ(r.exitCode, 0) << tiles << r.output;
            EXPECT_NE(r.output.find(expectedPath()), std::string::npos) << r.output;
            expectRule(in, out, 120, 7, 0x3FF & ~0x22u, c.type);
        }
    }
    // A plug-in whose pattern follows the source bounds it is handed shows
    // that the windows really are tiles.
    writeInput(path("in.png"), OIIO::TypeDesc::UINT8, 40, 10, 1);
    const std::string stripes = std::string(" --plugin '") + STRIPES_PLUGIN_PATH + "'";
    ASSERT_EQ(run("render " + path("in.png") + " " + path("whole.png") + stripes).exitCode, 0);
    ASSERT_EQ(run("render " + path("in.png") + " " + path("tiled.png") + stripes + " --tiles 10x10").exitCode, 0);
    OIIO::ImageBuf whole(path("whole.png")), tiled(path("tiled.png"));
    float a[4], b[4];
    whole.getpixel(12, 0, a);
    tiled.getpixel(12, 0, b);
    EXPECT_NE(a[0], b[0]);
}

TEST_F(Cli, RgbInputGainsOpaqueAlphaAndDepthCanBeChosen)
{
    OIIO::ImageBuf rgb(OIIO::ImageSpec(4, 2, 3, OIIO::TypeDesc::UINT8));
    float px[3] = {0.2f, 0.4f, 0.6f};
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 4; ++x)
            rgb.setpixel(x, y, px);
    ASSERT_TRUE(rgb.write(path("rgb.png")));
    // The render depth and the output's pixel type are chosen apart.
    Result r = run("render " + path("rgb.png") + " " + path("out.exr") + " --depth float -d float");
    ASSERT_EQ(r.exitCode, 0) << r.output;
    OIIO::ImageBuf out(path("out.exr"));
    ASSERT_TRUE(out.read(0, 0, true, OIIO::TypeDesc::FLOAT));
    EXPECT_EQ(out.spec().format, OIIO::TypeDesc::FLOAT);
    float got[4];
    out.getpixel(1, 1, got);
    EXPECT_EQ(got[3], 1.0f);
    EXPECT_NEAR(got[1], 0.4f, 1e-6);
}

TEST_F(Cli, AnimatedParametersGiveDifferentFrames)
{
    writeInput(path("in.png"), OIIO::TypeDesc::UINT8, 30, 20, 3);
    Result r = run("render " + path("in.png") + " " + path("out.#.png") +
                   " --frames 1-3 -p splitAngle=0@1,180@3 -p splitCount=3 -p section1=false --threads 3 -v");
    ASSERT_EQ(r.exitCode, 0) << r.output;
    EXPECT_NE(r.output.find(expectedPath()), std::string::npos) << r.output;
    expectRule(path("in.png"), path("out.0001.png"), 0, 3, 0x3FE, OIIO::TypeDesc::UINT8);
    expectRule(path("in.png"), path("out.0002.png"), 90, 3, 0x3FE, OIIO::TypeDesc::UINT8);
    expectRule(path("in.png"), path("out.0003.png"), 180, 3, 0x3FE, OIIO::TypeDesc::UINT8);
}

TEST_F(Cli, SequencesWithPrintfPatterns)
{
    writeInput(path("in_07.png"), OIIO::TypeDesc::UINT8, 9, 9, 4);
    writeInput(path("in_08.png"), OIIO::TypeDesc::UINT8, 9, 9, 5);
    Result r = run("render " + path("in_%02d.png") + " " + path("out_%04d.png") + " --frames 7-8 -v");
    ASSERT_EQ(r.exitCode, 0) << r.output;
    EXPECT_NE(r.output.find(expectedPath()), std::string::npos) << r.output;
    expectRule(path("in_07.png"), path("out_0007.png"), 0, 2, 0x3FF, OIIO::TypeDesc::UINT8);
    expectRule(path("in_08.png"), path("out_0008.png"), 0, 2, 0x3FF, OIIO::TypeDesc::UINT8);
}

TEST_F(Cli, NoPartialOutputAfterAFailure)
{
    writeInput(path("in.0001.png"), OIIO::TypeDesc::UINT8, 8, 8, 6);
    Result r = run("render " + path("in.#.png") + " " + path("out.#.png") + " --frames 1-2");
    EXPECT_NE(r.exitCode, 0);
    EXPECT_NE(r.output.find("input not found"), std::string::npos) << r.output;
    EXPECT_TRUE(fs::exists(path("out.0001.png")));
    EXPECT_FALSE(fs::exists(path("out.0002.png")));

    // An unwritable destination leaves neither the output nor a temporary file.
    r = run("render " + path("in.0001.png") + " " + path("no/such/dir/out.png"));
    EXPECT_NE(r.exitCode, 0);
    EXPECT_NE(r.output.find("cannot write"), std::string::npos) << r.output;

    std::ofstream(path("junk.png")) << "not an image";
    r = run("render " + path("junk.png") + " " + path("junk-out.png"));
    EXPECT_NE(r.exitCode, 0);
    EXPECT_NE(r.output.find("cannot read"), std::string::npos) << r.output;
    EXPECT_FALSE(fs::exists(path("junk-out.png")));
    EXPECT_TRUE(strayFiles().empty());
}

TEST_F(Cli, BundleLayoutAndInstallTree)
{
    const fs::path bundle(ZELVO_BUNDLE_PATH);
    EXPECT_TRUE(fs::is_regular_file(bundle / "Contents/Linux-x86-64/Zelvo.ofx"));
    EXPECT_TRUE(fs::is_regular_file(bundle / "Contents/Resources/com.zelvo.sectionsplit.ja.png"));

    const std::string prefix = path("prefix"), destdir = path("dest");
    const std::string command = "DESTDIR='" + destdir + "' cmake --install '" + std::string(ZELVO_BUILD_DIR) +
                                "' --prefix '" + prefix + "' > /dev/null 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0);
    const fs::path root(destdir);
    EXPECT_TRUE(fs::is_regular_file(root / "usr/OFX/Plugins/Zelvo.ofx.bundle/Contents/Linux-x86-64/Zelvo.ofx"));
#ifdef ZELVO_BUNDLE_HAS_WIN64
    EXPECT_TRUE(fs::is_regular_file(bundle / "Contents/Win64/Zelvo.ofx"));
    EXPECT_TRUE(fs::is_regular_file(root / "usr/OFX/Plugins/Zelvo.ofx.bundle/Contents/Win64/Zelvo.ofx"));
#endif
    EXPECT_TRUE(fs::is_regular_file(root / "usr/OFX/Plugins/Zelvo.ofx.bundle/Contents/Resources" /
                                    "com.zelvo.sectionsplit.ja.png"));
    EXPECT_TRUE(fs::is_regular_file(root / fs::path(prefix).relative_path() / "bin/zelvo"));
}

#ifndef ZELVO_SANITIZED_BUILD
TEST_F(Cli, ThePluginCarriesItsOwnCxxRuntime)
{
    FILE *pipe = popen(("ldd '" + std::string(ZELVO_PLUGIN_PATH) + "'").c_str(), "r");
    std::string out;
    char buffer[512];
    while (pipe && fgets(buffer, sizeof buffer, pipe))
        out += buffer;
    if (pipe)
        pclose(pipe);
    EXPECT_EQ(out.find("libstdc++"), std::string::npos) << out;
}
#endif
