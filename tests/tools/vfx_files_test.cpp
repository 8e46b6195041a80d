// VFX files through zelvo render: windows, pixel types, metadata and
// channels come out as they went in, and what a format cannot hold is said.

#include <OpenImageIO/imagebuf.h>

#include <cstring>

#include "reference_rule.h"
#include "tool_fixture.h"
#include "tool_runner.h"

namespace {

constexpr float kHidden = 0.0f;

// A half-float EXR of random values in the given channels, with a data
// window inside (or around) its display window.
OIIO::ImageSpec exrSpec(OIIO::ROI data, OIIO::ROI display, std::vector<std::string> channels)
{
    OIIO::ImageSpec spec(data.width(), data.height(), static_cast<int>(channels.size()), OIIO::TypeDesc::HALF);
    spec.x = data.xbegin;
    spec.y = data.ybegin;
    spec.full_x = display.xbegin;
    spec.full_y = display.ybegin;
    spec.full_width = display.width();
    spec.full_height = display.height();
    spec.channelnames = std::move(channels);
    spec.alpha_channel = -1;
    return spec;
}

void writeRandom(const std::string &file, const OIIO::ImageSpec &spec, unsigned seed)
{
    OIIO::ImageBuf buf(spec);
    std::mt19937 rng(seed);
    std::vector<float> px(static_cast<std::size_t>(spec.nchannels));
    for (int y = spec.y; y < spec.y + spec.height; ++y)
        for (int x = spec.x; x < spec.x + spec.width; ++x) {
            for (float &c : px)
                c = (static_cast<int>(rng() % 2001) - 500) / 1000.0f;
            buf.setpixel(x, y, px.data());
        }
    if (spec.tile_width)
        buf.set_write_tiles(spec.tile_width, spec.tile_height);
    ASSERT_TRUE(buf.write(file)) << buf.geterror();
}

OIIO::ImageBuf readAll(const std::string &file)
{
    OIIO::ImageSpec raw;
    raw.attribute("oiio:UnassociatedAlpha", 1);
    OIIO::ImageBuf buf(file, 0, 0, nullptr, &raw);
    EXPECT_TRUE(buf.read(0, 0, true, OIIO::TypeDesc::FLOAT)) << buf.geterror();
    return buf;
}

class VfxFiles : public ToolTest {
protected:
    // The rendered channels follow the rule over the data window; every
    // other channel is the input's, hidden bands included.
    void expectRendered(const std::string &in, const std::string &out, const std::vector<std::string> &names,
                        double angle, int count, unsigned visible)
    {
        OIIO::ImageBuf a = readAll(in), b = readAll(out);
        const OIIO::ImageSpec &s = a.spec();
        ASSERT_EQ(b.spec().channelnames, s.channelnames);
        std::vector<int> rendered;
        for (const std::string &name : names)
            rendered.push_back(s.channelindex(name));
        ASSERT_EQ(b.spec().x, s.x);
        ASSERT_EQ(b.spec().y, s.y);
        ASSERT_EQ(b.spec().width, s.width);
        ASSERT_EQ(b.spec().height, s.height);
        std::vector<float> pa(static_cast<std::size_t>(s.nchannels)), pb(pa.size());
        for (int y = s.y; y < s.y + s.height; ++y)
            for (int x = s.x; x < s.x + s.width; ++x) {
                a.getpixel(x, y, pa.data());
                b.getpixel(x, y, pb.data());
                const int section =
                    referenceSection(s.width, s.height, angle, count, x - s.x, s.height - 1 - (y - s.y));
                const bool show = (visible >> section) & 1u;
                for (int c = 0; c < s.nchannels; ++c) {
                    const bool isRendered = std::find(rendered.begin(), rendered.end(), c) != rendered.end();
                    ASSERT_EQ(pb[c], isRendered && !show ? kHidden : pa[c]) << x << "," << y << " channel " << c;
                }
            }
    }
};

}  // namespace

TEST_F(VfxFiles, TheDataWindowIsTheImageAndBothWindowsAreKept)
{
    struct Case {
        OIIO::ROI data, display;
    } cases[] = {
        {OIIO::ROI(100, 500, 50, 350), OIIO::ROI(0, 960, 0, 540)},    // inside, as plates come
        {OIIO::ROI(-40, 60, -30, 20), OIIO::ROI(0, 960, 0, 540)},     // reaching out above and left
        {OIIO::ROI(-20, 980, -10, 550), OIIO::ROI(0, 960, 0, 540)},   // overscan: larger than the display
    };
    unsigned seed = 0;
    for (const Case &c : cases) {
        const OIIO::ImageSpec spec = exrSpec(c.data, c.display, {"R", "G", "B", "A"});
        writeRandom(path("in.exr"), spec, ++seed);
        ToolRun r = runTool("render '" + path("in.exr") + "' '" + path("out.exr") +
                            "' -p splitCount=3 -p splitAngle=30 -p section2=off");
        ASSERT_EQ(r.exitCode, 0) << r.output;
        EXPECT_EQ(r.output.find("warning"), std::string::npos) << r.output;
        expectRendered(path("in.exr"), path("out.exr"), {"R", "G", "B", "A"}, 30, 3, 0x3FD);
        const OIIO::ImageSpec out = readAll(path("out.exr")).nativespec();
        EXPECT_EQ(out.full_x, c.display.xbegin);
        EXPECT_EQ(out.full_width, c.display.width());
        EXPECT_EQ(out.full_height, c.display.height());
        EXPECT_EQ(out.format, OIIO::TypeDesc::HALF) << "half stays half";
    }
}

TEST_F(VfxFiles, MetadataCompressionAndTilingAreKept)
{
    OIIO::ImageSpec spec = exrSpec(OIIO::ROI(0, 96, 0, 64), OIIO::ROI(0, 96, 0, 64), {"R", "G", "B", "A"});
    spec.attribute("compression", "dwaa");
    spec.attribute("studio:shot", "sq010_sh020");
    spec.attribute("FramesPerSecond", OIIO::TypeRational, std::vector<int>{24000, 1001}.data());
    const unsigned timecode[2] = {0x01020304u, 0u};
    spec.attribute("smpte:TimeCode", OIIO::TypeTimeCode, timecode);
    spec.attribute("PixelAspectRatio", 2.0f);
    const float chromaticities[8] = {0.708f, 0.292f, 0.170f, 0.797f, 0.131f, 0.046f, 0.3127f, 0.3290f};
    spec.attribute("chromaticities", OIIO::TypeDesc(OIIO::TypeDesc::FLOAT, 8), chromaticities);
    spec.tile_width = spec.tile_height = 32;
    writeRandom(path("in.exr"), spec, 7);

    ToolRun r = runTool("render '" + path("in.exr") + "' '" + path("out.exr") + "' -p splitCount=2");
    ASSERT_EQ(r.exitCode, 0) << r.output;
    // Everything is kept; only the lossy codec is worth a word.
    EXPECT_NE(r.output.find("zelvo: warning: " + path("out.exr") + " cannot hold all of " + path("in.exr") +
                            ": loses detail to dwaa compression\n"),
              std::string::npos)
        << r.output;
    const OIIO::ImageSpec out = readAll(path("out.exr")).nativespec();
    EXPECT_EQ(out.get_string_attribute("compression"), "dwaa");
    EXPECT_EQ(out.get_string_attribute("studio:shot"), "sq010_sh020");
    EXPECT_EQ(out.get_float_attribute("PixelAspectRatio"), 2.0f);
    const OIIO::ParamValue *primaries = out.find_attribute("chromaticities");
    ASSERT_NE(primaries, nullptr);
    EXPECT_EQ(std::memcmp(primaries->data(), chromaticities, sizeof chromaticities), 0);
    const OIIO::ParamValue *fps = out.find_attribute("FramesPerSecond");
    ASSERT_NE(fps, nullptr);
    EXPECT_EQ(static_cast<const int *>(fps->data())[0], 24000);
    const OIIO::ParamValue *tc = out.find_attribute("smpte:TimeCode");
    ASSERT_NE(tc, nullptr);
    EXPECT_EQ(static_cast<const unsigned *>(tc->data())[0], 0x01020304u);
    EXPECT_EQ(out.tile_width, 32);
    EXPECT_EQ(out.format, OIIO::TypeDesc::HALF);

    // Asked for, another type and compression.
    r = runTool("render '" + path("in.exr") + "' '" + path("out2.exr") + "' -d float --compression zip");
    ASSERT_EQ(r.exitCode, 0) << r.output;
    const OIIO::ImageSpec asked = readAll(path("out2.exr")).nativespec();
    EXPECT_EQ(asked.format, OIIO::TypeDesc::FLOAT);
    EXPECT_EQ(asked.get_string_attribute("compression"), "zip");
    EXPECT_EQ(asked.get_string_attribute("studio:shot"), "sq010_sh020");
}

TEST_F(VfxFiles, WhatAFormatCannotHoldIsSaidInOneLine)
{
    OIIO::ImageSpec spec = exrSpec(OIIO::ROI(10, 74, 5, 45), OIIO::ROI(0, 96, 0, 64), {"R", "G", "B", "A"});
    spec.attribute("studio:shot", "sq010_sh020");
    writeRandom(path("in.exr"), spec, 9);
    ToolRun r = runTool("render '" + path("in.exr") + "' '" + path("out.jpg") + "' -q");
    ASSERT_EQ(r.exitCode, 0) << r.output;
    EXPECT_EQ(r.lines(), 1) << r.output;
    EXPECT_EQ(r.output.rfind("zelvo: warning: " + path("out.jpg") + " cannot hold all of " + path("in.exr") +
                                 ": keeps uint8 of half; drops channels A; drops the data window; drops metadata "
                                 "studio:shot",
                             0),
              0u)
        << r.output;

    // The render depth does not decide the output's: an 8-bit PNG rendered
    // in float is still an 8-bit PNG, and asking for float in a PNG is said.
    writeInput(path("in.png"), OIIO::TypeDesc::UINT8, 8, 6, 3);
    r = runTool("render '" + path("in.png") + "' '" + path("out.png") + "' --depth float");
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.output.find("warning"), std::string::npos) << r.output;
    EXPECT_EQ(readAll(path("out.png")).nativespec().format, OIIO::TypeDesc::UINT8);
    r = runTool("render '" + path("in.png") + "' '" + path("out2.png") + "' -d float");
    EXPECT_NE(r.output.find("cannot hold all of " + path("in.png") + ": keeps uint8 of float"), std::string::npos)
        << r.output;
}

TEST_F(VfxFiles, ChannelsAreFoundByNameAndTheOthersCarriedThrough)
{
    const OIIO::ROI window(0, 40, 0, 24);
    // Layers: the diffuse layer is rendered, the specular one kept as it is.
    writeRandom(path("layers.exr"),
                exrSpec(window, window, {"diffuse.R", "diffuse.G", "diffuse.B", "diffuse.A", "specular.R", "Z"}), 1);
    ToolRun r = runTool("render '" + path("layers.exr") + "' '" + path("out.exr") + "' --layer diffuse -p splitCount=4");
    ASSERT_EQ(r.exitCode, 0) << r.output;
    expectRendered(path("layers.exr"), path("out.exr"), {"diffuse.R", "diffuse.G", "diffuse.B", "diffuse.A"}, 0, 4,
                   0x3FF);
    r = runTool("render '" + path("layers.exr") + "' '" + path("out.exr") + "' --layer diffuse -p splitCount=4 "
                "-p section3=off -p splitAngle=90");
    ASSERT_EQ(r.exitCode, 0) << r.output;
    expectRendered(path("layers.exr"), path("out.exr"), {"diffuse.R", "diffuse.G", "diffuse.B", "diffuse.A"}, 90, 4,
                   0x3FB);

    // Any other set of channels is named, not guessed at.
    writeRandom(path("normals.exr"), exrSpec(window, window, {"N.x", "N.y", "N.z", "N.w"}), 2);
    r = runTool("render '" + path("normals.exr") + "' '" + path("out.exr") + "'");
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(r.output, "zelvo: " + path("normals.exr") +
                            " has no R, G and B channels (its channels: N.x, N.y, N.z, N.w); choose a --layer, or "
                            "name the channels with --channels\n");
    r = runTool("render '" + path("layers.exr") + "' '" + path("out.exr") + "'");
    EXPECT_EQ(r.exitCode, 2) << r.output;

    // Unless the user maps them: in that order, red, green, blue, alpha.
    r = runTool("render '" + path("normals.exr") + "' '" + path("out.exr") +
                "' --channels N.x,N.y,N.z,N.w -p splitCount=2 -p section1=off");
    ASSERT_EQ(r.exitCode, 0) << r.output;
    expectRendered(path("normals.exr"), path("out.exr"), {"N.x", "N.y", "N.z", "N.w"}, 0, 2, 0x3FE);
    r = runTool("render '" + path("normals.exr") + "' '" + path("out.exr") + "' --channels N.x,N.q,N.z");
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.output.find("has no channel N.q"), std::string::npos) << r.output;

    // Names in any case, and RGB without alpha keeps its three channels
    // where the format holds no more, or gains an alpha where it does.
    writeRandom(path("lower.exr"), exrSpec(window, window, {"r", "g", "b"}), 3);
    r = runTool("render '" + path("lower.exr") + "' '" + path("out.exr") + "' -p splitCount=2 -p section2=off");
    ASSERT_EQ(r.exitCode, 0) << r.output;
    const OIIO::ImageSpec out = readAll(path("out.exr")).nativespec();
    EXPECT_EQ(out.channelnames, (std::vector<std::string>{"r", "g", "b", "A"}));
}
