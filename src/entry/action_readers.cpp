#include "entry/action_readers.h"

#include <stdexcept>

#include "entry/host_suites.h"
#include "ofx/ofx_names.h"
#include "property/raise_status.h"

namespace OFX {

ChangeReason changeReasonFromString(const std::string &text)
{
    if (text == kOfxChangeUserEdited)
        return eChangeUserEdit;
    if (text == kOfxChangePluginEdited)
        return eChangePluginEdit;
    if (text == kOfxChangeTime)
        return eChangeTime;
    throw std::invalid_argument(text);
}

RenderQuality renderQualityFromString(const std::string &text)
{
    if (text == kOfxImageEffectPropRenderQualityDraft)
        return eRenderQualityDraft;
    if (text == kOfxImageEffectPropRenderQualityPreview)
        return eRenderQualityPreview;
    if (text == kOfxImageEffectPropRenderQualityGood)
        return eRenderQualityGood;
    if (text == kOfxImageEffectPropRenderQualityBest)
        return eRenderQualityBest;
    return eRenderQualityUnset;
}

RenderArguments readRenderArguments(const PropertySet &in)
{
    RenderArguments args;
    args.time = in.getDouble(kOfxPropTime, 0, true);
    args.renderScale.x = in.getDouble(kOfxImageEffectPropRenderScale, 0, true);
    args.renderScale.y = in.getDouble(kOfxImageEffectPropRenderScale, 1, true);
    args.renderWindow.x1 = in.getInt(kOfxImageEffectPropRenderWindow, 0, true);
    args.renderWindow.y1 = in.getInt(kOfxImageEffectPropRenderWindow, 1, true);
    args.renderWindow.x2 = in.getInt(kOfxImageEffectPropRenderWindow, 2, true);
    args.renderWindow.y2 = in.getInt(kOfxImageEffectPropRenderWindow, 3, true);
    args.viewsToRender = in.getInt(kOfxImageEffectPropViewsToRender, 0, false);
    args.renderView = in.getInt(kOfxImageEffectPropRenderView, 0, false);
    const std::string field = in.getString(kOfxImageEffectPropFieldToRender, 0, true);
    try {
        args.fieldToRender = fieldFromString(field);
    } catch (const std::invalid_argument &) {
        // An unknown field does not stop the render; the field stays unset.
    }
    const RenderQuality quality = renderQualityFromString(in.getString(kOfxImageEffectPropRenderQuality, 0, false));
    if (quality != eRenderQualityUnset)
        args.renderQuality = quality;
    args.openCLEnabled = in.getInt(kOfxImageEffectPropOpenCLEnabled, 0, false) != 0;
    if (args.openCLEnabled)
        args.openCLQueue = in.getPointer(kOfxImageEffectPropOpenCLCommandQueue, 0, false);
    return args;
}

BeginSequenceRenderArguments readBeginSequenceRenderArguments(const PropertySet &in)
{
    BeginSequenceRenderArguments args;
    args.frameRange.min = in.getDouble(kOfxImageEffectPropFrameRange, 0, true);
    args.frameRange.max = in.getDouble(kOfxImageEffectPropFrameRange, 1, true);
    args.frameStep = in.getDouble(kOfxImageEffectPropFrameStep, 0, true);
    args.renderScale.x = in.getDouble(kOfxImageEffectPropRenderScale, 0, true);
    args.renderScale.y = in.getDouble(kOfxImageEffectPropRenderScale, 1, true);
    args.isInteractive = in.getInt(kOfxPropIsInteractive, 0, true) != 0;
    return args;
}

EndSequenceRenderArguments readEndSequenceRenderArguments(const PropertySet &in)
{
    EndSequenceRenderArguments args;
    args.renderScale.x = in.getDouble(kOfxImageEffectPropRenderScale, 0, true);
    args.renderScale.y = in.getDouble(kOfxImageEffectPropRenderScale, 1, true);
    args.isInteractive = in.getInt(kOfxPropIsInteractive, 0, true) != 0;
    return args;
}

RegionOfDefinitionArguments readRegionOfDefinitionArguments(const PropertySet &in)
{
    RegionOfDefinitionArguments args;
    args.renderScale.x = in.getDouble(kOfxImageEffectPropRenderScale, 0, true);
    args.renderScale.y = in.getDouble(kOfxImageEffectPropRenderScale, 1, true);
    args.time = in.getDouble(kOfxPropTime, 0, true);
    return args;
}

ImageEffect *instanceFromHandle(OfxImageEffectHandle handle)
{
    OfxPropertySetHandle props = nullptr;
    raiseStatus(boundSuite(hostSuites().imageEffectSuite).getPropertySet(handle, &props));
    return static_cast<ImageEffect *>(PropertySet(props).getPointer(kOfxPropInstanceData, 0, true));
}

ImageEffect &requireInstance(OfxImageEffectHandle handle)
{
    ImageEffect *instance = instanceFromHandle(handle);
    if (!instance)
        raiseStatus(kOfxStatErrBadHandle);
    return *instance;
}

}  // namespace OFX
