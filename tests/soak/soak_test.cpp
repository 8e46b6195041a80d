// Ten thousand load/describe/create/render/destroy/unload cycles in one
// process: resident memory must settle, not keep growing.

#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "load/plugin_binary.h"
#include "load/plugin_driver.h"
#include "render/host_image.h"
#include "suites/host.h"

using namespace ofxhost;

namespace {

long residentKiB()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stol(line.substr(6));
    return -1;
}

}  // namespace

TEST(Soak, MemorySettlesOverManyCycles)
{
#ifdef ZELVO_SANITIZED_BUILD
    // The sanitizer's quarantine grows resident memory by design; there the
    // leak checker judges, on fewer cycles.
    const int cycles = 1000;
#else
    const int cycles = 10000;
#endif
    Host::instance().reset();
    Host::instance().quirks().reportedCpus = 2;
    PluginBinary binary(ZELVO_PLUGIN_PATH);
    ImageLayout layout;
    layout.bounds = {0, 0, 64, 48};
    std::vector<long> samples;
    for (int cycle = 0; cycle < cycles; ++cycle) {
        layout.depth = cycle % 2 ? Depth::Short : Depth::Byte;
        HostImage src(layout), dst(layout);
        src.fill(static_cast<unsigned char>(cycle));
        {
            Plugin plugin(binary.plugin(0));
            ASSERT_EQ(plugin.load(), kOfxStatOK);
            ASSERT_EQ(plugin.describe(), kOfxStatOK);
            ASSERT_EQ(plugin.describeInContext("OfxImageEffectContextFilter"), kOfxStatOK);
            auto instance = plugin.createInstance("OfxImageEffectContextFilter");
            ASSERT_TRUE(instance);
            instance->connect("Source", &src);
            instance->connect("Output", &dst);
            instance->setValue("splitCount", {double(1 + cycle % 10)});
            instance->setValue("splitAngle", {double(cycle % 360)});
            instance->setValue("section2", {0});
            ASSERT_EQ(instance->render(cycle, layout.bounds), kOfxStatOK);
            ASSERT_EQ(instance->destroy(), kOfxStatOK);
            ASSERT_EQ(plugin.unload(), kOfxStatOK);
        }
        ASSERT_EQ(Host::instance().imagesOut.load(), 0u);
        if ((cycle + 1) % (cycles / 10) == 0)
            samples.push_back(residentKiB());
    }
#ifndef ZELVO_SANITIZED_BUILD
    // After the first fifth (allocator and driver warm-up) growth stays small.
    const long settled = samples[1], last = samples.back();
    std::string trace;
    for (long s : samples)
        trace += std::to_string(s) + " ";
    EXPECT_LT(last - settled, 512) << "resident KiB every " << cycles / 10 << " cycles: " << trace;
#endif
}
