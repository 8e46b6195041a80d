// Sequences as the VFX tools name them, frames as farms hand them out, and
// the log a farm keeps.

#include <fstream>

#include "tool_fixture.h"
#include "tool_runner.h"

namespace fs = std::filesystem;

namespace {

class Sequences : public ToolTest {
protected:
    void frames(const std::string &pattern, std::initializer_list<int> numbers)
    {
        for (int n : numbers) {
            char name[256];
            std::snprintf(name, sizeof name, pattern.c_str(), n);
            writeInput(path(name), OIIO::TypeDesc::UINT8, 6, 4, static_cast<unsigned>(n));
        }
    }
    std::vector<std::string> outputs() const
    {
        std::vector<std::string> names;
        for (const auto &e : fs::recursive_directory_iterator(dir))
            if (e.path().filename().string().rfind("out", 0) == 0 && e.is_regular_file())
                names.push_back(fs::relative(e.path(), dir).string());
        std::sort(names.begin(), names.end());
        return names;
    }
    ToolRun render(const std::string &in, const std::string &out, const std::string &more = "")
    {
        return runTool("render '" + path(in) + "' '" + path(out) + "' " + more);
    }
};

using Names = std::vector<std::string>;

}  // namespace

TEST_F(Sequences, HashIsFourDigitsAtIsOneAndPrintfAsWritten)
{
    frames("in.%04d.png", {1, 2});
    EXPECT_EQ(render("in.#.png", "out.@.png", "--frames 1-2").exitCode, 0);
    EXPECT_EQ(render("in.#.png", "out_%03d.png", "--frames 2").exitCode, 0);
    EXPECT_EQ(render("in.#.png", "out.@@@@@.png", "--frames 1").exitCode, 0);
    EXPECT_EQ(outputs(), (Names{"out.00001.png", "out.1.png", "out.2.png", "out_002.png"}));
}

TEST_F(Sequences, OnlyTheFileNamesGroupIsTheFrame)
{
    fs::create_directory(dir / "shot#1");
    frames("shot#1/in.%04d.png", {5});
    fs::create_directory(dir / "out#");
    ToolRun r = render("shot#1/in.#.png", "out#/out.#.png", "--frames 5");
    EXPECT_EQ(r.exitCode, 0) << r.output;
    EXPECT_EQ(outputs(), (Names{"out#/out.0005.png"}));
}

TEST_F(Sequences, WithoutFramesTheInputsThatExistAreRendered)
{
    frames("in.%04d.png", {3, 4, 7});
    frames("in.%05d.png", {8});  // another padding: not a frame of in.#.png
    ToolRun r = render("in.#.png", "out.#.png");
    EXPECT_EQ(r.exitCode, 0) << r.output;
    EXPECT_EQ(outputs(), (Names{"out.0003.png", "out.0004.png", "out.0007.png"}));

    ToolRun none = render("nothing.#.png", "out.#.png");
    EXPECT_EQ(none.exitCode, 1);
    EXPECT_EQ(none.output, "zelvo: no input frames match " + path("nothing.#.png") + "\n");
}

TEST_F(Sequences, FrameListsStepsAndRangesInTheName)
{
    frames("in.%04d.png", {1, 3, 5, 7, 9, 20});
    EXPECT_EQ(render("in.#.png", "out.#.png", "--frames 1-9x4,20").exitCode, 0);
    EXPECT_EQ(outputs(), (Names{"out.0001.png", "out.0005.png", "out.0009.png", "out.0020.png"}));
    for (const auto &name : outputs())
        fs::remove(dir / name);
    EXPECT_EQ(render("in.3-7x2#.png", "out.#.png").exitCode, 0);
    EXPECT_EQ(outputs(), (Names{"out.0003.png", "out.0005.png", "out.0007.png"}));
}

TEST_F(Sequences, MissingInputFramesErrorSkipOrHold)
{
    frames("in.%04d.png", {1, 3});
    ToolRun error = render("in.#.png", "out.#.png", "--frames 1-3");
    EXPECT_EQ(error.exitCode, 1);
    EXPECT_NE(error.output.find("zelvo: input not found: " + path("in.0002.png")), std::string::npos)
        << error.output;
    EXPECT_EQ(outputs(), (Names{"out.0001.png"}));

    ToolRun skip = render("in.#.png", "out.#.png", "--frames 1-3 --missing skip");
    EXPECT_EQ(skip.exitCode, 0) << skip.output;
    EXPECT_NE(skip.output.find("zelvo: frame 2: skipped: no input " + path("in.0002.png")), std::string::npos)
        << skip.output;
    EXPECT_EQ(outputs(), (Names{"out.0001.png", "out.0003.png"}));

    ToolRun hold = render("in.#.png", "out.#.png", "--frames 1-3 --missing hold");
    EXPECT_EQ(hold.exitCode, 0) << hold.output;
    EXPECT_NE(hold.output.find("frame 2: no input " + path("in.0002.png") + ", holds " + path("in.0001.png")),
              std::string::npos)
        << hold.output;
    EXPECT_EQ(outputs(), (Names{"out.0001.png", "out.0002.png", "out.0003.png"}));
}

TEST_F(Sequences, SkipExistingResumesAChunk)
{
    frames("in.%04d.png", {1, 2, 3});
    writeInput(path("out.0002.png"), OIIO::TypeDesc::UINT8, 6, 4, 99);  // finished earlier
    const auto finished = fs::last_write_time(path("out.0002.png"));
    ToolRun r = render("in.#.png", "out.#.png", "--skip-existing");
    EXPECT_EQ(r.exitCode, 0) << r.output;
    EXPECT_NE(r.output.find("frame 2: skipped: " + path("out.0002.png") + " exists"), std::string::npos) << r.output;
    EXPECT_EQ(fs::last_write_time(path("out.0002.png")), finished);
    EXPECT_EQ(outputs(), (Names{"out.0001.png", "out.0002.png", "out.0003.png"}));
}

TEST_F(Sequences, AFarmLogHasALinePerFrame)
{
    frames("in.%04d.png", {1, 2});
    ToolRun r = render("in.#.png", "out.#.png");  // standard error is a pipe here
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.lines(), 2) << r.output;
    EXPECT_NE(r.output.find("zelvo: frame 1: " + path("out.0001.png") + " ("), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("zelvo: frame 2: " + path("out.0002.png") + " ("), std::string::npos) << r.output;

    ToolRun quiet = render("in.#.png", "out.#.png", "-q");
    EXPECT_EQ(quiet.exitCode, 0);
    EXPECT_EQ(quiet.output, "");

    ToolRun verbose = render("in.#.png", "out.#.png", "-v -p splitAngle=0@1,90@2");
    EXPECT_EQ(verbose.exitCode, 0);
    EXPECT_NE(verbose.output.find("frame 1: " + path("out.0001.png")), std::string::npos) << verbose.output;
    EXPECT_NE(verbose.output.find("splitCount=2 splitAngle=0 section1=1"), std::string::npos) << verbose.output;
    EXPECT_NE(verbose.output.find("splitAngle=90"), std::string::npos) << verbose.output;
}

// Only a conversion is a frame number: a '%' elsewhere is the character,
// and printf's widths are printf's (spaces for %Nd, any zero width).
TEST_F(Sequences, NamesReadAsPrintfReadsThem)
{
    frames("in.%04d.png", {3});
    EXPECT_EQ(render("in.#.png", "50%done.#.png", "--frames 3").exitCode, 0);
    EXPECT_EQ(render("in.#.png", "out%4d.png", "--frames 3").exitCode, 0);
    EXPECT_EQ(render("in.#.png", "out.%030d.png", "--frames 3").exitCode, 0);
    EXPECT_EQ(render("in.#.png", "out%%.%d.png", "--frames 3").exitCode, 0);
    EXPECT_TRUE(fs::exists(path("50%done.0003.png")));
    EXPECT_EQ(outputs(), (Names{"out   3.png", "out%.3.png", "out.000000000000000000000000000003.png"}));
    ToolRun wide = render("in.#.png", "out.%0300d.png", "--frames 3");
    EXPECT_EQ(wide.exitCode, 2) << wide.output;
    EXPECT_NE(wide.output.find("may be at most 200 characters wide"), std::string::npos) << wide.output;
}

// A placeholder or a cut-off file is not a finished frame, and a frame left
// alone still holds its input for the missing ones after it.
TEST_F(Sequences, ResumeTrustsOnlyWholeOutputs)
{
    frames("in.%04d.png", {1, 2, 3});
    ASSERT_EQ(render("in.#.png", "out.#.png", "--frames 1").exitCode, 0);
    std::ofstream(path("out.0002.png")) << "";  // a farm's placeholder
    std::ifstream whole(path("out.0001.png"), std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(whole)), std::istreambuf_iterator<char>());
    std::ofstream(path("out.0003.png"), std::ios::binary) << bytes.substr(0, bytes.size() / 2);
    // (Under AddressSanitizer, full stacks let the suppression of the PNG
    // reader's own leak on a cut file find its frame.)
    ToolRun r = runTool("render '" + path("in.#.png") + "' '" + path("out.#.png") + "' --skip-existing",
                        "ASAN_OPTIONS=\"$ASAN_OPTIONS:fast_unwind_on_malloc=0\"");
    EXPECT_EQ(r.exitCode, 0) << r.output;
    EXPECT_NE(r.output.find("frame 1: skipped: " + path("out.0001.png") + " exists"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("frame 2: " + path("out.0002.png") + " exists but is not a whole image"), std::string::npos)
        << r.output;
    EXPECT_NE(r.output.find("frame 3: " + path("out.0003.png") + " exists but is not a whole image"), std::string::npos)
        << r.output;
    OIIO::ImageBuf again(path("out.0003.png"));
    EXPECT_TRUE(again.read(0, 0, true)) << again.geterror();

    fs::remove(path("in.0002.png"));
    fs::remove(path("out.0002.png"));
    ToolRun hold = render("in.#.png", "out.#.png", "--frames 1-2 --skip-existing --missing hold");
    EXPECT_EQ(hold.exitCode, 0) << hold.output;
    EXPECT_NE(hold.output.find("frame 2: no input " + path("in.0002.png") + ", holds " + path("in.0001.png")),
              std::string::npos)
        << hold.output;
}
