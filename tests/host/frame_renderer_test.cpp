// The frame renderer as a host: windows that cover the frame exactly,
// sources cut to the region of interest and grown by a margin within the
// region of definition, concurrency as the plug-in declares it, and the
// scaled coordinates of proxy renders.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <memory>

#include "faults.h"
#include "load/plugin_binary.h"
#include "ofx/ofx_names.h"
#include "render/frame_renderer.h"
#include "render/pixel_copy.h"
#include "suites/host.h"

using namespace ofxhost;

namespace {

std::unique_ptr<HostImage> image(const OfxRectI &bounds, unsigned char fill, bool topDown = false)
{
    ImageLayout layout;
    layout.bounds = bounds;
    layout.negativeRowBytes = topDown;
    auto out = std::make_unique<HostImage>(layout);
    out->fill(fill);
    return out;
}

class FrameRendering : public testing::Test {
protected:
    void load(const char *path)
    {
        TearDown();
        Host::instance().reset();
        Faults::instance().reset();
        binary = std::make_unique<PluginBinary>(path);
        plugin = std::make_unique<Plugin>(binary->plugin(0));
        ASSERT_EQ(plugin->load(), kOfxStatOK);
        ASSERT_EQ(plugin->describe(), kOfxStatOK);
        ASSERT_EQ(plugin->describeInContext(kOfxImageEffectContextFilter), kOfxStatOK);
        instance = plugin->createInstance(kOfxImageEffectContextFilter);
        ASSERT_TRUE(instance);
    }
    void TearDown() override
    {
        instance.reset();
        plugin.reset();
        binary.reset();
    }

    FrameResult render(HostImage *source, HostImage &output, const RenderHabits &habits)
    {
        instance->connect("Source", source);
        instance->connect("Output", &output);
        FrameSources sources;
        if (source)
            sources["Source"] = source;
        return renderFrame(*instance, 0.0, sources, output, habits);
    }

    std::unique_ptr<PluginBinary> binary;
    std::unique_ptr<Plugin> plugin;
    std::unique_ptr<Instance> instance;
};

}  // namespace

// Uneven tiles, strips, columns and one-pixel windows cover the frame
// exactly once; the frame's own bytes outside it are never touched.
TEST_F(FrameRendering, WindowsCoverTheFrameExactly)
{
    load(MINI_PLUGIN_PATH);
    instance->setValue("level", {42.0});
    for (const RenderHabits &habits : {tiledHabits(7, 5), tiledHabits(0, 3), tiledHabits(4, 0), tiledHabits(1, 1),
                                       tiledHabits(100, 100), RenderHabits{}}) {
        for (bool topDown : {false, true}) {
            auto output = image({-9, 3, 20, 17}, 0xAB, topDown);
            RenderHabits h = habits;
            h.topDown = !topDown;  // lent in the other row order, copied back by coordinates
            const FrameResult r = render(nullptr, *output, h);
            ASSERT_TRUE(r.ok()) << h.describe() << " status " << r.status;
            for (int y = 3; y < 17; ++y)
                for (int x = -9; x < 20; ++x)
                    ASSERT_EQ(output->pixel(x, y)[0], 42) << h.describe() << " at " << x << "," << y;
        }
    }
}

// A plug-in that does not answer gets each window's own region; a margin
// reaches further, but never past the clip's region of definition. The
// stripes it lays across the source it gets tell which bounds it got.
TEST_F(FrameRendering, SourcesAreTheRegionOfInterestWithinTheRegionOfDefinition)
{
    load(STRIPES_PLUGIN_PATH);
    auto source = image({0, 0, 40, 10}, 0);
    auto stripe = [](const HostImage &out, int x) { return out.pixel(x, 0)[0] / 60; };
    auto output = image({0, 0, 40, 10}, 0xAB);
    ASSERT_TRUE(render(source.get(), *output, RenderHabits{}).ok());
    EXPECT_EQ(stripe(*output, 12), 1);  // 12 * 4 / 40
    ASSERT_TRUE(render(source.get(), *output, tiledHabits(10, 10)).ok());
    EXPECT_EQ(stripe(*output, 12), 0);  // the tile 10..20 alone: (12 - 10) * 4 / 10
    EXPECT_EQ(stripe(*output, 19), 3);
    RenderHabits margin = tiledHabits(10, 10);
    margin.sourceMargin = 5;
    ASSERT_TRUE(render(source.get(), *output, margin).ok());
    EXPECT_EQ(stripe(*output, 12), 1);  // the source 5..25: (12 - 5) * 4 / 20
    EXPECT_EQ(stripe(*output, 2), 0);   // the source 0..15, cut at the region of definition
    EXPECT_EQ(stripe(*output, 9), 2);   // (9 - 0) * 4 / 15
    EXPECT_EQ(Host::instance().imagesOut.load(), 0u);
}

// Renders of a fully thread-safe plug-in overlap, in tiles and in frames
// at once; those of an instance-safe one never do on one instance.
TEST_F(FrameRendering, ConcurrencyFollowsTheDeclaredThreadSafety)
{
    load(MINI_PLUGIN_PATH);
    auto output = image({0, 0, 64, 64}, 0xAB);
    ASSERT_TRUE(render(nullptr, *output, tiledHabits(1, 4)).ok());
    EXPECT_GT(Host::instance().mostRendersAtOnce.load(), 1u);

    load(STRIPES_PLUGIN_PATH);  // declares nothing: instance-safe
    auto source = image({0, 0, 64, 64}, 0);
    std::vector<std::unique_ptr<HostImage>> outputs;
    std::vector<SequenceFrame> frames(16);
    for (std::size_t i = 0; i < frames.size(); ++i) {
        outputs.push_back(image({0, 0, 64, 64}, 0xAB));
        frames[i].time = double(i);
        frames[i].sources = {{"Source", source.get()}};
        frames[i].output = outputs.back().get();
    }
    instance->connect("Source", source.get());
    instance->connect("Output", outputs.front().get());
    RenderHabits atOnce = tiledHabits(8, 8);
    atOnce.framesAtOnce = 4;
    renderSequence(*instance, frames, atOnce);
    for (const SequenceFrame &f : frames)
        EXPECT_TRUE(f.result.ok());
    EXPECT_EQ(Host::instance().mostRendersAtOnce.load(), 1u);
}

TEST(PixelCoordinates, ScaledRegionsRoundOutwardAndStayFinite)
{
    const OfxRectI r = toPixels(OfxRectD{-7.0, 5.0, 70.0, 48.0}, 0.5);
    EXPECT_EQ(r.x1, -4);
    EXPECT_EQ(r.y1, 2);
    EXPECT_EQ(r.x2, 35);
    EXPECT_EQ(r.y2, 24);
    const OfxRectI exact = toPixels(toCanonical(OfxRectI{-4, 2, 35, 24}, 0.25), 0.25);
    EXPECT_TRUE(sameRect(exact, OfxRectI{-4, 2, 35, 24}));
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const OfxRectI wild = toPixels(OfxRectD{nan, -1e300, 1e300, nan}, 1.0);
    EXPECT_EQ(wild.x1, 0);
    EXPECT_EQ(wild.y1, -1000000000);
    EXPECT_EQ(wild.x2, 1000000000);
    EXPECT_TRUE(isEmpty(intersection(OfxRectI{0, 0, 5, 5}, OfxRectI{6, 6, 9, 9})));
}

TEST(PixelCoordinates, AWriteIntoARowsPaddingShows)
{
    ImageLayout layout;
    layout.bounds = {2, 3, 6, 5};
    layout.rowPadding = 4;
    HostImage im(layout);
    im.fill(0xAB);
    std::memset(im.pixel(3, 4), 0, 8);  // inside
    EXPECT_TRUE(holdsOutside(im, OfxRectI{3, 4, 5, 5}, 0xAB));
    EXPECT_FALSE(holdsOutside(im, OfxRectI{3, 3, 5, 4}, 0xAB));
    im.pixel(5, 3)[4] = 0;  // the first byte past the row
    EXPECT_FALSE(holdsOutside(im, im.bounds(), 0xAB));
}
