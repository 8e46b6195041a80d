// Renders whatever a host could hand over: bounds, row bytes, depths and
// components, render windows, parameter values, thread counts, abort and
// failing properties. Images sit between guard pages; a stray access, a
// sanitizer report or an image not given back is a finding.

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdlib>

#include "fuzz_session.h"
#include "render/host_image.h"

using namespace ofxhost;

namespace {

Depth pickDepth(FuzzedDataProvider &in)
{
    const Depth depths[] = {Depth::Byte, Depth::Short, Depth::Float};
    return depths[in.ConsumeIntegralInRange(0, 2)];
}

ImageLayout pickLayout(FuzzedDataProvider &in, Depth depth)
{
    ImageLayout l;
    l.depth = depth;
    l.components = in.ConsumeIntegralInRange(0, 7) == 0 ? Components::Alpha : Components::RGBA;
    const int x = in.ConsumeIntegralInRange(-60, 60), y = in.ConsumeIntegralInRange(-60, 60);
    l.bounds = {x, y, x + in.ConsumeIntegralInRange(0, 40), y + in.ConsumeIntegralInRange(0, 40)};
    l.negativeRowBytes = in.ConsumeBool();
    l.rowPadding = in.ConsumeIntegralInRange(0, 3) * 4;
    l.guardAtStart = in.ConsumeBool();
    return l;
}

int pickCoordinate(FuzzedDataProvider &in)
{
    return in.ConsumeIntegralInRange(0, 15) == 0 ? in.ConsumeIntegral<int>() : in.ConsumeIntegralInRange(-80, 80);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static FuzzSession session;
    FuzzedDataProvider in(data, size);
    resetHost();
    Quirks &q = Host::instance().quirks();
    q.reportedCpus = in.ConsumeIntegralInRange(0u, 9u);
    if (in.ConsumeBool())
        q.maxThreadsRun = in.ConsumeIntegralInRange(1u, 4u);
    q.abortAnswer = in.ConsumeIntegralInRange(0, 7) == 0;

    auto instance = session.plugin->createInstance("OfxImageEffectContextFilter");
    if (!instance)
        return 0;
    const Depth depth = pickDepth(in);
    const ImageLayout dstLayout = pickLayout(in, depth);
    const ImageLayout srcLayout = in.ConsumeBool() ? dstLayout : pickLayout(in, in.ConsumeBool() ? depth : pickDepth(in));
    HostImage dst(dstLayout), src(srcLayout);
    src.fill(static_cast<unsigned char>(in.ConsumeIntegral<uint8_t>()));
    instance->connect("Output", &dst);
    if (in.ConsumeIntegralInRange(0, 5) != 0)
        instance->connect("Source", &src);

    instance->setValue("splitCount", {static_cast<double>(in.ConsumeIntegral<int>() % (in.ConsumeBool() ? 12 : 1 << 30))});
    double angle = in.ConsumeFloatingPoint<double>();
    instance->setValue("splitAngle", {angle});
    for (int i = 1; i <= 10; ++i)
        instance->setValue("section" + std::to_string(i), {in.ConsumeBool() ? 1.0 : 0.0});

    static const char *const faultable[] = {"OfxImagePropRowBytes", "OfxImagePropBounds", "OfxImagePropData",
                                            "OfxImageEffectPropPixelDepth", "OfxImageEffectPropComponents",
                                            "OfxImageEffectPropRenderWindow", "OfxPropTime",
                                            "OfxImagePropUniqueIdentifier", "OfxImageEffectPropPreMultiplication"};
    static const OfxStatus statuses[] = {kOfxStatFailed, kOfxStatErrUnknown, kOfxStatErrMemory, kOfxStatErrValue,
                                         kOfxStatErrBadIndex, kOfxStatErrBadHandle, kOfxStatReplyDefault};
    if (in.ConsumeIntegralInRange(0, 3) == 0)
        Faults::instance().addPropertyFault(
            {"*", faultable[in.ConsumeIntegralInRange<size_t>(0, 8)], statuses[in.ConsumeIntegralInRange<size_t>(0, 6)]});
    if (in.ConsumeIntegralInRange(0, 7) == 0)
        Faults::instance().failCall(in.ConsumeBool() ? "multiThread" : "clipGetImage",
                                    statuses[in.ConsumeIntegralInRange<size_t>(0, 6)]);

    OfxRectI window{pickCoordinate(in), pickCoordinate(in), pickCoordinate(in), pickCoordinate(in)};
    if (in.ConsumeBool())
        window = dstLayout.bounds;
    instance->render(in.ConsumeFloatingPoint<double>(), window);
    resetHost();
    instance->destroy();
    if (Host::instance().imagesOut.load() != 0)
        std::abort();  // an image was not given back to the host
    return 0;
}
