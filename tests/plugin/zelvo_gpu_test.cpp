// Zelvo on a GPU host: the images in OpenCL buffers or images on our device, the
// render on the host's queue, at every depth and in tiles, byte for byte the
// CPU's frame. Every test counts the renders that ran on the device, so none
// can pass on the CPU while it claims the device.

#include <random>

#include "ofx/ofx_names.h"
#include "render/frame_renderer.h"
#include "render/opencl_device.h"
#include "render/pixel_copy.h"
#include "zelvo_fixture.h"

using namespace ofxhost;

namespace {

const OfxRectI kFrame{-5, 3, 61, 40};

std::unique_ptr<HostImage> image(Depth depth, const OfxRectI &bounds, std::mt19937 *rng)
{
    ImageLayout layout;
    layout.depth = depth;
    layout.bounds = bounds;
    auto out = std::make_unique<HostImage>(layout);
    out->fill(0xAB);
    if (rng)
        for (int y = bounds.y1; y < bounds.y2; ++y)
            for (int i = 0; i < out->width() * out->pixelBytes(); ++i)
                out->pixel(bounds.x1, y)[i] = static_cast<unsigned char>((*rng)());
    return out;
}

// The first row of the frame where the two images differ; kFrame.y2 when none does.
int firstDifferentRow(const HostImage &a, const HostImage &b)
{
    const std::size_t rowBytes = static_cast<std::size_t>(b.width() * b.pixelBytes());
    for (int y = kFrame.y1; y < kFrame.y2; ++y)
        if (std::memcmp(a.pixel(kFrame.x1, y), b.pixel(kFrame.x1, y), rowBytes) != 0)
            return y;
    return kFrame.y2;
}

class ZelvoGpu : public ZelvoHost {
protected:
    void SetUp() override
    {
        ZelvoHost::SetUp();
        create();
        quirks().reportedCpus = 2;
    }

    std::unique_ptr<HostImage> render(const HostImage &source, const RenderHabits &habits)
    {
        auto output = image(source.layout().depth, source.bounds(), nullptr);
        instance->connect("Source", const_cast<HostImage *>(&source));
        instance->connect("Output", output.get());
        const FrameResult r = renderFrame(*instance, 0.0, {{"Source", &source}}, *output, habits);
        EXPECT_TRUE(r.ok()) << habits.describe() << " status " << r.status;
        return output;
    }
};

}  // namespace

using Memory = RenderHabits::DeviceMemory;

RenderHabits onDevice(Memory memory, RenderHabits habits = RenderHabits{})
{
    habits.openCL = true;
    habits.deviceMemory = memory;
    return habits;
}

// With the OpenCL path chosen the plug-in declares buffers and images and
// draws every depth on them; with it off it declares "false" for both and
// the GPU host renders on the CPU. Either way the frame is the CPU's, tiles
// included.
TEST_F(ZelvoGpu, HostBuffersAndImagesAtEveryDepthGiveTheCpuFrame)
{
    const bool declared = plugin->supportsOpenCLBuffers();
    EXPECT_EQ(declared, openCLPath());
    EXPECT_EQ(plugin->supportsOpenCLImages(), declared);
    OpenCLDevice *device = declared ? OpenCLDevice::get() : nullptr;
    if (declared && !device)
        GTEST_SKIP() << "no OpenCL device on this machine";
    const unsigned before = device ? device->deviceRenders.load() : 0;
    const unsigned imagesBefore = device ? device->imageRenders.load() : 0;
    std::mt19937 rng(20);
    std::vector<RenderHabits> habitsOnDevice;
    for (Memory memory : {Memory::Buffers, Memory::Images, Memory::IntegerImages}) {
        habitsOnDevice.push_back(onDevice(memory));
        habitsOnDevice.push_back(onDevice(memory, tiledHabits(16, 9)));
    }
    int renders = 0, imageRenders = 0;
    for (Depth depth : {Depth::Byte, Depth::Short, Depth::Float}) {
        auto source = image(depth, kFrame, &rng);
        for (const auto &bands : {std::make_pair(4, 30.0), std::make_pair(10, 90.0), std::make_pair(1, 0.0),
                                  std::make_pair(7, 359.999)}) {
            instance->setValue("splitCount", {double(bands.first)});
            instance->setValue("splitAngle", {bands.second});
            setSections(static_cast<unsigned>(rng()) & 0x3FF);
            auto cpu = render(*source, RenderHabits{});
            for (const RenderHabits &habits : habitsOnDevice) {
                auto drawn = render(*source, habits);
                ++renders;
                imageRenders += habits.deviceMemory != Memory::Buffers ? 1 : 0;
                ASSERT_EQ(firstDifferentRow(*drawn, *cpu), kFrame.y2) << habits.describe() << " depth " << depthText(depth);
            }
        }
    }
    if (declared) {
        EXPECT_GE(device->deviceRenders.load() - before, static_cast<unsigned>(renders)) << "renders left the device";
        EXPECT_GE(device->imageRenders.load() - imagesBefore, static_cast<unsigned>(imageRenders));
        EXPECT_EQ(device->cpuFallbacks.load(), 0u);
    }
}

// Only the render window is written on the device, and a frame without a
// source is transparent black there too.
TEST_F(ZelvoGpu, OnlyTheWindowIsWrittenAndNoSourceIsBlack)
{
    OpenCLDevice *device = OpenCLDevice::get();
    if (!plugin->supportsOpenCLBuffers() || !device)
        GTEST_SKIP() << "the OpenCL path is off or absent";
    std::mt19937 rng(4);
    auto source = image(Depth::Float, kFrame, &rng);
    auto cpu = render(*source, RenderHabits{});
    for (Memory memory : {Memory::Buffers, Memory::Images}) {
        const unsigned drawn = device->deviceRenders.load();
        // Whole-frame outputs for tile windows: writes outside the window show.
        auto gpu = render(*source, onDevice(memory, findHostProfile("oversized")->variants.front()));
        EXPECT_EQ(device->deviceRenders.load() - drawn, 15u);  // every 16x16 tile of 66x37 (5 x 3) on the device
        ASSERT_EQ(firstDifferentRow(*gpu, *cpu), kFrame.y2);
        auto output = image(Depth::Byte, kFrame, nullptr);
        instance->connect("Source", nullptr);
        instance->connect("Output", output.get());
        const unsigned before = device->deviceRenders.load();
        ASSERT_TRUE(renderFrame(*instance, 0.0, {}, *output, onDevice(memory)).ok());
        EXPECT_EQ(device->deviceRenders.load(), before + 1);
        EXPECT_TRUE(holdsOutside(*output, OfxRectI{0, 0, 0, 0}, 0x00));
    }
}

// A device without room for the images: the host renders on the CPU, as
// it does when the plug-in answers that its render on the device failed.
TEST_F(ZelvoGpu, AFullDeviceFallsBackToTheCpu)
{
    OpenCLDevice *device = OpenCLDevice::get();
    if (!plugin->supportsOpenCLBuffers() || !device)
        GTEST_SKIP() << "the OpenCL path is off or absent";
    std::mt19937 rng(8);
    auto source = image(Depth::Short, kFrame, &rng);
    auto cpu = render(*source, RenderHabits{});
    RenderHabits gpu;
    gpu.openCL = true;
    const unsigned fallbacks = device->cpuFallbacks.load();
    device->failNextAllocation = true;
    auto again = render(*source, gpu);
    EXPECT_EQ(device->cpuFallbacks.load(), fallbacks + 1);
    ASSERT_EQ(firstDifferentRow(*again, *cpu), kFrame.y2);
}

// A caller that keeps the frame's sources on the device (as zelvo render
// does for its strips) uploads the source once: every tile of this call and
// of the next call for the same frame draws from that copy, with the CPU's
// frame. Without it each window lends a source of its own.
TEST_F(ZelvoGpu, TheSourceGoesToTheDeviceOncePerFrame)
{
    OpenCLDevice *device = OpenCLDevice::get();
    if (!plugin->supportsOpenCLBuffers() || !device)
        GTEST_SKIP() << "the OpenCL path is off or absent";
    std::mt19937 rng(12);
    auto source = image(Depth::Byte, kFrame, &rng);
    auto cpu = render(*source, RenderHabits{});
    for (Memory memory : {Memory::Buffers, Memory::Images}) {
        RenderHabits kept = onDevice(memory, tiledHabits(16, 16));  // 15 tiles of 66x37
        kept.deviceSources = std::make_shared<DeviceSources>();
        const unsigned before = device->uploads.load(), drawn = device->deviceRenders.load();
        auto first = render(*source, kept);
        auto second = render(*source, kept);
        EXPECT_EQ(device->deviceRenders.load() - drawn, 30u);
        EXPECT_EQ(device->uploads.load() - before, 30u + 1u) << "a window's output each, the source once";
        EXPECT_EQ(firstDifferentRow(*first, *cpu), kFrame.y2);
        EXPECT_EQ(firstDifferentRow(*second, *cpu), kFrame.y2);
        kept.deviceSources.reset();
        const unsigned alone = device->uploads.load();
        render(*source, onDevice(memory, tiledHabits(16, 16)));
        EXPECT_EQ(device->uploads.load() - alone, 30u) << "a source and an output for each window";
    }
}
