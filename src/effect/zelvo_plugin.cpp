#include "effect/zelvo_plugin.h"

#include <algorithm>
#include <memory>

#include "device/device_render.h"
#include "effect/section_geometry.h"
#include "effect/zelvo_names.h"
#include "effect/zelvo_processor.h"
#include "entry/action_replies.h"
#include "property/raise_status.h"

ZelvoPlugin::ZelvoPlugin(OfxImageEffectHandle handle) : ImageEffect(handle)
{
    dstClip = getClip(Zelvo::kOutputClip);
    srcClip = getClip(Zelvo::kSourceClip);
    splitCountParam = getIntParam(Zelvo::kSplitCountParam);
    splitAngleParam = getDoubleParam(Zelvo::kSplitAngleParam);
    for (int i = 0; i < 10; ++i)
        sectionParams[i] = getBooleanParam(Zelvo::kSectionParams[i]);
    openCL = Zelvo::makeOwnDevice();
}

ZelvoPlugin::~ZelvoPlugin() = default;

void ZelvoPlugin::readSectionFlags(double time, bool flags[]) const
{
    for (int i = 0; i < 10; ++i) {
        flags[i] = true;
        if (sectionParams[i])
            sectionParams[i]->valueAt(time, flags[i]);
    }
}

bool ZelvoPlugin::renderOpenCL(const OFX::RenderArguments &args)
{
    const double time = args.time;
    std::unique_ptr<OFX::Image> dst(dstClip->getImage(time));
    std::unique_ptr<OFX::Image> src(srcClip->getImage(time));
    if (!dst || !src || dst->pixelDepth() != OFX::eBitDepthUByte || dst->components() != OFX::ePixelComponentRGBA)
        return false;
    // The device reads the source and writes the destination as one frame of
    // one layout; anything else is left to the CPU path.
    const OfxRectI &b = src->bounds();
    const OfxRectI &d = dst->bounds();
    if (src->pixelDepth() != OFX::eBitDepthUByte || src->components() != OFX::ePixelComponentRGBA ||
        b.x1 != d.x1 || b.y1 != d.y1 || b.x2 != d.x2 || b.y2 != d.y2 || src->rowBytes() != dst->rowBytes())
        return false;

    int count = 2;
    double angle = 0.0;
    splitCountParam->valueAt(time, count);
    splitAngleParam->valueAt(time, angle);

    Zelvo::SplitKernelJob job;
    job.srcPixels = src->pixelData();
    job.dstPixels = dst->pixelData();
    job.width = b.x2 - b.x1;
    job.height = b.y2 - b.y1;
    job.rowBytes = src->rowBytes();
    job.geometry = Zelvo::buildSectionGeometry(b, angle, count);
    job.count = count;
    readSectionFlags(time, job.visible);
    // Only the render window is handed back, as on the CPU path.
    const OfxRectI &w = args.renderWindow;
    job.readBack.x1 = std::clamp(w.x1, b.x1, b.x2) - b.x1;
    job.readBack.y1 = std::clamp(w.y1, b.y1, b.y2) - b.y1;
    job.readBack.x2 = std::max(std::clamp(w.x2, b.x1, b.x2) - b.x1, job.readBack.x1);
    job.readBack.y2 = std::max(std::clamp(w.y2, b.y1, b.y2) - b.y1, job.readBack.y1);
    return Zelvo::renderOnOwnDevice(*openCL, job);
}

// The bands are laid across the bounds of the source image the host hands
// over. A tiled host that is left to its default hands only each window's
// own region, and the bands would start again in every tile; asking for the
// clip's whole region of definition makes every window see the same source
// bounds, so a tiled frame is the whole frame, byte for byte.
void ZelvoPlugin::getRegionsOfInterest(const OFX::RegionsOfInterestArguments &args,
                                       OFX::RegionOfInterestSetter &rois)
{
    rois.setRegionOfInterest(Zelvo::kSourceClip, srcClip->getRegionOfDefinition(args.time));
}

namespace {

// An image in an OpenCL image says so; any other is a buffer, its row
// bytes checked by the enqueue (negative rows are refused there).
Zelvo::DeviceImage deviceImage(const OFX::Image &image)
{
    using Kind = Zelvo::DeviceImage::Kind;
    const bool isImage = image.openCLImage() != nullptr;
    return {isImage ? image.openCLImage() : image.pixelData(), isImage ? Kind::Image : Kind::Buffer, image.bounds(),
            image.rowBytes(), processorPixelBytes(image)};
}

}  // namespace

void ZelvoPlugin::renderOnHostDevice(const OFX::RenderArguments &args)
{
    if (!Zelvo::hostDeviceUsable())
        OFX::raiseStatus(kOfxStatGPURenderFailed);
    const double time = args.time;
    std::unique_ptr<OFX::Image> dst(dstClip->getImage(time));
    if (!dst)
        OFX::raiseStatus(kOfxStatFailed);
    std::unique_ptr<OFX::Image> src(srcClip->getImage(time));
    // What the device path cannot draw is refused, never guessed: the host
    // renders it again on the CPU.
    const OFX::PixelDepthEnum depth = dst->pixelDepth();
    const bool known = depth == OFX::eBitDepthUByte || depth == OFX::eBitDepthUShort || depth == OFX::eBitDepthFloat;
    if (!known || dst->components() != OFX::ePixelComponentRGBA ||
        (src && (src->pixelDepth() != depth || src->components() != dst->components())))
        OFX::raiseStatus(kOfxStatGPURenderFailed);

    int count = 2;
    double angle = 0.0;
    splitCountParam->valueAt(time, count);
    splitAngleParam->valueAt(time, angle);
    Zelvo::DeviceFrame frame;
    frame.queue = args.openCLQueue;
    frame.output = deviceImage(*dst);
    if (src) {
        frame.source = deviceImage(*src);
        frame.geometry = Zelvo::buildSectionGeometry(src->bounds(), angle, count);
    }
    bool visible[Zelvo::kMaxSections];
    readSectionFlags(time, visible);
    frame.visible = 0;
    for (int i = 0; i < Zelvo::kMaxSections; ++i)
        frame.visible |= visible[i] ? 1u << i : 0u;
    // As on the CPU: below one section none is tested, above ten the ten count.
    for (int i = 0; i < std::min(count, Zelvo::kMaxSections); ++i)
        frame.allVisible = frame.allVisible && visible[i];
    const OfxRectI &b = dst->bounds();
    const OfxRectI &w = args.renderWindow;
    frame.window.x1 = std::max(w.x1, b.x1);
    frame.window.y1 = std::max(w.y1, b.y1);
    frame.window.x2 = std::max(std::min(w.x2, b.x2), frame.window.x1);
    frame.window.y2 = std::max(std::min(w.y2, b.y2), frame.window.y1);
    const OfxStatus status = Zelvo::enqueueOnHostDevice(frame);
    if (status != kOfxStatOK)
        OFX::raiseStatus(status);
}

void ZelvoPlugin::render(const OFX::RenderArguments &args)
{
    if (args.openCLEnabled) {
        renderOnHostDevice(args);
        return;
    }
    if (useOpenCL && renderOpenCL(args))
        return;
    const OFX::PixelDepthEnum depth = dstClip->getPixelDepth();
    const OFX::ComponentsEnum components = dstClip->getPixelComponents();
    if (components != OFX::ePixelComponentRGBA)
        return;
    std::unique_ptr<ZelvoProcessorBase> processor;
    switch (depth) {
    case OFX::eBitDepthUByte: processor = std::make_unique<ZelvoProcessor8>(*this); break;
    case OFX::eBitDepthUShort: processor = std::make_unique<ZelvoProcessor16>(*this); break;
    case OFX::eBitDepthFloat: processor = std::make_unique<ZelvoProcessorFloat>(*this); break;
    default: OFX::raiseStatus(kOfxStatErrUnsupported);
    }
    setupAndProcess(*processor, args);
}

void ZelvoPlugin::setupAndProcess(ZelvoProcessorBase &processor, const OFX::RenderArguments &args)
{
    const double time = args.time;
    std::unique_ptr<OFX::Image> dst(dstClip->getImage(time));
    if (!dst)
        OFX::raiseStatus(kOfxStatFailed);
    const OFX::PixelDepthEnum depth = dst->pixelDepth();
    const OFX::ComponentsEnum components = dst->components();
    // The processor was chosen by the clip; an image of another layout would
    // be written past its rows.
    if (depth != dstClip->getPixelDepth() || components != dstClip->getPixelComponents())
        OFX::raiseStatus(kOfxStatErrFormat);
    std::unique_ptr<OFX::Image> src(srcClip->getImage(time));
    if (src && (src->pixelDepth() != depth || src->components() != components))
        OFX::raiseStatus(kOfxStatErrFormat);

    int count = 2;
    double angle = 0.0;
    splitCountParam->valueAt(time, count);
    splitAngleParam->valueAt(time, angle);

    processor.dstImage = dst.get();
    processor.dstRowBytes = dst->rowBytes();
    processor.dstPixelBytes = processorPixelBytes(*dst);
    if (src) {
        processor.srcImg = src.get();
        processor.srcRowBytes = src->rowBytes();
        processor.srcPixelBytes = processorPixelBytes(*src);
        processor.srcPixels = src->pixelData();
        processor.srcBounds = src->bounds();
    }

    // Nothing is written outside the destination; an inverted window is empty.
    const OfxRectI &b = dst->bounds();
    OfxRectI window = args.renderWindow;
    window.x1 = std::max(window.x1, b.x1);
    window.y1 = std::max(window.y1, b.y1);
    window.x2 = std::max(std::min(window.x2, b.x2), window.x1);
    window.y2 = std::max(std::min(window.y2, b.y2), window.y1);
    processor.renderWindow = window;

    processor.splitCount = count;
    processor.splitCountF = static_cast<float>(count);
    if (src)
        processor.setGeometry(Zelvo::buildSectionGeometry(src->bounds(), angle, count));
    readSectionFlags(time, processor.sectionVisible);
    processor.run();
}
