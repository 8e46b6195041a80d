// Render speed of the built plug-in through our host, against memcpy of the
// same bytes: a 3840x2160 frame at each depth, on two host threads.

#include <benchmark/benchmark.h>

#include <cstring>
#include <memory>
#include <string>

#include "host.h"
#include "host_image.h"
#include "plugin_binary.h"
#include "plugin_driver.h"

using namespace ofxhost;

namespace {

constexpr int kWidth = 3840, kHeight = 2160;

struct Session {
    Session()
    {
        Host::instance().quirks().reportedCpus = 2;
        binary = std::make_unique<PluginBinary>(ZELVO_PLUGIN_PATH);
        plugin = std::make_unique<Plugin>(binary->plugin(0));
        plugin->load();
        plugin->describe();
        plugin->describeInContext("OfxImageEffectContextFilter");
        instance = plugin->createInstance("OfxImageEffectContextFilter");
    }
    std::unique_ptr<PluginBinary> binary;
    std::unique_ptr<Plugin> plugin;
    std::unique_ptr<Instance> instance;
};

Session &session()
{
    static Session s;
    return s;
}

Depth depthOf(int64_t arg)
{
    return arg == 0 ? Depth::Byte : arg == 1 ? Depth::Short : Depth::Float;
}

const char *depthName(int64_t arg)
{
    return arg == 0 ? "8-bit" : arg == 1 ? "16-bit" : "float";
}

void render(benchmark::State &state, bool split)
{
    Session &s = session();
    ImageLayout layout;
    layout.depth = depthOf(state.range(0));
    layout.bounds = {0, 0, kWidth, kHeight};
    HostImage src(layout), dst(layout);
    src.fill(0x5A);
    s.instance->connect("Source", &src);
    s.instance->connect("Output", &dst);
    s.instance->setValue("splitCount", {split ? 7.0 : 2.0});
    s.instance->setValue("splitAngle", {split ? 30.0 : 0.0});
    for (int i = 0; i < 10; ++i)
        s.instance->setValue("section" + std::to_string(i + 1), {split && i % 2 ? 0.0 : 1.0});
    for (auto _ : state) {
        if (s.instance->render(0.0, layout.bounds) != kOfxStatOK)
            state.SkipWithError("render failed");
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(src.byteSize()));
    state.SetLabel(depthName(state.range(0)));
}

void BM_RenderAllVisible(benchmark::State &state)
{
    render(state, false);
}

void BM_RenderSevenAt30Alternating(benchmark::State &state)
{
    render(state, true);
}

void BM_Memcpy(benchmark::State &state)
{
    ImageLayout layout;
    layout.depth = depthOf(state.range(0));
    layout.bounds = {0, 0, kWidth, kHeight};
    HostImage src(layout), dst(layout);
    src.fill(0x5A);
    for (auto _ : state) {
        std::memcpy(dst.data(), src.data(), src.byteSize());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(src.byteSize()));
    state.SetLabel(depthName(state.range(0)));
}

}  // namespace

BENCHMARK(BM_Memcpy)->DenseRange(0, 2)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_RenderAllVisible)->DenseRange(0, 2)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_RenderSevenAt30Alternating)->DenseRange(0, 2)->Unit(benchmark::kMillisecond)->UseRealTime();

BENCHMARK_MAIN();
