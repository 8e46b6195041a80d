// The OpenCL path on PoCL's CPU device for the 8-bit 3840x2160 cases, to set
// beside the CPU processors' numbers in the same run.

#include <benchmark/benchmark.h>

#include "effect/opencl_renderer.h"
#include "host_image.h"

namespace {

void BM_OpenCLPoCL(benchmark::State &state)
{
    const bool split = state.range(0) != 0;
    ofxhost::ImageLayout layout;
    layout.bounds = {0, 0, 3840, 2160};
    ofxhost::HostImage src(layout), dst(layout);
    src.fill(0x5A);
    Zelvo::OpenCLState cl;
    cl.deviceType = CL_DEVICE_TYPE_CPU;
    Zelvo::SplitKernelJob job;
    job.srcPixels = src.data();
    job.dstPixels = dst.data();
    job.width = 3840;
    job.height = 2160;
    job.rowBytes = src.rowBytes();
    job.count = split ? 7 : 2;
    job.geometry = Zelvo::buildSectionGeometry(layout.bounds, split ? 30.0 : 0.0, job.count);
    for (int i = 0; i < 10; ++i)
        job.visible[i] = !(split && i % 2);
    job.readBack = layout.bounds;
    if (!Zelvo::runSplitKernel(cl, job)) {
        state.SkipWithError("no OpenCL CPU device");
        return;
    }
    for (auto _ : state)
        if (!Zelvo::runSplitKernel(cl, job))
            state.SkipWithError("render failed");
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(src.byteSize()));
    state.SetLabel(split ? "8-bit, 7 at 30 alternating" : "8-bit, all visible");
}

}  // namespace

BENCHMARK(BM_OpenCLPoCL)->DenseRange(0, 1)->Unit(benchmark::kMillisecond)->UseRealTime();
