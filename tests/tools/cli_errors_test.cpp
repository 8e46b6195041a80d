// Every failure of the tool is one line "zelvo: ..." on standard error,
// with an exit code that says what kind of failure it was.

#include <OpenImageIO/deepdata.h>
#include <OpenImageIO/imageio.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <fstream>

#include "tool_fixture.h"
#include "tool_runner.h"

namespace fs = std::filesystem;

namespace {

class CliErrors : public ToolTest {
protected:
    void SetUp() override
    {
        ToolTest::SetUp();
        writeInput(path("in.png"), OIIO::TypeDesc::UINT8, 8, 6, 1);
    }

    void expectOneLine(const ToolRun &r, int exitCode, const std::string &message, const std::string &what)
    {
        EXPECT_EQ(r.exitCode, exitCode) << what << "\n" << r.output;
        EXPECT_EQ(r.lines(), 1) << what << "\n" << r.output;
        EXPECT_EQ(r.output.rfind("zelvo: ", 0), 0u) << what << "\n" << r.output;
        EXPECT_NE(r.output.find(message), std::string::npos) << what << "\n" << r.output;
    }
};

}  // namespace

TEST_F(CliErrors, UsageErrorsExitWithTwo)
{
    const std::string in = "'" + path("in.png") + "' ";
    const std::string out = "'" + path("o.png") + "'";
    struct Case {
        std::string args, message;
    } cases[] = {
        {"", "A subcommand is required"},
        {"render " + in, "OUTPUT is required"},
        {"render " + in + out + " --nonsense", "--nonsense"},
        {"render " + in + out + " --threads abc", "--threads"},
        {"render " + in + out + " --threads 100000", "--threads must lie in 1..1024, not 100000"},
        {"render " + in + out + " --threads 0", "--threads must lie in 1..1024"},
        {"render " + in + out + " --frames 99999999999", "99999999999 is outside -2147483648..2147483647"},
        {"render " + in + out + " --frames 1-99999999999999999999999", "is outside"},
        {"render " + in + out + " --frames 5-2", "rendering 4 frames needs an OUTPUT pattern"},
        {"render " + in + out + " --frames 1-9x0", "the step after x must be 1 or more"},
        {"render " + in + out + " --frames 1-", "--frames needs frames as A, A-B or A-BxN"},
        {"render " + in + out + " --frames 1,,2", "--frames needs frames as A, A-B or A-BxN"},
        {"render " + in + out + " --frames x", "--frames needs frames as A, A-B or A-BxN"},
        {"render " + in + out + " --missing sometimes", "--missing must be error, skip or hold"},
        {"render " + in + out + " -p splitCount=abc", "parameter splitCount is an integer"},
        {"render " + in + out + " --depth 12", "--depth must be 8, 16 or float"},
        {"render " + in + out + " --tiles 0x0", "--tiles must be WxH, sizes in pixels"},
        {"render " + in + out + " --tiles 64", "--tiles must be WxH"},
        {"render " + in + out + " --tiles -1x5", "--tiles must be WxH"},
        {"render " + in + out + " --tiles 2147483648x1", "--tiles must be WxH"},
        {"render " + in + "'" + path("o.sgi") + "'", "sgi files are not supported as output"},
        {"render " + in + "'" + path("o.nothing") + "'", "unknown image format"},
        {"render " + in + in, "is an input of this render"},
        {"render " + in + "'" + (dir / "." / "in.png").string() + "'", "is an input of this render"},
        {"testcard " + out + " --width 0", "--width and --height must lie in 1..16384"},
        {"testcard '" + path("card.sgi") + "'", "sgi files are not supported as output"},
        {"render " + in + out + " --compression bogus", "--compression bogus is not a compression of png files"},
        {"render " + in + "'" + path("o.exr") + "' --compression zip:fast", "the quality after ':' must be a number"},
        {"validate --only nomatch", "matches no check"},
    };
    for (const Case &c : cases)
        expectOneLine(runTool(c.args), 2, c.message, c.args);
    EXPECT_FALSE(fs::exists(path("o.png")));
}

TEST_F(CliErrors, FileFailuresExitWithOneAndNameTheUsersPath)
{
    fs::create_directory(path("dir.png"));
    ToolRun r = runTool("render '" + path("in.png") + "' '" + path("dir.png") + "'");
    expectOneLine(r, 1, "cannot write " + path("dir.png") + ": Is a directory", "output is a directory");

    r = runTool("render '" + path("in.png") + "' '" + path("no/such/dir/out.png") + "'");
    expectOneLine(r, 1, "cannot write " + path("no/such/dir/out.png") + ": No such file or directory", "no folder");

    // A truncated PNG and one of no pixels: the PNG library's own lines are
    // folded into the tool's one.
    std::ifstream whole(path("in.png"), std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(whole)), std::istreambuf_iterator<char>());
    std::ofstream(path("cut.png"), std::ios::binary) << bytes.substr(0, bytes.size() / 2);
    // (Under AddressSanitizer, full stacks let the suppression of the PNG
    // reader's own leak on this path find its frame.)
    r = runTool("render '" + path("cut.png") + "' '" + path("o.png") + "'",
                "ASAN_OPTIONS=\"$ASAN_OPTIONS:fast_unwind_on_malloc=0\"");
    expectOneLine(r, 1, "cannot read " + path("cut.png") + ": ", "truncated PNG");

    const unsigned char emptyPng[] = {
        0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a, 0x00, 0x00, 0x00, 0x0d, 0x49, 0x48, 0x44, 0x52, 0x00,
        0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x08, 0x06, 0x00, 0x00, 0x00, 0x9d, 0x36, 0x42, 0x6b, 0x00,
        0x00, 0x00, 0x00, 0x49, 0x45, 0x4e, 0x44, 0xae, 0x42, 0x60, 0x82};
    std::ofstream(path("empty.png"), std::ios::binary).write(reinterpret_cast<const char *>(emptyPng), sizeof emptyPng);
    r = runTool("render '" + path("empty.png") + "' '" + path("o.png") + "'");
    expectOneLine(r, 1, "cannot read " + path("empty.png") + ": ", "0x0 PNG");

    r = runTool("render '" + path("missing.png") + "' '" + path("o.png") + "'");
    expectOneLine(r, 1, "input not found: " + path("missing.png"), "missing input");

    r = runTool("render '" + path("gone.#.png") + "' '" + path("o.#.png") + "' --frames 1-3 --missing skip");
    EXPECT_NE(r.output.find("zelvo: no input frames found: every frame of " + path("gone.#.png") +
                            " asked for is missing\n"),
              std::string::npos)
        << r.output;
    EXPECT_EQ(r.exitCode, 1);

    // Deep pixels are not frames; an input the user may not read says so.
    OIIO::ImageSpec deepSpec(4, 4, 2, OIIO::TypeDesc::FLOAT);
    deepSpec.channelnames = {"Z", "A"};
    deepSpec.deep = true;
    auto deep = OIIO::ImageOutput::create(path("deep.exr"));
    ASSERT_TRUE(deep && deep->open(path("deep.exr"), deepSpec));
    OIIO::DeepData data;
    data.init(deepSpec);
    ASSERT_TRUE(deep->write_deep_image(data));
    deep->close();
    r = runTool("render '" + path("deep.exr") + "' '" + path("o.exr") + "'");
    expectOneLine(r, 1, "cannot read " + path("deep.exr") + ": deep images are not supported", "deep EXR");
    if (geteuid() != 0) {
        fs::permissions(path("in.png"), fs::perms::none);
        r = runTool("render '" + path("in.png") + "' '" + path("o.png") + "'");
        fs::permissions(path("in.png"), fs::perms::owner_read | fs::perms::owner_write);
        expectOneLine(r, 1, "cannot read " + path("in.png") + ": Permission denied", "unreadable input");
    } else if (std::system("command -v setpriv > /dev/null") == 0) {
        fs::permissions(dir, fs::perms::all);
        fs::permissions(path("in.png"), fs::perms::owner_read | fs::perms::owner_write);
        r = runTool("render '" + path("in.png") + "' '" + path("o.png") + "'",
                    "setpriv --reuid=65534 --regid=65534 --clear-groups");
        expectOneLine(r, 1, "cannot read " + path("in.png") + ": Permission denied", "unreadable input");
    }
    EXPECT_FALSE(fs::exists(path("o.png")));
    EXPECT_TRUE(strayFiles().empty());
}

TEST_F(CliErrors, AnInputIsNeverOverwritten)
{
    for (int frame = 1; frame <= 3; ++frame)
        writeInput(path("seq." + std::to_string(frame) + ".png"), OIIO::TypeDesc::UINT8, 4, 4, frame);
    const auto before = fs::last_write_time(path("seq.2.png"));
    // The same pattern spelt another way names the same files.
    ToolRun r = runTool("render '" + path("seq.@.png") + "' '" + path("seq.%d.png") + "' --frames 1-3");
    expectOneLine(r, 2, "is an input of this render", "sequence onto itself");
    // Output frame 1 would be the file of input frame 12, later in the range.
    writeInput(path("s1x.png"), OIIO::TypeDesc::UINT8, 4, 4, 9);
    writeInput(path("s12x.png"), OIIO::TypeDesc::UINT8, 4, 4, 10);
    r = runTool("render '" + path("s@x.png") + "' '" + path("s@2x.png") + "' --frames 1,12");
    expectOneLine(r, 2, "is an input of this render", "output onto a later input");
    EXPECT_EQ(fs::last_write_time(path("seq.2.png")), before);
}

// Files, not names: a symbolic link, a hard link, frames that are links,
// and (as root) another mount of the folder all reach the input itself.
TEST_F(CliErrors, AnInputReachedByAnotherNameIsNeverOverwritten)
{
    writeInput(path("plate.png"), OIIO::TypeDesc::UINT8, 4, 4, 5);
    const auto before = fs::last_write_time(path("plate.png"));
    fs::create_symlink("plate.png", path("shot.png"));
    ToolRun r = runTool("render '" + path("shot.png") + "' '" + path("plate.png") + "'");
    expectOneLine(r, 2, "the output " + path("plate.png") + " is an input of this render", "through a symlink");
    r = runTool("render '" + path("plate.png") + "' '" + path("shot.png") + "'");
    expectOneLine(r, 2, "is an input of this render", "onto a symlink to the input");
    fs::create_hard_link(path("plate.png"), path("hard.png"));
    r = runTool("render '" + path("plate.png") + "' '" + path("hard.png") + "'");
    expectOneLine(r, 2, "is an input of this render", "onto a hard link");

    fs::create_directory(path("plates"));
    for (int frame = 1; frame <= 2; ++frame) {
        writeInput(path("plates/p" + std::to_string(frame) + ".png"), OIIO::TypeDesc::UINT8, 4, 4, frame);
        fs::create_symlink("plates/p" + std::to_string(frame) + ".png", path("link." + std::to_string(frame) + ".png"));
    }
    r = runTool("render '" + path("link.@.png") + "' '" + path("plates/p@.png") + "'");
    expectOneLine(r, 2, "is an input of this render", "a sequence of links");

    fs::create_directory(path("again"));
    if (geteuid() == 0 && std::system(("mount --bind '" + dir.string() + "' '" + path("again") + "'").c_str()) == 0) {
        r = runTool("render '" + path("plate.png") + "' '" + path("again/plate.png") + "'");
        std::system(("umount '" + path("again") + "'").c_str());
        expectOneLine(r, 2, "is an input of this render", "another mount");
    }
    EXPECT_EQ(fs::last_write_time(path("plate.png")), before);
    EXPECT_TRUE(strayFiles().empty());
}

TEST_F(CliErrors, FrameRangesAtTheEndsOfTheIntegers)
{
    for (const char *frame : {"2147483646", "2147483647", "-2147483648"})
        writeInput(path(std::string("in.") + frame + ".png"), OIIO::TypeDesc::UINT8, 4, 4, 3);
    // Bounded in time: a loop that overflows never ends.
    ToolRun r = runTool("render '" + path("in.#.png") + "' '" + path("out.#.png") + "' --frames 2147483646-2147483647",
                        "timeout 60");
    EXPECT_EQ(r.exitCode, 0) << r.output;
    EXPECT_TRUE(fs::exists(path("out.2147483646.png")));
    EXPECT_TRUE(fs::exists(path("out.2147483647.png")));
    r = runTool("render '" + path("in.#.png") + "' '" + path("out.#.png") + "' --frames 2147483647", "timeout 60");
    EXPECT_EQ(r.exitCode, 0) << r.output;
    r = runTool("render '" + path("in.#.png") + "' '" + path("out.#.png") + "' --frames -2147483648", "timeout 60");
    EXPECT_EQ(r.exitCode, 0) << r.output;
    EXPECT_TRUE(fs::exists(path("out.-2147483648.png")));
    int outputs = 0;
    for (const auto &e : fs::directory_iterator(dir))
        outputs += e.path().filename().string().rfind("out.", 0) == 0;
    EXPECT_EQ(outputs, 3);
}

TEST_F(CliErrors, HelpAndVersionSucceed)
{
    ToolRun help = runTool("--help");
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.output.find("Exit codes: 0 success, 1 a render, plug-in or file failed, 2 usage error, 128+N"),
              std::string::npos)
        << help.output;
    ToolRun version = runTool("--version");
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.output, "zelvo 2.1\n");
}

// A render that fails leaves one line naming the user's output, whatever
// the format's library says about the file it never finished; an option
// given empty, and a bad ZELVO_GPU, are named as what they are.
TEST_F(CliErrors, AFailedRenderAndEmptyValuesAreOneLineEach)
{
    for (const char *format : {"png", "tif", "exr", "jpg"}) {
        const std::string out = path(std::string("out.") + format);
        // The mini plug-in declares 8-bit only: a 16-bit render is refused.
        ToolRun r = runTool("render '" + path("in.png") + "' '" + out + "' --depth 16 --plugin '" +
                            MINI_PLUGIN_PATH + "'");
        expectOneLine(r, 1, "zelvo: cannot write " + out + ": the render of frame 0 failed: ", format);
        EXPECT_FALSE(fs::exists(out)) << format;
    }
    EXPECT_TRUE(strayFiles().empty());
    const std::string in = "'" + path("in.png") + "' '" + path("out.png") + "' ";
    expectOneLine(runTool("render " + in + "--tiles ''"), 2, "--tiles must be WxH", "--tiles ''");
    expectOneLine(runTool("render " + in + "--max-image-mb ''"), 2, "max-image-mb", "--max-image-mb ''");
    expectOneLine(runTool("render " + in, "ZELVO_GPU=cuda"), 2,
                  "ZELVO_GPU must be opencl, opencl-images or off, not 'cuda'", "ZELVO_GPU");
    expectOneLine(runTool("render " + in + "--gpu cuda"), 2, "--gpu must be opencl", "--gpu");
}

// As a GPU host the tool renders again on the CPU whatever the device
// answered, out of room (kOfxStatGPUOutOfMemory) as well as failed, and -v
// counts windows: a frame half drawn on the device says so, and says why.
TEST_F(CliErrors, DeviceRefusalsRenderOnTheCpuAndVerboseCountsWindows)
{
    writeInput(path("wide.png"), OIIO::TypeDesc::UINT8, 64, 8, 3);
    const std::string base = "render '" + path("wide.png") + "' '" + path("out.png") + "' -v --gpu opencl --plugin '" +
                             PICKY_GPU_PLUGIN_PATH + "' ";
    // The whole frame reaches past column 32: refused as out of memory.
    ToolRun whole = runTool(base, "ZELVO_OPENCL=any");
    ASSERT_EQ(whole.exitCode, 0) << whole.output;
    if (whole.output.find("path=cpu") == std::string::npos || whole.output.find("device answered") == std::string::npos)
        GTEST_SKIP() << "no OpenCL device here: " << whole.output;
    EXPECT_NE(whole.output.find("path=cpu (the device answered kOfxStatGPUOutOfMemory)"), std::string::npos)
        << whole.output;
    // Columns of 32: the left one on the device, the right one on the CPU.
    ToolRun columns = runTool(base + "--tiles 32x0", "ZELVO_OPENCL=any");
    ASSERT_EQ(columns.exitCode, 0) << columns.output;
    EXPECT_NE(columns.output.find("path=opencl-buffers:1/2 (the device answered kOfxStatGPUOutOfMemory)"),
              std::string::npos)
        << columns.output;
}

// As a GPU host the source's copy on the device counts against
// --max-image-mb: a frame that fits on the CPU alone is refused there.
TEST_F(CliErrors, TheDeviceCopyCountsAgainstTheMemoryLimit)
{
    writeInput(path("big.png"), OIIO::TypeDesc::UINT8, 600, 600, 5);  // 1.4 MB of RGBA
    const std::string render = "render '" + path("big.png") + "' '" + path("out.png") + "' --max-image-mb 2 ";
    EXPECT_EQ(runTool(render).exitCode, 0);
    ToolRun gpu = runTool(render + "--gpu opencl");
    expectOneLine(gpu, 1, "with their copy on the OpenCL device, more than the limit of 2 MB", "--gpu opencl");
}
