// Zelvo rendered the way real hosts render: in tiles and strips with sources
// cut to the region of interest it asks for, at proxy scales, with rows top
// down, into oversized images, with short-lived instances and several frames
// at once. Every frame must come out byte for byte as the whole frame does.

#include <random>
#include <sstream>

#include "render/frame_renderer.h"
#include "render/host_profiles.h"
#include "render/pixel_copy.h"
#include "zelvo_fixture.h"

using namespace ofxhost;

namespace {

const OfxRectI kFrame{-7, 5, 70, 48};  // 77 x 43: no tile size divides it

std::unique_ptr<HostImage> randomImage(Depth depth, const OfxRectI &bounds, bool topDown, std::mt19937 &rng)
{
    ImageLayout layout;
    layout.depth = depth;
    layout.bounds = bounds;
    layout.negativeRowBytes = topDown;
    auto image = std::make_unique<HostImage>(layout);
    for (int y = bounds.y1; y < bounds.y2; ++y) {
        unsigned char *p = image->pixel(bounds.x1, y);
        for (int i = 0; i < image->width() * image->pixelBytes(); ++i)
            p[i] = static_cast<unsigned char>(rng());
    }
    return image;
}

std::unique_ptr<HostImage> blankImage(Depth depth, const OfxRectI &bounds, bool topDown = false)
{
    ImageLayout layout;
    layout.depth = depth;
    layout.bounds = bounds;
    layout.negativeRowBytes = topDown;
    auto image = std::make_unique<HostImage>(layout);
    image->fill(0xAB);
    return image;
}

// Pixels that differ, and the first of them, for a message worth reading.
std::string differences(const HostImage &a, const HostImage &b)
{
    if (!sameRect(a.bounds(), b.bounds()) || a.pixelBytes() != b.pixelBytes())
        return "images of other bounds or depth";
    int count = 0;
    std::ostringstream first;
    for (int y = a.bounds().y1; y < a.bounds().y2; ++y)
        for (int x = a.bounds().x1; x < a.bounds().x2; ++x)
            if (std::memcmp(a.pixel(x, y), b.pixel(x, y), static_cast<std::size_t>(a.pixelBytes())) != 0 &&
                count++ == 0)
                first << " first at " << x << "," << y;
    return count == 0 ? std::string() : std::to_string(count) + " pixels differ," + first.str();
}

class ZelvoHosts : public ZelvoHost {
protected:
    void SetUp() override
    {
        ZelvoHost::SetUp();
        create();
        quirks().reportedCpus = 2;
    }

    void setBands(int count, double angle, unsigned visible)
    {
        instance->setValue("splitCount", {double(count)});
        instance->setValue("splitAngle", {angle});
        setSections(visible);
    }

    // Renders the frame of the source with the habits into a new output of
    // the frame at the habits' scale.
    std::unique_ptr<HostImage> render(const HostImage &source, const RenderHabits &habits, double time = 0.0)
    {
        auto output = blankImage(source.layout().depth, toPixels(toCanonical(source.bounds(), 1.0), habits.renderScale));
        instance->connect("Source", const_cast<HostImage *>(&source));
        instance->connect("Output", output.get());
        const int threadCalls = Faults::instance().count("multiThread");
        const FrameResult r = renderFrame(*instance, time, {{"Source", &source}}, *output, habits);
        EXPECT_EQ(r.status, kOfxStatOK) << habits.describe();
        EXPECT_FALSE(r.wroteOutside) << habits.describe();
        EXPECT_EQ(Host::instance().imagesOut.load(), 0u) << habits.describe();
        // The habits really cut the frame: several render actions.
        if (habits.tiled()) {
            EXPECT_GT(r.windows, 1u) << habits.describe();
        }
        lastWindows = r.windows;
        lastThreadCalls = Faults::instance().count("multiThread") - threadCalls;
        return output;
    }

    // Of the last render: its windows, and the CPU renders among them (each
    // asks the host's thread suite once; the device path never does).
    unsigned lastWindows = 0;
    int lastThreadCalls = 0;
};

}  // namespace

// The bands lie across the whole source in every window: tiles, strips and
// columns of uneven sizes cut bands at every angle, count and depth, in both
// row orders, and the frame is the whole frame's, byte for byte.
TEST_F(ZelvoHosts, TiledFramesAreTheWholeFrame)
{
    std::mt19937 rng(20261208u);
    const struct {
        int count;
        double angle;
        unsigned visible;
    } bands[] = {{4, 0.0, 0x005},      {2, 90.0, 0x001},      {10, 45.0, 0x155},   {3, 180.0, 0x002},
                 {7, 270.0, 0x04A},    {5, 135.0, 0x013},     {6, 0.001, 0x015},   {8, 89.999, 0x0AA},
                 {9, 315.0, 0x1F0},    {2, 359.5, 0x002},     {10, 30.0, 0x2AA},   {1, 225.0, 0x000}};
    const RenderHabits tilings[] = {tiledHabits(16, 16), tiledHabits(0, 7), tiledHabits(5, 0), tiledHabits(23, 9),
                                    tiledHabits(0, 1)};
    for (Depth depth : {Depth::Byte, Depth::Short, Depth::Float})
        for (bool topDown : {false, true}) {
            auto source = randomImage(depth, kFrame, topDown, rng);
            for (const auto &b : bands) {
                setBands(b.count, b.angle, b.visible);
                RenderHabits whole;
                whole.topDown = topDown;
                auto expected = render(*source, whole);
                // Whole 8-bit frames of bottom-up rows go to the OpenCL device
                // when the run chose it; tiles of their own output images never.
                const bool device = openCLPath() && depth == Depth::Byte && !topDown;
                EXPECT_EQ(lastThreadCalls, device ? 0 : 1) << depthText(depth);
                for (RenderHabits tiles : tilings) {
                    tiles.topDown = topDown;
                    auto tiled = render(*source, tiles);
                    EXPECT_EQ(lastThreadCalls, static_cast<int>(lastWindows)) << tiles.describe();
                    EXPECT_EQ(differences(*tiled, *expected), "")
                        << tiles.describe() << ", depth " << depthText(depth) << ", count " << b.count << ", angle "
                        << b.angle;
                }
            }
        }
}

// Zelvo asks for the source clip's whole region of definition, in canonical
// coordinates, at any scale and for any window; with no source it asks for
// the empty region the host reports.
TEST_F(ZelvoHosts, TheRegionOfInterestIsTheSourcesWholeRegionOfDefinition)
{
    std::mt19937 rng(3);
    auto source = randomImage(Depth::Byte, kFrame, false, rng);
    instance->connect("Source", source.get());
    std::map<std::string, OfxRectD> regions;
    for (double scale : {1.0, 0.5, 0.25}) {
        ASSERT_EQ(instance->regionsOfInterest(0.0, scale, OfxRectD{10, 20, 12, 21}, regions), kOfxStatOK);
        ASSERT_EQ(regions.count("Source"), 1u);
        EXPECT_EQ(regions["Source"].x1, -7.0);
        EXPECT_EQ(regions["Source"].y1, 5.0);
        EXPECT_EQ(regions["Source"].x2, 70.0);
        EXPECT_EQ(regions["Source"].y2, 48.0);
    }
    instance->connect("Source", nullptr);
    ASSERT_EQ(instance->regionsOfInterest(0.0, 1.0, OfxRectD{10, 20, 12, 21}, regions), kOfxStatOK);
    EXPECT_EQ(regions["Source"].x2 - regions["Source"].x1, 0.0);
}

// The region asked for is the source of the frame being rendered, not that
// of whatever image the clip showed before: frames whose sources differ in
// size, rendered in tiles, are each their whole frame.
TEST_F(ZelvoHosts, EachFrameAsksForItsOwnSourcesRegion)
{
    std::mt19937 rng(21);
    auto shown = randomImage(Depth::Byte, OfxRectI{0, 0, 9, 9}, false, rng);
    auto frame = randomImage(Depth::Byte, kFrame, false, rng);
    setBands(3, 0.0, 0x002);
    auto expected = render(*frame, RenderHabits{});
    auto tiled = blankImage(Depth::Byte, kFrame);
    instance->connect("Source", shown.get());
    instance->connect("Output", tiled.get());
    ASSERT_TRUE(renderFrame(*instance, 0.0, {{"Source", frame.get()}}, *tiled, tiledHabits(20, 20)).ok());
    EXPECT_EQ(differences(*tiled, *expected), "");
}

// At proxy scales the tiled frame is the whole frame at that scale, and a
// host that leaves the render scale off its images still gets it.
TEST_F(ZelvoHosts, ProxyScalesTiledAndWithoutScaleOnTheImages)
{
    std::mt19937 rng(5);
    for (Depth depth : {Depth::Byte, Depth::Float}) {
        auto source = randomImage(depth, kFrame, false, rng);
        setBands(5, 30.0, 0x015);
        for (double scale : {0.5, 0.25}) {
            RenderHabits whole;
            whole.renderScale = scale;
            auto expected = render(*source, whole);
            EXPECT_EQ(expected->width(), scale == 0.5 ? 39 : 20);
            RenderHabits tiles = tiledHabits(6, 5);
            tiles.renderScale = scale;
            EXPECT_EQ(differences(*render(*source, tiles), *expected), "") << tiles.describe();
            RenderHabits thumbnail = whole;
            thumbnail.renderScaleOnImages = false;
            EXPECT_EQ(differences(*render(*source, thumbnail), *expected), "") << thumbnail.describe();
        }
    }
}

// Output images of the whole frame for tile windows, and sources beyond the
// region of interest: nothing is written outside each window.
TEST_F(ZelvoHosts, OversizedImagesAreWrittenOnlyInTheWindow)
{
    std::mt19937 rng(9);
    for (Depth depth : {Depth::Byte, Depth::Short, Depth::Float}) {
        auto source = randomImage(depth, kFrame, false, rng);
        setBands(6, 250.0, 0x029);
        auto expected = render(*source, RenderHabits{});
        for (const RenderHabits &habits : findHostProfile("oversized")->variants)
            EXPECT_EQ(differences(*render(*source, habits), *expected), "") << habits.describe();
    }
}

// A depth the host hands though Zelvo never declared it is refused with a
// failure status, and nothing is written, on either render path.
TEST_F(ZelvoHosts, AnUndeclaredDepthIsRefusedWithoutWriting)
{
    std::mt19937 rng(13);
    for (Depth declared : {Depth::Byte, Depth::Float}) {
        auto source = randomImage(declared, kFrame, false, rng);
        for (const RenderHabits &habits : findHostProfile("wrong-depth")->variants) {
            const bool half = (habits.sourceDepth && *habits.sourceDepth == Depth::Half) ||
                              (habits.outputDepth && *habits.outputDepth == Depth::Half);
            if (!half)
                continue;
            auto output = blankImage(declared, kFrame);
            instance->connect("Source", source.get());
            instance->connect("Output", output.get());
            const FrameResult r = renderFrame(*instance, 0.0, {{"Source", source.get()}}, *output, habits);
            EXPECT_NE(r.status, kOfxStatOK) << habits.describe();
            EXPECT_FALSE(r.wroteOnFailure) << habits.describe();
            EXPECT_TRUE(holdsOutside(*output, OfxRectI{0, 0, 0, 0}, 0xAB)) << habits.describe();
            EXPECT_EQ(Host::instance().imagesOut.load(), 0u);
        }
    }
}

// A new instance for every frame, and several frames of one instance at
// once, give each frame as one long-lived instance does.
TEST_F(ZelvoHosts, ShortLivedInstancesAndFramesAtOnce)
{
    std::mt19937 rng(17);
    auto source = randomImage(Depth::Byte, kFrame, false, rng);
    instance->setKey("splitAngle", 0.0, {0.0});
    instance->setKey("splitAngle", 7.0, {315.0});
    instance->setKey("splitCount", 0.0, {2.0});
    instance->setKey("splitCount", 7.0, {9.0});
    setSections(0x155);
    std::vector<std::unique_ptr<HostImage>> expected;
    for (int frame = 0; frame < 8; ++frame)
        expected.push_back(render(*source, RenderHabits{}, frame));
    Host::instance().mostRendersAtOnce = 0;
    for (const char *profile : {"short-lived", "frames-at-once"}) {
        for (const RenderHabits &habits : findHostProfile(profile)->variants) {
            const unsigned created = Host::instance().instancesCreated.load();
            std::vector<std::unique_ptr<HostImage>> outputs;
            std::vector<SequenceFrame> frames(8);
            for (int frame = 0; frame < 8; ++frame) {
                outputs.push_back(blankImage(Depth::Byte, kFrame));
                frames[frame].time = frame;
                frames[frame].sources = {{"Source", source.get()}};
                frames[frame].output = outputs.back().get();
            }
            instance->connect("Output", outputs.front().get());
            renderSequence(*instance, frames, habits);
            // A new instance for every frame, or none at all.
            EXPECT_EQ(Host::instance().instancesCreated.load() - created, habits.shortLivedInstances ? 8u : 0u)
                << profile;
            for (int frame = 0; frame < 8; ++frame) {
                EXPECT_EQ(frames[frame].result.status, kOfxStatOK) << profile << " frame " << frame;
                EXPECT_EQ(differences(*outputs[frame], *expected[frame]), "") << profile << " frame " << frame;
            }
        }
    }
    EXPECT_EQ(Host::instance().mostRendersAtOnce.load(), 1u);  // Zelvo is instance-safe
}
