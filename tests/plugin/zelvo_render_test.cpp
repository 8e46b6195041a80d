#include <cstdint>
#include <limits>
#include <random>
#include <sstream>

#include "zelvo_fixture.h"

using namespace ofxhost;

namespace {

const unsigned char kSentinel = 0xAB;

struct Config {
    Depth depth = Depth::Byte;
    OfxRectI bounds{0, 0, 8, 8};
    bool negativeRowBytes = false;
    OfxRectI window{0, 0, 8, 8};
    double angle = 0.0;
    int count = 2;
    unsigned visible = 0x3FF;
    unsigned threads = 2;

    std::string describe() const
    {
        std::ostringstream s;
        s.precision(17);
        s << "depth " << int(depth) << " bounds " << bounds.x1 << "," << bounds.y1 << "," << bounds.x2 << ","
          << bounds.y2 << (negativeRowBytes ? " negative rows" : "") << " window " << window.x1 << "," << window.y1
          << "," << window.x2 << "," << window.y2 << " angle " << angle << " count " << count << " visible 0x"
          << std::hex << visible << std::dec << " threads " << threads;
        return s.str();
    }
};

void fillRandom(HostImage &image, std::mt19937 &rng)
{
    for (int y = image.bounds().y1; y < image.bounds().y2; ++y) {
        unsigned char *p = image.pixel(image.bounds().x1, y);
        for (int i = 0; i < image.width() * image.pixelBytes(); ++i)
            p[i] = static_cast<unsigned char>(rng());
    }
}

class ZelvoRender : public ZelvoHost {
protected:
    void SetUp() override
    {
        ZelvoHost::SetUp();
        create();
    }

    // Renders the config into a sentinel-filled destination and compares every
    // byte of it with the reference rule. The path that drew it is proven:
    // with the OpenCL path on, an 8-bit frame stored bottom up whose count
    // lies in 1..10 goes to the device and never asks the host how many threads it has; any other
    // frame is drawn on the CPU, which asks once.
    void renderAndCompare(const Config &c, std::mt19937 &rng)
    {
        SCOPED_TRACE(c.describe());
        ImageLayout layout;
        layout.depth = c.depth;
        layout.bounds = c.bounds;
        layout.negativeRowBytes = c.negativeRowBytes;
        HostImage src(layout), dst(layout);
        fillRandom(src, rng);
        dst.fill(kSentinel);
        instance->connect("Source", &src);
        instance->connect("Output", &dst);
        instance->setValue("splitCount", {double(c.count)});
        instance->setValue("splitAngle", {c.angle});
        setSections(c.visible);
        quirks().reportedCpus = c.threads;
        const unsigned threadCalls = Faults::instance().count("multiThreadNumCPUs");
        ASSERT_EQ(instance->render(0.0, c.window), kOfxStatOK);
        const bool onDevice =
            openCLPath() && c.depth == Depth::Byte && !c.negativeRowBytes && c.count >= 1 && c.count <= 10;
        EXPECT_EQ(Faults::instance().count("multiThreadNumCPUs") - threadCalls, onDevice ? 0u : 1u)
            << (onDevice ? "claimed the device but drew on the CPU" : "expected one render on the CPU");
        expectReference(c, src, dst);
    }

    static void expectReference(const Config &c, const HostImage &src, const HostImage &dst)
    {
        const int pb = dst.pixelBytes();
        const int w = src.width(), h = src.height();
        for (int y = dst.bounds().y1; y < dst.bounds().y2; ++y) {
            for (int x = dst.bounds().x1; x < dst.bounds().x2; ++x) {
                const unsigned char *out = dst.pixel(x, y);
                const bool inWindow = x >= c.window.x1 && x < c.window.x2 && y >= c.window.y1 && y < c.window.y2;
                bool show = false;
                if (inWindow) {
                    show = true;
                    const int count = std::min(c.count, 10);
                    if (count >= 1) {
                        int s = referenceSection(w, h, c.angle, c.count, x - src.bounds().x1, y - src.bounds().y1);
                        show = (c.visible >> s) & 1u;
                    }
                }
                for (int i = 0; i < pb; ++i) {
                    const unsigned char expected = !inWindow ? kSentinel : show ? src.pixel(x, y)[i] : 0;
                    ASSERT_EQ(out[i], expected) << "pixel " << x << "," << y << " byte " << i;
                }
            }
        }
    }
};

Config randomConfig(std::mt19937 &rng, Depth depth)
{
    Config c;
    c.depth = depth;
    const int w = 1 + static_cast<int>(rng() % 37), h = 1 + static_cast<int>(rng() % 29);
    const int x0 = static_cast<int>(rng() % 41) - 20, y0 = static_cast<int>(rng() % 41) - 20;
    c.bounds = {x0, y0, x0 + w, y0 + h};
    c.negativeRowBytes = rng() % 2;
    if (rng() % 2) {
        c.window = c.bounds;
    } else {
        int wx1 = x0 + static_cast<int>(rng() % w), wy1 = y0 + static_cast<int>(rng() % h);
        c.window = {wx1, wy1, wx1 + 1 + static_cast<int>(rng() % (x0 + w - wx1)),
                    wy1 + 1 + static_cast<int>(rng() % (y0 + h - wy1))};
    }
    c.angle = rng() % 4 ? static_cast<double>(rng() % 360) : (rng() % 35900) / 100.0;
    c.count = 1 + static_cast<int>(rng() % 10);
    c.visible = rng() & 0x3FF;
    const unsigned threads[] = {1, 2, 3, 8};
    c.threads = threads[rng() % 4];
    return c;
}

}  // namespace

TEST_F(ZelvoRender, RandomConfigurationsMatchTheRuleAtEveryDepth)
{
    const unsigned seed = 1207u;
    std::mt19937 rng(seed);
    SCOPED_TRACE("seed " + std::to_string(seed));
    for (Depth depth : {Depth::Byte, Depth::Short, Depth::Float})
        for (int trial = 0; trial < 40; ++trial)
            renderAndCompare(randomConfig(rng, depth), rng);
}

// Frames up to 2000 pixels a side, where the band edges fall between the
// rows split over threads and between the device's work groups, at angles a
// few float steps either side of the axes and diagonals, where a rule
// evaluated in another order or precision would put edge pixels in the
// neighbouring band. Every count, negative bounds and both row orders.
TEST_F(ZelvoRender, LargeFramesAtAnglesBesideTheAxesAndDiagonals)
{
    const unsigned seed = 20261208u;
    std::mt19937 rng(seed);
    SCOPED_TRACE("seed " + std::to_string(seed));
    for (int trial = 0; trial < 24; ++trial) {
        Config c;
        c.depth = trial % 6 == 5 ? Depth::Float : trial % 6 == 4 ? Depth::Short : Depth::Byte;
        const int limit = c.depth == Depth::Byte ? 2000 : 600;
        const int w = trial < 2 ? limit : 1 + static_cast<int>(rng() % limit);
        const int h = trial < 2 ? limit - trial * 7 : 1 + static_cast<int>(rng() % limit);
        const int x0 = static_cast<int>(rng() % 4001) - 3000, y0 = static_cast<int>(rng() % 4001) - 3000;
        c.bounds = c.window = {x0, y0, x0 + w, y0 + h};
        c.negativeRowBytes = rng() % 2;
        float angle = static_cast<float>(45 * (trial % 8));
        for (int steps = static_cast<int>(rng() % 9) - 4; steps != 0; steps += steps > 0 ? -1 : 1)
            angle = std::nextafter(angle, steps > 0 ? 1e9f : -1e9f);
        c.angle = angle;
        c.count = 1 + trial % 10;
        c.visible = rng() & 0x3FF;
        c.threads = 1 + rng() % 3;
        renderAndCompare(c, rng);
    }
}

TEST_F(ZelvoRender, ExtremeSizesAndAllThreadCounts)
{
    std::mt19937 rng(7);
    for (unsigned threads : {1u, 2u, 3u, 8u}) {
        Config one;
        one.bounds = one.window = {0, 0, 1, 1};
        one.threads = threads;
        one.visible = 0x3FE;
        renderAndCompare(one, rng);
        Config wide;
        wide.depth = Depth::Float;
        wide.bounds = wide.window = {-301, 5, 300, 7};
        wide.angle = 33;
        wide.count = 7;
        wide.visible = 0x155;
        wide.threads = threads;
        renderAndCompare(wide, rng);
    }
}

TEST_F(ZelvoRender, AllVisibleCopiesAndHiddenHalfIsBlack)
{
    std::mt19937 rng(3);
    Config c;
    c.bounds = c.window = {0, 0, 100, 50};
    c.count = 2;
    c.visible = 0x3FE;  // only section 0 hidden
    renderAndCompare(c, rng);
    c.visible = 0x3FF;
    for (Depth d : {Depth::Byte, Depth::Short, Depth::Float}) {
        c.depth = d;
        renderAndCompare(c, rng);
    }
    c.count = 3;
    c.visible = 0x007;  // flags at and above the count do not matter
    renderAndCompare(c, rng);
}

TEST_F(ZelvoRender, CountsOutsideTheRangeAndNonFiniteAngles)
{
    std::mt19937 rng(11);
    Config c;
    c.bounds = c.window = {-3, -2, 29, 17};
    c.visible = 0x2AA;
    for (int count : {0, -4, std::numeric_limits<int>::min(), 11, 1000}) {
        c.count = count;
        renderAndCompare(c, rng);
    }
    c.count = 5;
    for (double angle : {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity(),
                         -std::numeric_limits<double>::infinity(), 1e308, -720.5}) {
        c.angle = angle;
        renderAndCompare(c, rng);
    }
}

TEST_F(ZelvoRender, FloatNaNAndNegativesAreCopiedBitForBit)
{
    ImageLayout layout;
    layout.depth = Depth::Float;
    layout.bounds = {0, 0, 4, 1};
    HostImage src(layout), dst(layout);
    const float values[16] = {std::numeric_limits<float>::quiet_NaN(), -1.5f, -0.0f, 2.0f,
                              std::numeric_limits<float>::infinity(), -3.0f, 1e-40f, 0.5f,
                              -2.0f, -0.0f, std::numeric_limits<float>::quiet_NaN(), 1.0f,
                              4.0f, 5.0f, 6.0f, 7.0f};
    std::memcpy(src.pixel(0, 0), values, sizeof values);
    instance->connect("Source", &src);
    instance->connect("Output", &dst);
    instance->setValue("splitCount", {2});
    setSections(0x1);  // left half visible, right half hidden
    dst.fill(0xFF);
    ASSERT_EQ(instance->render(0, {0, 0, 4, 1}), kOfxStatOK);
    EXPECT_EQ(std::memcmp(dst.pixel(0, 0), values, 32), 0);
    const float *hidden = reinterpret_cast<const float *>(dst.pixel(2, 0));
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(hidden[i], 0.0f);
        EXPECT_FALSE(std::signbit(hidden[i]));
    }
}

TEST_F(ZelvoRender, NoSourceGivesATransparentWindow)
{
    ImageLayout layout;
    layout.depth = Depth::Short;
    layout.bounds = {0, 0, 6, 5};
    HostImage dst(layout);
    dst.fill(kSentinel);
    instance->connect("Output", &dst);
    ASSERT_EQ(instance->render(0, {1, 1, 5, 4}), kOfxStatOK);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 6; ++x) {
            bool inside = x >= 1 && x < 5 && y >= 1 && y < 4;
            for (int i = 0; i < 8; ++i)
                ASSERT_EQ(dst.pixel(x, y)[i], inside ? 0 : kSentinel);
        }
    EXPECT_EQ(Host::instance().imagesOut.load(), 0u);
}

TEST_F(ZelvoRender, StatusesOfUnrenderableOutputs)
{
    ImageLayout layout;
    layout.bounds = {0, 0, 4, 4};
    HostImage src(layout);
    layout.components = Components::Alpha;
    HostImage alpha(layout);
    alpha.fill(kSentinel);
    instance->connect("Source", &src);
    instance->connect("Output", &alpha);
    EXPECT_EQ(instance->render(0, {0, 0, 4, 4}), kOfxStatOK);
    EXPECT_EQ(alpha.pixel(0, 0)[0], kSentinel);

    layout.components = Components::RGBA;
    layout.depth = Depth::Short;
    HostImage shorts(layout);
    instance->connect("Output", &shorts);
    testing::internal::CaptureStdout();
    EXPECT_EQ(instance->render(0, {0, 0, 4, 4}), kOfxStatErrFormat);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Threw suite exception!\nCaught OFX::Exception::Suite\n");

    instance->object().findClip("Output")->props.defineString("OfxImageEffectPropPixelDepth", {"OfxBitDepthHalf"});
    testing::internal::CaptureStdout();
    EXPECT_EQ(instance->render(0, {0, 0, 4, 4}), kOfxStatErrUnsupported);
    testing::internal::GetCapturedStdout();

    instance->connect("Output", nullptr);
    instance->object().findClip("Output")->props.defineString("OfxImageEffectPropPixelDepth", {"OfxBitDepthByte"});
    instance->object().findClip("Output")->props.defineString("OfxImageEffectPropComponents",
                                                              {"OfxImageComponentRGBA"});
    testing::internal::CaptureStdout();
    EXPECT_EQ(instance->render(0, {0, 0, 4, 4}), kOfxStatFailed);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(Host::instance().imagesOut.load(), 0u);
}

TEST_F(ZelvoRender, AnOutputImageUnlikeItsClipIsRefused)
{
    ImageLayout small;
    small.bounds = {0, 0, 4, 4};
    HostImage dst(small);
    instance->connect("Output", &dst);
    // The clip claims float pixels while the image holds bytes.
    instance->object().findClip("Output")->props.defineString("OfxImageEffectPropPixelDepth", {"OfxBitDepthFloat"});
    testing::internal::CaptureStdout();
    EXPECT_EQ(instance->render(0, {0, 0, 4, 4}), kOfxStatErrFormat);
    testing::internal::GetCapturedStdout();
}

// The CPU path asks the host whether to abort every 32 rows and leaves
// those rows; the OpenCL path draws the frame in one launch and asks nothing.
TEST_F(ZelvoRender, AbortLeavesRowsAtMultiplesOf32UnwrittenOnTheCpuPath)
{
    quirks().abortAnswer = true;
    for (Depth depth : {Depth::Byte, Depth::Short}) {
        ImageLayout layout;
        layout.depth = depth;
        layout.bounds = {0, -40, 3, 70};
        HostImage src(layout), dst(layout);
        src.fill(9);
        dst.fill(kSentinel);
        instance->connect("Source", &src);
        instance->connect("Output", &dst);
        ASSERT_EQ(instance->render(0, layout.bounds), kOfxStatOK);
        const bool cpu = depth != Depth::Byte || !openCLPath();
        for (int y = -40; y < 70; ++y)
            EXPECT_EQ(dst.pixel(1, y)[0], (cpu && y % 32 == 0) ? kSentinel : 9) << y << " depth " << int(depth);
    }
}

// 8-bit RGBA with a source of the same layout goes to the device when it
// sets up; other depths, and images the device cannot take (rows stored top
// down), go to the CPU over the host's threads.
TEST_F(ZelvoRender, EightBitFramesGoToTheDeviceWhenItSetsUp)
{
    std::mt19937 rng(21);
    struct Case {
        Depth depth;
        bool negativeRowBytes;
        bool device;
    } cases[] = {{Depth::Byte, false, true}, {Depth::Byte, true, false}, {Depth::Short, false, false},
                 {Depth::Float, false, false}};
    for (const Case &k : cases) {
        Config c;
        c.depth = k.depth;
        c.negativeRowBytes = k.negativeRowBytes;
        c.bounds = c.window = {-5, 2, 45, 33};
        c.angle = 30;
        c.count = 4;
        c.visible = 0x5;
        Faults::instance().reset();
        renderAndCompare(c, rng);
        const bool onDevice = k.device && openCLPath();
        EXPECT_EQ(Faults::instance().count("multiThread"), onDevice ? 0 : 1) << c.describe();
    }
}

TEST_F(ZelvoRender, WindowsReachingOutsideTheImagesStayInside)
{
    // Images sit between guard pages: a stray read or write would crash.
    std::mt19937 rng(5);
    ImageLayout srcLayout, dstLayout;
    srcLayout.bounds = {2, 3, 20, 15};
    dstLayout.bounds = {0, 0, 24, 18};
    for (bool startGuard : {false, true}) {
        srcLayout.guardAtStart = dstLayout.guardAtStart = startGuard;
        HostImage src(srcLayout), dst(dstLayout);
        fillRandom(src, rng);
        dst.fill(kSentinel);
        instance->connect("Source", &src);
        instance->connect("Output", &dst);
        instance->setValue("splitCount", {4});
        instance->setValue("splitAngle", {45});
        setSections(0x5);
        ASSERT_EQ(instance->render(0, {-50, -60, 100, 90}), kOfxStatOK);
        for (int y = 0; y < 18; ++y)
            for (int x = 0; x < 24; ++x) {
                const bool inSource = x >= 2 && x < 20 && y >= 3 && y < 15;
                bool show = false;
                if (inSource)
                    show = (0x5 >> referenceSection(18, 12, 45, 4, x - 2, y - 3)) & 1;
                for (int i = 0; i < 4; ++i)
                    ASSERT_EQ(dst.pixel(x, y)[i], show ? src.pixel(x, y)[i] : 0) << x << "," << y;
            }
        // Inverted and empty windows write nothing.
        dst.fill(kSentinel);
        ASSERT_EQ(instance->render(0, {10, 10, 5, 12}), kOfxStatOK);
        ASSERT_EQ(instance->render(0, {3, 9, 12, 2}), kOfxStatOK);
        ASSERT_EQ(instance->render(0, {30, 30, 40, 40}), kOfxStatOK);
        for (int y = 0; y < 18; ++y)
            for (int x = 0; x < 24; ++x)
                ASSERT_EQ(dst.pixel(x, y)[0], kSentinel);
    }
}

TEST_F(ZelvoRender, HostsWithOddThreading)
{
    std::mt19937 rng(9);
    Config c;
    c.bounds = c.window = {0, 0, 30, 21};
    c.angle = 100;
    c.count = 6;
    c.visible = 0x2B;
    c.threads = 0;  // a host that reports no CPUs
    renderAndCompare(c, rng);
    quirks().maxThreadsRun = 1;  // runs the function once, on the calling thread
    c.threads = 8;
    renderAndCompare(c, rng);
    quirks().maxThreadsRun = 3;
    renderAndCompare(c, rng);
    ofxhost::Faults::instance().failCall("multiThreadNumCPUs", kOfxStatFailed);
    renderAndCompare(c, rng);
}

// On the CPU path; the OpenCL path uses no host threads and so renders.
TEST_F(ZelvoRender, AThreadSuiteFailureIsTheRenderStatus)
{
    for (Depth depth : {Depth::Byte, Depth::Float}) {
        ImageLayout layout;
        layout.depth = depth;
        layout.bounds = {0, 0, 4, 4};
        HostImage src(layout), dst(layout);
        instance->connect("Source", &src);
        instance->connect("Output", &dst);
        quirks().reportedCpus = 2;
        ofxhost::Faults::instance().failCall("multiThread", kOfxStatErrFatal);
        testing::internal::CaptureStdout();
        const bool cpu = depth != Depth::Byte || !openCLPath();
        EXPECT_EQ(instance->render(0, {0, 0, 4, 4}), cpu ? kOfxStatErrFatal : kOfxStatOK) << int(depth);
        testing::internal::GetCapturedStdout();
        EXPECT_EQ(Host::instance().imagesOut.load(), 0u);
    }
}

TEST_F(ZelvoRender, ParametersAreReadAtTheRenderTime)
{
    std::mt19937 rng(13);
    ImageLayout layout;
    layout.bounds = {0, 0, 40, 10};
    HostImage src(layout), dst(layout);
    fillRandom(src, rng);
    instance->connect("Source", &src);
    instance->connect("Output", &dst);
    instance->setValue("splitCount", {4});
    instance->setKey("splitAngle", 0.0, {0.0});
    instance->setKey("splitAngle", 10.0, {180.0});
    instance->setKey("section1", 0.0, {0});
    instance->setKey("section1", 5.0, {1});
    ASSERT_EQ(instance->render(2.0, layout.bounds), kOfxStatOK);  // angle 36, section 1 hidden
    Config c;
    c.bounds = c.window = layout.bounds;
    c.count = 4;
    c.angle = 36.0;
    c.visible = 0x3FE;
    expectReference(c, src, dst);
    ASSERT_EQ(instance->render(10.0, layout.bounds), kOfxStatOK);  // angle 180, all visible
    c.angle = 180.0;
    c.visible = 0x3FF;
    expectReference(c, src, dst);
}
