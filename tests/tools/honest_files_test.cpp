// What zelvo render writes is what the pixels and the file say: inks become
// RGB, alpha keeps its association, one MIP level is a valid file, carried
// channels keep their values, lossy codecs are named, several parts are
// refused, and images too large for memory are refused before they are read.

#include <OpenImageIO/imagebuf.h>
#include <OpenImageIO/imagebufalgo.h>

#include <cstring>

#include "tool_fixture.h"
#include "tool_runner.h"

namespace fs = std::filesystem;

namespace {

class HonestFiles : public ToolTest {
protected:
    OIIO::ImageSpec readSpec(const std::string &file)
    {
        OIIO::ImageSpec raw;
        raw.attribute("oiio:UnassociatedAlpha", 1);
        auto in = OIIO::ImageInput::open(file, &raw);
        EXPECT_TRUE(in) << file;
        return in ? in->spec() : OIIO::ImageSpec();
    }
    std::vector<float> pixel(const std::string &file, int x, int y)
    {
        OIIO::ImageBuf buf(file);
        EXPECT_TRUE(buf.read(0, 0, true, OIIO::TypeDesc::FLOAT)) << buf.geterror();
        std::vector<float> px(static_cast<std::size_t>(buf.nchannels()));
        buf.getpixel(x, y, px.data());
        return px;
    }
    ToolRun render(const std::string &in, const std::string &out, const std::string &more = "")
    {
        return runTool("render '" + path(in) + "' '" + path(out) + "' " + more);
    }
};

}  // namespace

// Red stays red: the output is RGB, never RGBA values tagged as inks.
TEST_F(HonestFiles, CmykBecomesRgb)
{
    OIIO::ImageSpec spec(4, 2, 3, OIIO::TypeDesc::UINT8);
    spec.attribute("tiff:ColorSpace", "CMYK");
    auto out = OIIO::ImageOutput::create(path("cmyk.tif"));
    ASSERT_TRUE(out->open(path("cmyk.tif"), spec));
    std::vector<unsigned char> red(4 * 2 * 3, 0);
    for (int i = 0; i < 8; ++i)
        red[static_cast<std::size_t>(i) * 3] = 255;
    ASSERT_TRUE(out->write_image(OIIO::TypeDesc::UINT8, red.data()));
    out->close();
    ToolRun r = render("cmyk.tif", "out.tif");
    ASSERT_EQ(r.exitCode, 0) << r.output;
    EXPECT_NE(r.output.find("keeps RGB of CMYK"), std::string::npos) << r.output;
    EXPECT_NE(readSpec(path("out.tif")).get_string_attribute("tiff:ColorSpace"), "CMYK");
    const std::vector<float> px = pixel(path("out.tif"), 3, 0);
    EXPECT_EQ(px[0], 1.0f);
    EXPECT_EQ(px[1], 0.0f);
    EXPECT_EQ(px[2], 0.0f);
}

// OFX pixels from an EXR are premultiplied: a TIFF of them says associated
// alpha; pixels that came unassociated (a PNG) go out as they came.
TEST_F(HonestFiles, TiffAlphaKeepsItsAssociation)
{
    OIIO::ImageBuf exr(OIIO::ImageSpec(4, 2, 4, OIIO::TypeDesc::HALF));
    const float px[4] = {0.25f, 0.25f, 0.25f, 0.5f};
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 4; ++x)
            exr.setpixel(x, y, px);
    ASSERT_TRUE(exr.write(path("in.exr")));
    ASSERT_EQ(render("in.exr", "out.tif").exitCode, 0);
    EXPECT_EQ(readSpec(path("out.tif")).get_int_attribute("oiio:UnassociatedAlpha"), 0);
    writeInput(path("in.png"), OIIO::TypeDesc::UINT8, 4, 2, 3);
    ASSERT_EQ(render("in.png", "out2.tif").exitCode, 0);
    EXPECT_EQ(readSpec(path("out2.tif")).get_int_attribute("oiio:UnassociatedAlpha"), 1);
}

// An input with MIP levels gives a file of its first level that reads
// whole, said in the warning; a file of several parts is refused.
TEST_F(HonestFiles, MipLevelsAndParts)
{
    OIIO::ImageBuf level0(OIIO::ImageSpec(32, 32, 4, OIIO::TypeDesc::HALF));
    const float grey[4] = {0.5f, 0.5f, 0.5f, 1.0f};
    OIIO::ImageBufAlgo::fill(level0, grey);
    OIIO::ImageSpec config;
    config.attribute("maketx:fileformatname", "exr");
    ASSERT_TRUE(OIIO::ImageBufAlgo::make_texture(OIIO::ImageBufAlgo::MakeTxTexture, level0, path("mip.exr"), config));
    ToolRun r = render("mip.exr", "out.exr");
    ASSERT_EQ(r.exitCode, 0) << r.output;
    EXPECT_NE(r.output.find("keeps the first of 6 MIP levels"), std::string::npos) << r.output;
    auto in = OIIO::ImageInput::open(path("out.exr"));
    ASSERT_TRUE(in);
    EXPECT_FALSE(in->seek_subimage(0, 1)) << "the output promises MIP levels it does not hold";
    std::vector<float> all(32 * 32 * 4);
    EXPECT_TRUE(in->seek_subimage(0, 0) && in->read_image(0, 0, 0, 4, OIIO::TypeDesc::FLOAT, all.data()));

    const OIIO::ImageSpec parts[2] = {OIIO::ImageSpec(8, 8, 4, OIIO::TypeDesc::HALF),
                                      OIIO::ImageSpec(8, 8, 1, OIIO::TypeDesc::FLOAT)};
    auto multi = OIIO::ImageOutput::create(path("parts.exr"));
    ASSERT_TRUE(multi->open(path("parts.exr"), 2, parts));
    std::vector<float> px(8 * 8 * 4, 0.25f);
    ASSERT_TRUE(multi->write_image(OIIO::TypeDesc::FLOAT, px.data()));
    ASSERT_TRUE(multi->open(path("parts.exr"), parts[1], OIIO::ImageOutput::AppendSubimage));
    ASSERT_TRUE(multi->write_image(OIIO::TypeDesc::FLOAT, px.data()));
    multi->close();
    r = render("parts.exr", "out2.exr");
    EXPECT_EQ(r.exitCode, 1) << r.output;
    EXPECT_EQ(r.output, "zelvo: cannot read " + path("parts.exr") +
                            ": files of several parts (multi-part EXR) are not supported; split the part to render "
                            "first\n");
    EXPECT_FALSE(fs::exists(path("out2.exr")));
}

// A depth of 1234.5 and integer IDs come back as they were when the
// plug-in renders in 8 bits.
TEST_F(HonestFiles, CarriedChannelsKeepTheirValuesAtAnyRenderDepth)
{
    OIIO::ImageSpec spec(6, 4, 5, OIIO::TypeDesc::FLOAT);
    spec.channelnames = {"R", "G", "B", "A", "Z"};
    OIIO::ImageBuf buf(spec);
    const float px[5] = {0.5f, 0.25f, 1.0f, 1.0f, 1234.5f};
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 6; ++x)
            buf.setpixel(x, y, px);
    ASSERT_TRUE(buf.write(path("in.exr")));
    for (const char *depth : {"8", "16"}) {
        ToolRun r = render("in.exr", "out.exr", std::string("--depth ") + depth);
        ASSERT_EQ(r.exitCode, 0) << r.output;
        const std::vector<float> got = pixel(path("out.exr"), 2, 1);
        EXPECT_EQ(got[4], 1234.5f) << "--depth " << depth;
        EXPECT_NEAR(got[0], 0.5f, 1.0 / 255) << "--depth " << depth;
    }
}

// Formats and codecs that lose detail are said in the one warning line.
TEST_F(HonestFiles, LossyOutputsAreSaid)
{
    writeInput(path("in.png"), OIIO::TypeDesc::UINT8, 16, 8, 5);
    for (const char *out : {"out.gif", "out.webp", "out.jpg"}) {
        ToolRun r = render("in.png", out);
        ASSERT_EQ(r.exitCode, 0) << out << r.output;
        EXPECT_NE(r.output.find("loses detail to "), std::string::npos) << out << "\n" << r.output;
    }
    ToolRun lossless = render("in.png", "out.tif");
    EXPECT_EQ(lossless.output.find("warning"), std::string::npos) << lossless.output;
}

// A header that promises more pixels than memory allows is refused in one
// line that names the file, before anything is allocated for it.
TEST_F(HonestFiles, ImagesTooLargeForTheLimitAreRefused)
{
    OIIO::ImageSpec spec(20000, 20000, 1, OIIO::TypeDesc::UINT8);
    spec.attribute("oiio:BitsPerSample", 1);
    auto out = OIIO::ImageOutput::create(path("bomb.png"));
    ASSERT_TRUE(out->open(path("bomb.png"), spec));
    std::vector<unsigned char> row(20000, 0);
    for (int y = 0; y < 20000; ++y)
        ASSERT_TRUE(out->write_scanline(y, 0, OIIO::TypeDesc::UINT8, row.data()));
    out->close();
    EXPECT_LT(fs::file_size(path("bomb.png")), 1u << 20);
    ToolRun r = render("bomb.png", "out.png", "--max-image-mb 512");
    EXPECT_EQ(r.exitCode, 1) << r.output;
    EXPECT_EQ(r.output, "zelvo: cannot read " + path("bomb.png") +
                            ": its 20000x20000 pixels need 1908 MB, more than the limit of 512 MB (--max-image-mb)\n");
    ToolRun bad = render("bomb.png", "out.png", "--max-image-mb 0");
    EXPECT_EQ(bad.exitCode, 2) << bad.output;
}
