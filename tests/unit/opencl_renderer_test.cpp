// The OpenCL renderer on PoCL's CPU device (the tests' seam; production asks
// for GPU devices), compared byte for byte with the CPU processors.

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "bound_host.h"
#include "device/opencl_renderer.h"
#include "effect/zelvo_processor.h"
#include "instance/image_effect.h"
#include "null_effect.h"
#include "ofx/ofx_names.h"
#include "render/host_image.h"
#include "suites/host_objects.h"

using namespace ofxhost;

namespace {

// Image properties over a host buffer, for the CPU processor.
std::unique_ptr<PropertyStore> imageProps(const HostImage &image)
{
    auto p = std::make_unique<PropertyStore>("image");
    const OfxRectI &b = image.bounds();
    p->definePointer(kOfxImagePropData, {image.data()});
    p->defineInt(kOfxImagePropRowBytes, {image.rowBytes()});
    p->defineDouble(kOfxImagePropPixelAspectRatio, {1.0});
    p->defineString(kOfxImageEffectPropComponents, {kOfxImageComponentRGBA});
    p->defineString(kOfxImageEffectPropPixelDepth, {kOfxBitDepthByte});
    p->defineString(kOfxImageEffectPropPreMultiplication, {kOfxImageOpaque});
    p->defineInt(kOfxImagePropRegionOfDefinition, {b.x1, b.y1, b.x2, b.y2});
    p->defineInt(kOfxImagePropBounds, {b.x1, b.y1, b.x2, b.y2});
    p->defineString(kOfxImagePropField, {kOfxImageFieldNone});
    p->defineString(kOfxImagePropUniqueIdentifier, {"x"});
    p->defineDouble(kOfxImageEffectPropRenderScale, {1.0, 1.0});
    return p;
}

class OpenCLRenderer : public BoundHost {
protected:
    void SetUp() override
    {
        BoundHost::SetUp();
        ASSERT_NE(Zelvo::OpenCLApi::system(), nullptr) << "the OpenCL loader is installed by install-deps";
        state.deviceType = CL_DEVICE_TYPE_CPU;
    }

    Zelvo::SplitKernelJob job(const HostImage &src, HostImage &dst, double angle, int count, unsigned visible)
    {
        Zelvo::SplitKernelJob j;
        j.srcPixels = src.data();
        j.dstPixels = dst.data();
        j.width = src.width();
        j.height = src.height();
        j.rowBytes = src.rowBytes();
        j.geometry = Zelvo::buildSectionGeometry(src.bounds(), angle, count);
        j.count = count;
        for (int i = 0; i < 10; ++i)
            j.visible[i] = (visible >> i) & 1u;
        j.readBack = {0, 0, src.width(), src.height()};
        return j;
    }

    // The CPU processor over the same images, as the effect's render fills it.
    void cpuRender(const HostImage &src, HostImage &dst, double angle, int count, unsigned visible)
    {
        EffectObject object(true, kOfxImageEffectContextFilter);
        NullEffect effect(reinterpret_cast<OfxImageEffectHandle>(&object));
        auto srcProps = imageProps(src), dstProps = imageProps(dst);
        OFX::Image srcImage(srcProps->handle()), dstImage(dstProps->handle());
        ZelvoProcessor8 p(effect);
        p.dstImage = &dstImage;
        p.dstRowBytes = dst.rowBytes();
        p.dstPixelBytes = 4;
        p.srcImg = &srcImage;
        p.srcRowBytes = src.rowBytes();
        p.srcPixelBytes = 4;
        p.srcPixels = src.data();
        p.srcBounds = src.bounds();
        p.renderWindow = src.bounds();
        p.splitCount = count;
        p.splitCountF = static_cast<float>(count);
        p.setGeometry(Zelvo::buildSectionGeometry(src.bounds(), angle, count));
        for (int i = 0; i < 10; ++i)
            p.sectionVisible[i] = (visible >> i) & 1u;
        p.run();
    }

    static bool sameBytes(const HostImage &a, const HostImage &b)
    {
        for (int y = a.bounds().y1; y < a.bounds().y2; ++y)
            if (std::memcmp(a.pixel(a.bounds().x1, y), b.pixel(b.bounds().x1, y), std::size_t(a.width()) * 4) != 0)
                return false;
        return true;
    }

    static void randomise(HostImage &image, std::mt19937 &rng)
    {
        for (int y = image.bounds().y1; y < image.bounds().y2; ++y) {
            unsigned char *p = image.pixel(image.bounds().x1, y);
            for (int i = 0; i < image.width() * 4; ++i)
                p[i] = static_cast<unsigned char>(rng());
        }
    }

    Zelvo::OpenCLState state;
};

}  // namespace

TEST_F(OpenCLRenderer, SameBytesAsTheCpuProcessors)
{
    const unsigned seed = 4242u;
    std::mt19937 rng(seed);
    SCOPED_TRACE("seed " + std::to_string(seed));
    struct Size {
        int w, h;
    };
    std::vector<Size> sizes = {{1921, 1081}, {1, 1}, {17, 3}, {16, 16}, {33, 47}};
    for (int i = 0; i < 20; ++i)
        sizes.push_back({1 + int(rng() % 90), 1 + int(rng() % 70)});
    for (const Size &s : sizes) {
        ImageLayout layout;
        layout.bounds = {-7, 3, -7 + s.w, 3 + s.h};
        HostImage src(layout), gpu(layout), cpu(layout);
        randomise(src, rng);
        const double angle = static_cast<double>(rng() % 360);
        const int count = 1 + int(rng() % 10);
        const unsigned visible = rng() & 0x3FF;
        SCOPED_TRACE(std::to_string(s.w) + "x" + std::to_string(s.h) + " angle " + std::to_string(angle) +
                     " count " + std::to_string(count) + " visible " + std::to_string(visible));
        ASSERT_TRUE(Zelvo::runSplitKernel(state, job(src, gpu, angle, count, visible)));
        cpuRender(src, cpu, angle, count, visible);
        ASSERT_TRUE(sameBytes(gpu, cpu));
    }
}

TEST_F(OpenCLRenderer, AllVisibleIsTheSourceAndTheSetUpIsKept)
{
    std::mt19937 rng(1);
    ImageLayout layout;
    layout.bounds = {0, 0, 50, 30};
    HostImage src(layout), dst(layout);
    randomise(src, rng);
    ASSERT_TRUE(Zelvo::runSplitKernel(state, job(src, dst, 77, 6, 0x3FF)));
    EXPECT_TRUE(sameBytes(src, dst));
    ASSERT_TRUE(state.initialised);
    cl_kernel kernel = state.clKernel;
    cl_context context = state.clContext;
    ASSERT_TRUE(Zelvo::runSplitKernel(state, job(src, dst, 10, 3, 0x2)));
    EXPECT_EQ(state.clKernel, kernel);
    EXPECT_EQ(state.clContext, context);
}

TEST_F(OpenCLRenderer, OnlyTheReadBackRegionIsWritten)
{
    std::mt19937 rng(2);
    ImageLayout layout;
    layout.bounds = {0, 0, 40, 20};
    HostImage src(layout), dst(layout), cpu(layout);
    randomise(src, rng);
    dst.fill(0xAB);
    auto j = job(src, dst, 200, 5, 0x15);
    j.readBack = {5, 3, 31, 12};
    ASSERT_TRUE(Zelvo::runSplitKernel(state, j));
    cpuRender(src, cpu, 200, 5, 0x15);
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 40; ++x) {
            const bool inside = x >= 5 && x < 31 && y >= 3 && y < 12;
            ASSERT_EQ(std::memcmp(dst.pixel(x, y), inside ? cpu.pixel(x, y) : (const unsigned char *)"\xAB\xAB\xAB\xAB", 4), 0)
                << x << "," << y;
        }
}

TEST_F(OpenCLRenderer, AFailedBuildReleasesEverythingAndIsRetried)
{
    ImageLayout layout;
    layout.bounds = {0, 0, 8, 8};
    HostImage src(layout), dst(layout);
    state.kernelSource = "__kernel void splitKernel( this does not compile";
    EXPECT_FALSE(Zelvo::runSplitKernel(state, job(src, dst, 0, 2, 0x3FF)));
    EXPECT_FALSE(state.initialised);
    EXPECT_EQ(state.clContext, nullptr);
    EXPECT_EQ(state.clQueue, nullptr);
    EXPECT_EQ(state.clProgram, nullptr);
    EXPECT_EQ(state.clKernel, nullptr);
    state.kernelSource = nullptr;
    EXPECT_TRUE(Zelvo::runSplitKernel(state, job(src, dst, 0, 2, 0x3FF)));
    EXPECT_TRUE(state.initialised);
}

TEST_F(OpenCLRenderer, ImagesThatCannotBeDescribedAreDeclined)
{
    ImageLayout layout;
    layout.bounds = {0, 0, 8, 8};
    HostImage src(layout), dst(layout);
    dst.fill(0xAB);
    for (int count : {0, -1, 11}) {
        EXPECT_FALSE(Zelvo::runSplitKernel(state, job(src, dst, 0, count, 0x3FF))) << count;
    }
    auto shortPitch = job(src, dst, 0, 2, 0x3FF);
    shortPitch.rowBytes = 16;
    EXPECT_FALSE(Zelvo::runSplitKernel(state, shortPitch));
    layout.negativeRowBytes = true;
    HostImage down(layout), downDst(layout);
    EXPECT_FALSE(Zelvo::runSplitKernel(state, job(down, downDst, 0, 2, 0x3FF)));
    auto outside = job(src, dst, 0, 2, 0x3FF);
    outside.readBack = {0, 0, 9, 8};
    EXPECT_FALSE(Zelvo::runSplitKernel(state, outside));
    EXPECT_EQ(dst.pixel(0, 0)[0], 0xAB);
}

TEST_F(OpenCLRenderer, NoGpuMeansNoSetUpAndAnotherTryNextTime)
{
    ImageLayout layout;
    layout.bounds = {0, 0, 8, 8};
    HostImage src(layout), dst(layout);
    state.deviceType = CL_DEVICE_TYPE_GPU;  // this machine has none
    EXPECT_FALSE(Zelvo::runSplitKernel(state, job(src, dst, 0, 2, 0x3FF)));
    EXPECT_FALSE(state.initialised);
    EXPECT_FALSE(Zelvo::runSplitKernel(state, job(src, dst, 0, 2, 0x3FF)));
    EXPECT_EQ(state.clContext, nullptr);
}

TEST_F(OpenCLRenderer, NoLoaderLibraryIsLikeNoPlatform)
{
    auto missing = Zelvo::OpenCLApi::load("libNoSuchOpenCLLoader.so.1");
    EXPECT_EQ(missing, nullptr);
    ImageLayout layout;
    layout.bounds = {0, 0, 8, 8};
    HostImage src(layout), dst(layout);
    state.api = missing.get();
    EXPECT_FALSE(Zelvo::runSplitKernel(state, job(src, dst, 0, 2, 0x3FF)));
}
