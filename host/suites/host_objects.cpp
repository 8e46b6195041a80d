#include "suites/host_objects.h"

#include <cfloat>
#include <climits>
#include <cmath>

#include "ofx/ofx_names.h"
#include "suites/host.h"

namespace ofxhost {

namespace {

int numericComponents(const std::string &type)
{
    if (type == kOfxParamTypeInteger || type == kOfxParamTypeDouble || type == kOfxParamTypeBoolean ||
        type == kOfxParamTypeChoice)
        return 1;
    if (type == kOfxParamTypeInteger2D || type == kOfxParamTypeDouble2D)
        return 2;
    if (type == kOfxParamTypeInteger3D || type == kOfxParamTypeDouble3D || type == kOfxParamTypeRGB)
        return 3;
    if (type == kOfxParamTypeRGBA)
        return 4;
    return 0;
}

bool integralType(const std::string &type)
{
    return type == kOfxParamTypeInteger || type == kOfxParamTypeBoolean || type == kOfxParamTypeChoice ||
           type == kOfxParamTypeInteger2D || type == kOfxParamTypeInteger3D;
}

}  // namespace

bool defineParamProperties(PropertyStore &p, const std::string &type, const std::string &name)
{
    static const char *const known[] = {
        kOfxParamTypeInteger, kOfxParamTypeDouble,    kOfxParamTypeBoolean,   kOfxParamTypeChoice,
        kOfxParamTypeRGBA,    kOfxParamTypeRGB,       kOfxParamTypeDouble2D,  kOfxParamTypeInteger2D,
        kOfxParamTypeDouble3D, kOfxParamTypeInteger3D, kOfxParamTypeString,   kOfxParamTypeCustom,
        kOfxParamTypeGroup,   kOfxParamTypePage,      kOfxParamTypePushButton};
    bool isKnown = false;
    for (const char *k : known)
        isKnown = isKnown || type == k;
    if (!isKnown)
        return false;

    p.defineString(kOfxPropType, {kOfxTypeParameter});
    p.defineString(kOfxPropName, {name});
    p.defineString(kOfxPropLabel, {name});
    p.defineString(kOfxPropShortLabel, {name});
    p.defineString(kOfxPropLongLabel, {name});
    p.defineString(kOfxParamPropType, {type});
    p.defineInt(kOfxParamPropSecret, {0});
    p.defineString(kOfxParamPropHint, {""});
    p.defineString(kOfxParamPropScriptName, {name});
    p.defineString(kOfxParamPropParent, {""});
    p.defineInt(kOfxParamPropEnabled, {1});
    p.definePointer(kOfxParamPropDataPtr, {nullptr});

    if (type == kOfxParamTypePage) {
        p.defineString(kOfxParamPropPageChild, {}, true);
        return true;
    }
    if (type == kOfxParamTypeGroup || type == kOfxParamTypePushButton)
        return true;

    p.defineInt(kOfxParamPropAnimates, {type == kOfxParamTypeCustom ? 0 : 1});
    p.defineInt(kOfxParamPropIsAnimating, {0});
    p.defineInt(kOfxParamPropPersistant, {1});
    p.defineInt(kOfxParamPropEvaluateOnChange, {1});
    p.defineInt(kOfxParamPropCanUndo, {1});

    const int n = numericComponents(type);
    if (n == 0) {
        p.defineString(kOfxParamPropDefault, {""});
        return true;
    }
    if (integralType(type)) {
        p.defineInt(kOfxParamPropDefault, std::vector<int>(n, 0));
        if (type != kOfxParamTypeBoolean) {
            p.defineInt(kOfxParamPropMin, std::vector<int>(n, INT_MIN));
            p.defineInt(kOfxParamPropMax, std::vector<int>(n, INT_MAX));
            p.defineInt(kOfxParamPropDisplayMin, std::vector<int>(n, INT_MIN));
            p.defineInt(kOfxParamPropDisplayMax, std::vector<int>(n, INT_MAX));
        }
        if (type == kOfxParamTypeChoice)
            p.defineString(kOfxParamPropChoiceOption, {}, true);
    } else {
        p.defineDouble(kOfxParamPropDefault, std::vector<double>(n, 0.0));
        p.defineDouble(kOfxParamPropMin, std::vector<double>(n, -DBL_MAX));
        p.defineDouble(kOfxParamPropMax, std::vector<double>(n, DBL_MAX));
        p.defineDouble(kOfxParamPropDisplayMin, std::vector<double>(n, -DBL_MAX));
        p.defineDouble(kOfxParamPropDisplayMax, std::vector<double>(n, DBL_MAX));
        p.defineDouble(kOfxParamPropIncrement, {1.0});
        p.defineInt(kOfxParamPropDigits, {2});
        p.defineString(kOfxParamPropDoubleType, {"OfxParamDoubleTypePlain"});
    }
    return true;
}

ParamObject::ParamObject(std::string n, std::string t, bool instance)
    : name(std::move(n)), type(std::move(t)), props(instance ? "param" : "paramDescriptor")
{
    defineParamProperties(props, type, name);
    value.assign(static_cast<std::size_t>(components()), 0.0);
}

int ParamObject::components() const
{
    return numericComponents(type);
}

bool ParamObject::isNumeric() const
{
    return components() > 0;
}

bool ParamObject::isIntegral() const
{
    return integralType(type);
}

void ParamObject::resetToDefault()
{
    const int n = components();
    if (n == 0) {
        text = props.getString(kOfxParamPropDefault);
        return;
    }
    for (int i = 0; i < n; ++i)
        value[i] = isIntegral() ? props.getInt(kOfxParamPropDefault, i) : props.getDouble(kOfxParamPropDefault, i);
}

std::vector<double> ParamObject::valueAt(double time) const
{
    if (keys.empty())
        return value;
    auto after = keys.lower_bound(time);
    if (after == keys.begin())
        return after->second;
    if (after == keys.end())
        return std::prev(after)->second;
    if (after->first == time)
        return after->second;
    auto before = std::prev(after);
    if (type == kOfxParamTypeBoolean || type == kOfxParamTypeChoice)
        return before->second;
    const double t = (time - before->first) / (after->first - before->first);
    std::vector<double> out(before->second.size());
    for (std::size_t i = 0; i < out.size(); ++i) {
        out[i] = before->second[i] + (after->second[i] - before->second[i]) * t;
        if (isIntegral())
            out[i] = std::floor(out[i] + 0.5);
    }
    return out;
}

ParamSetObject::ParamSetObject(bool inst) : props(inst ? "paramSet" : "paramSetDescriptor"), instance(inst) {}

ParamObject *ParamSetObject::find(const std::string &name) const
{
    auto it = params.find(name);
    return it == params.end() ? nullptr : it->second.get();
}

ClipObject::ClipObject(std::string n, EffectObject *e, bool instance)
    : name(std::move(n)), effect(e), props(instance ? "clip" : "clipDescriptor")
{
    props.defineString(kOfxPropType, {kOfxTypeClip});
    props.defineString(kOfxPropName, {name});
    props.defineString(kOfxPropLabel, {name});
    props.defineString(kOfxPropShortLabel, {name});
    props.defineString(kOfxPropLongLabel, {name});
    props.defineString(kOfxImageEffectPropSupportedComponents, {}, true);
    props.defineInt(kOfxImageEffectPropTemporalClipAccess, {0});
    props.defineInt(kOfxImageClipPropOptional, {0});
    props.defineString(kOfxImageClipPropFieldExtraction, {"OfxImageFieldDoubled"});
    props.defineInt(kOfxImageClipPropIsMask, {0});
    props.defineInt(kOfxImageEffectPropSupportsTiles, {1});
    if (!instance)
        return;
    props.defineString(kOfxImageEffectPropPixelDepth, {kOfxBitDepthNone});
    props.defineString(kOfxImageEffectPropComponents, {kOfxImageComponentNone});
    props.defineString(kOfxImageClipPropUnmappedPixelDepth, {kOfxBitDepthNone});
    props.defineString(kOfxImageClipPropUnmappedComponents, {kOfxImageComponentNone});
    props.defineString(kOfxImageEffectPropPreMultiplication, {kOfxImagePreMultiplied});
    props.defineDouble(kOfxImagePropPixelAspectRatio, {1.0});
    props.defineDouble(kOfxImageEffectPropFrameRate, {25.0});
    props.defineDouble(kOfxImageEffectPropFrameRange, {0.0, 0.0});
    props.defineString(kOfxImageClipPropFieldOrder, {kOfxImageFieldNone});
    props.defineInt(kOfxImageClipPropConnected, {0});
    props.defineDouble(kOfxImageEffectPropUnmappedFrameRange, {0.0, 0.0});
    props.defineDouble(kOfxImageEffectPropUnmappedFrameRate, {25.0});
    props.defineInt(kOfxImageClipPropContinuousSamples, {0});
}

void ClipObject::connect(HostImage *connected)
{
    image = connected;
    const char *depth = connected ? depthText(connected->layout().depth) : kOfxBitDepthNone;
    const char *comps = connected ? componentsText(connected->layout().components) : kOfxImageComponentNone;
    props.defineString(kOfxImageEffectPropPixelDepth, {depth});
    props.defineString(kOfxImageEffectPropComponents, {comps});
    props.defineString(kOfxImageClipPropUnmappedPixelDepth, {depth});
    props.defineString(kOfxImageClipPropUnmappedComponents, {comps});
    props.defineInt(kOfxImageClipPropConnected, {connected ? 1 : 0});
}

void ClipObject::reportDepth(Depth depth)
{
    props.defineString(kOfxImageEffectPropPixelDepth, {depthText(depth)});
    props.defineString(kOfxImageClipPropUnmappedPixelDepth, {depthText(depth)});
}

EffectObject::EffectObject(bool inst, const std::string &context)
    : instance(inst), props(inst ? "instance" : "effect"), params(inst)
{
    PropertyStore &p = props;
    p.defineString(kOfxPropLabel, {""});
    p.defineString(kOfxPropShortLabel, {""});
    p.defineString(kOfxPropLongLabel, {""});
    p.defineString(kOfxImageEffectPropContext, {context});
    p.defineInt(kOfxImageEffectPropSupportsTiles, {1});
    p.defineInt(kOfxImageEffectPropSupportsMultiResolution, {1});
    p.defineInt(kOfxImageEffectPropTemporalClipAccess, {0});
    if (inst) {
        p.defineString(kOfxPropType, {kOfxTypeImageEffectInstance});
        p.definePointer(kOfxPropInstanceData, {nullptr});
        p.defineDouble(kOfxImageEffectPropProjectSize, {1920.0, 1080.0});
        p.defineDouble(kOfxImageEffectPropProjectOffset, {0.0, 0.0});
        p.defineDouble(kOfxImageEffectPropProjectExtent, {1920.0, 1080.0});
        p.defineDouble(kOfxImageEffectPropProjectPixelAspectRatio, {1.0});
        p.defineDouble(kOfxImageEffectInstancePropEffectDuration, {1.0});
        p.defineInt(kOfxImageEffectInstancePropSequentialRender, {0});
        p.defineDouble(kOfxImageEffectPropFrameRate, {25.0});
        p.defineInt(kOfxPropIsInteractive, {0});
        return;
    }
    p.defineString(kOfxPropType, {kOfxTypeImageEffect});
    p.defineInt(kOfxPropVersion, {}, true);
    p.defineString(kOfxPropVersionLabel, {""});
    p.defineString(kOfxPropPluginDescription, {""});
    p.defineString(kOfxImageEffectPropSupportedContexts, {}, true);
    p.defineString(kOfxImageEffectPluginPropGrouping, {""});
    p.defineString(kOfxImageEffectPropOpenCLRenderSupported, {"false"});
    p.defineString(kOfxImageEffectPropOpenCLSupported, {"false"});
    p.defineString(kOfxImageEffectPropCudaRenderSupported, {"false"});
    p.defineString(kOfxImageEffectPropMetalRenderSupported, {"false"});
    p.defineInt(kOfxImageEffectPluginPropSingleInstance, {0});
    p.defineString(kOfxImageEffectPluginRenderThreadSafety, {"OfxImageEffectRenderInstanceSafe"});
    p.defineInt(kOfxImageEffectPluginPropHostFrameThreading, {1});
    p.definePointer(kOfxImageEffectPluginPropOverlayInteractV1, {nullptr});
    p.definePointer(kOfxImageEffectPluginPropHWndInteractV1, {nullptr});
    p.defineString(kOfxImageEffectPropSupportedPixelDepths, {}, true);
    p.defineInt(kOfxImageEffectPluginPropFieldRenderTwiceAlways, {1});
    p.defineInt(kOfxImageEffectPropMultipleClipDepths, {0});
    p.defineInt(kOfxImageEffectPropSupportsMultipleClipPARs, {0});
}

ClipObject *EffectObject::findClip(const std::string &name) const
{
    auto it = clips.find(name);
    return it == clips.end() ? nullptr : it->second.get();
}

ClipObject *EffectObject::defineClip(const std::string &name)
{
    if (ClipObject *existing = findClip(name))
        return existing;
    auto clip = std::make_unique<ClipObject>(name, this, instance);
    ClipObject *raw = clip.get();
    clips.emplace(name, std::move(clip));
    clipOrder.push_back(name);
    return raw;
}

ImageObject::ImageObject(const HostImage &image) : ImageObject(image, ImageTraits{image.bounds(), 1.0, true})
{
}

ImageObject::ImageObject(const HostImage &image, const ImageTraits &traits) : PropertyStore("image")
{
    const Quirks &q = Host::instance().quirks();
    static std::atomic<unsigned long> serial{0};
    const OfxRectI &b = image.bounds();
    const OfxRectI &rod = traits.regionOfDefinition;
    defineString(kOfxPropType, {kOfxTypeImage});
    defineString(kOfxImageEffectPropPixelDepth, {depthText(image.layout().depth)});
    defineString(kOfxImageEffectPropComponents, {componentsText(image.layout().components)});
    defineString(kOfxImageEffectPropPreMultiplication, {q.premultiplication});
    if (traits.withRenderScale)
        defineDouble(kOfxImageEffectPropRenderScale, {traits.renderScale, traits.renderScale});
    defineDouble(kOfxImagePropPixelAspectRatio, {1.0});
    // An image lent as a 2-D image has no data address: the plug-in must
    // take the image from its own property.
    void *data = traits.deviceImage ? nullptr : traits.deviceMemory ? traits.deviceMemory : image.data();
    definePointer(kOfxImagePropData, {data});
    if (traits.deviceImage)
        definePointer(kOfxImageEffectPropOpenCLImage, {traits.deviceMemory});
    defineInt(kOfxImagePropBounds, {b.x1, b.y1, b.x2, b.y2});
    defineInt(kOfxImagePropRegionOfDefinition, {rod.x1, rod.y1, rod.x2, rod.y2});
    defineInt(kOfxImagePropRowBytes, {traits.deviceMemory ? traits.deviceRowBytes : image.rowBytes()});
    defineString(kOfxImagePropField, {kOfxImageFieldNone});
    if (!q.omitUniqueIdentifier)
        defineString(kOfxImagePropUniqueIdentifier, {"image-" + std::to_string(++serial)});
}

}  // namespace ofxhost
