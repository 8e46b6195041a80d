#include "describe/image_effect_descriptor.h"

#include "describe/append_enum.h"
#include "entry/host_binding.h"
#include "entry/host_suites.h"
#include "ofx/ofx_names.h"
#include "property/raise_status.h"

namespace OFX {

namespace {

const OfxImageEffectSuiteV1 &effects()
{
    return boundSuite(hostSuites().imageEffectSuite);
}

}  // namespace

ImageEffectDescriptor::ImageEffectDescriptor(OfxImageEffectHandle handle) : effectHandle_(handle)
{
    OfxPropertySetHandle props = nullptr;
    raiseStatus(effects().getPropertySet(handle, &props));
    effectProperties_.setHandle(props);
    OfxParamSetHandle params = nullptr;
    raiseStatus(effects().getParamSet(handle, &params));
    bindHandle(params);
}

ImageEffectDescriptor::~ImageEffectDescriptor()
{
    definedClips_.clear();
    delete hwndInteract_;
    delete overlayInteract_;
}

void ImageEffectDescriptor::setLabels(const std::string &label, const std::string &shortLabel,
                                      const std::string &longLabel)
{
    effectProperties_.setString(kOfxPropLabel, label, 0, true);
    effectProperties_.setString(kOfxPropShortLabel, shortLabel, 0, false);
    effectProperties_.setString(kOfxPropLongLabel, longLabel, 0, false);
}

void ImageEffectDescriptor::setOpenCLRenderSupported(bool value)
{
    effectProperties_.setString(kOfxImageEffectPropOpenCLRenderSupported, value ? "true" : "false", 0, false);
}

void ImageEffectDescriptor::setOpenCLImagesSupported(bool value)
{
    effectProperties_.setString(kOfxImageEffectPropOpenCLSupported, value ? "true" : "false", 0, false);
}

void ImageEffectDescriptor::setPluginGrouping(const std::string &grouping)
{
    effectProperties_.setString(kOfxImageEffectPluginPropGrouping, grouping, 0, true);
}

void ImageEffectDescriptor::setPluginDescription(const std::string &description)
{
    effectProperties_.setString(kOfxPropPluginDescription, description, 0, true);
}

void ImageEffectDescriptor::setFlag(const char *property, bool value)
{
    effectProperties_.setInt(property, value ? 1 : 0, 0, true);
}

void ImageEffectDescriptor::setSingleInstance(bool v) { setFlag(kOfxImageEffectPluginPropSingleInstance, v); }
void ImageEffectDescriptor::setHostFrameThreading(bool v) { setFlag(kOfxImageEffectPluginPropHostFrameThreading, v); }
void ImageEffectDescriptor::setSupportsMultiResolution(bool v) { setFlag(kOfxImageEffectPropSupportsMultiResolution, v); }
void ImageEffectDescriptor::setSupportsTiles(bool v) { setFlag(kOfxImageEffectPropSupportsTiles, v); }
void ImageEffectDescriptor::setTemporalClipAccess(bool v) { setFlag(kOfxImageEffectPropTemporalClipAccess, v); }
void ImageEffectDescriptor::setFieldRenderTwiceAlways(bool v) { setFlag(kOfxImageEffectPluginPropFieldRenderTwiceAlways, v); }
void ImageEffectDescriptor::setSupportsMultipleClipPARs(bool v) { setFlag(kOfxImageEffectPropSupportsMultipleClipPARs, v); }
void ImageEffectDescriptor::setSupportsMultipleClipDepths(bool v) { setFlag(kOfxImageEffectPropMultipleClipDepths, v); }

void ImageEffectDescriptor::addSupportedContext(ContextEnum context)
{
    appendText(effectProperties_, kOfxImageEffectPropSupportedContexts, contextToString(context));
}

void ImageEffectDescriptor::addSupportedBitDepth(PixelDepthEnum depth)
{
    appendText(effectProperties_, kOfxImageEffectPropSupportedPixelDepths, pixelDepthToString(depth));
}

ClipDescriptor *ImageEffectDescriptor::defineClip(const std::string &name)
{
    auto it = definedClips_.find(name);
    if (it != definedClips_.end())
        return it->second.get();
    OfxPropertySetHandle props = nullptr;
    // A refused definition fails the describe with the host's own status,
    // rather than later as a bad handle on the first property write.
    raiseStatus(effects().clipDefine(effectHandle_, name.c_str(), &props));
    auto clip = std::make_unique<ClipDescriptor>(name, props);
    ClipDescriptor *raw = clip.get();
    definedClips_[name] = std::move(clip);
    clipComponentsPropNames_[name] = kOfxImageClipPropComponentsPrefix + name;
    clipDepthPropNames_[name] = kOfxImageClipPropDepthPrefix + name;
    clipPARPropNames_[name] = kOfxImageClipPropPARPrefix + name;
    clipRoIPropNames_[name] = kOfxImageClipPropRoIPrefix + name;
    clipFrameRangePropNames_[name] = kOfxImageClipPropFrameRangePrefix + name;
    return raw;
}

void ImageEffectDescriptor::setOverlayInteractDescriptor(InteractDescriptor *descriptor)
{
    if (overlayInteract_ && overlayInteract_ != descriptor)
        delete overlayInteract_;
    overlayInteract_ = descriptor;
    if (!hostDescription().supportsOverlays || !descriptor)
        return;
    if (OfxPluginEntryPoint *entry = descriptor->getMainEntry())
        effectProperties_.setPointer(kOfxImageEffectPluginPropOverlayInteractV1, reinterpret_cast<void *>(entry), 0,
                                     true);
}

void ImageEffectDescriptor::setHWndInteractDescriptor(InteractDescriptor *descriptor)
{
    if (hwndInteract_ && hwndInteract_ != descriptor)
        delete hwndInteract_;
    hwndInteract_ = descriptor;
    if (!descriptor)
        return;
    if (OfxPluginEntryPoint *entry = descriptor->getMainEntry())
        effectProperties_.setPointer(kOfxImageEffectPluginPropHWndInteractV1, reinterpret_cast<void *>(entry), 0,
                                     true);
}

}  // namespace OFX
