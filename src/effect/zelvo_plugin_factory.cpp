#include "effect/zelvo_plugin_factory.h"

#include <cstdio>

#include "describe/image_effect_descriptor.h"
#include "device/device_render.h"
#include "effect/zelvo_names.h"
#include "effect/zelvo_plugin.h"

const char *const kZelvoPluginIdentifier = "com.zelvo.sectionsplit.ja";

namespace {

std::string format(const char *pattern, int d)
{
    char buffer[128];
    std::snprintf(buffer, sizeof buffer, pattern, d);
    return buffer;
}

}  // namespace

ZelvoPluginFactory::ZelvoPluginFactory() : PluginFactoryHelper(kZelvoPluginIdentifier, 2, 1) {}

void ZelvoPluginFactory::load()
{
    Zelvo::chooseDevice();
}

// Called once the last load is undone: the GPU hosts' programs go with it.
void ZelvoPluginFactory::unload()
{
    Zelvo::releaseDevicePrograms();
}

ZelvoPluginFactory &zelvoPluginFactory()
{
    static ZelvoPluginFactory factory;
    return factory;
}

void ZelvoPluginFactory::describe(OFX::ImageEffectDescriptor &d)
{
    d.setLabels("Zelvo", "Zelvo", "Zelvo");
    d.setPluginGrouping("Transform");
    d.setPluginDescription("画面を複数セクションに分割（最適化版）");
    d.addSupportedContext(OFX::eContextGeneral);
    d.addSupportedContext(OFX::eContextFilter);
    d.addSupportedBitDepth(OFX::eBitDepthUByte);
    d.addSupportedBitDepth(OFX::eBitDepthUShort);
    d.addSupportedBitDepth(OFX::eBitDepthFloat);
    d.setSingleInstance(false);
    d.setHostFrameThreading(false);
    d.setSupportsMultiResolution(true);
    d.setSupportsTiles(true);
    d.setTemporalClipAccess(false);
    d.setFieldRenderTwiceAlways(false);
    d.setSupportsMultipleClipPARs(true);
    d.setSupportsMultipleClipDepths(true);
    // Frames on a GPU host's OpenCL buffers or images, at every declared
    // depth; not when the user turned OpenCL off.
    const bool openCL = Zelvo::deviceRenderingAllowed();
    d.setOpenCLRenderSupported(openCL);
    d.setOpenCLImagesSupported(openCL);
}

void ZelvoPluginFactory::describeInContext(OFX::ImageEffectDescriptor &d, OFX::ContextEnum)
{
    OFX::ClipDescriptor *source = d.defineClip(Zelvo::kSourceClip);
    source->addSupportedComponent(OFX::ePixelComponentRGBA);
    source->addSupportedComponent(OFX::ePixelComponentAlpha);
    source->setTemporalClipAccess(false);
    source->setSupportsTiles(true);
    source->setIsMask(false);
    source->setOptional(false);

    OFX::ClipDescriptor *output = d.defineClip(Zelvo::kOutputClip);
    output->addSupportedComponent(OFX::ePixelComponentRGBA);
    output->addSupportedComponent(OFX::ePixelComponentAlpha);
    output->setSupportsTiles(true);

    OFX::PageParamDescriptor *page = d.definePageParam("Controls");

    OFX::IntParamDescriptor *count = d.defineIntParam(Zelvo::kSplitCountParam);
    count->setLabels("分割数", "分割数", "分割数");
    count->setHint("セクション数 (1-10)");
    count->setDefault(2);
    count->setRange(1, 10);
    count->setDisplayRange(1, 10);
    count->setAnimates(true);
    page->addChild(*count);

    OFX::DoubleParamDescriptor *angle = d.defineDoubleParam(Zelvo::kSplitAngleParam);
    angle->setLabels("分割角度", "分割角度", "分割角度");
    angle->setHint("分割線の角度 (0-359)");
    angle->setDefault(0.0);
    angle->setRange(0.0, 359.0);
    angle->setDisplayRange(0.0, 359.0);
    angle->setAnimates(true);
    page->addChild(*angle);

    for (int d_ = 1; d_ <= 10; ++d_) {
        OFX::BooleanParamDescriptor *section = d.defineBooleanParam(Zelvo::kSectionParams[d_ - 1]);
        const std::string label = format("セクション %d", d_);
        section->setLabels(label, label, label);
        section->setHint(format("セクション %d の表示/非表示", d_));
        section->setDefault(true);
        section->setAnimates(true);
        page->addChild(*section);
    }
}

OFX::ImageEffect *ZelvoPluginFactory::createInstance(OfxImageEffectHandle handle, OFX::ContextEnum)
{
    return new ZelvoPlugin(handle);
}
