#include "instance/clip.h"

#include "entry/host_suites.h"
#include "ofx/ofx_names.h"
#include "property/raise_status.h"

namespace OFX {

PixelDepthEnum Clip::getPixelDepth() const
{
    PixelDepthEnum depth = pixelDepthFromString(properties_.getString(kOfxImageEffectPropPixelDepth, 0, true));
    if (depth == eBitDepthNone)
        properties_.getInt(kOfxImageClipPropConnected, 0, true);  // a host without it fails here
    return depth;
}

ComponentsEnum Clip::getPixelComponents() const
{
    ComponentsEnum components = componentsFromString(properties_.getString(kOfxImageEffectPropComponents, 0, true));
    if (components == ePixelComponentNone)
        properties_.getInt(kOfxImageClipPropConnected, 0, true);
    return components;
}

Image *Clip::getImage(double time) const
{
    OfxPropertySetHandle handle = nullptr;
    OfxStatus status = boundSuite(hostSuites().imageEffectSuite).clipGetImage(clipHandle_, time, nullptr, &handle);
    if (status == kOfxStatFailed)
        return nullptr;
    raiseStatus(status);
    return new Image(handle);
}

OfxRectD Clip::getRegionOfDefinition(double time) const
{
    OfxRectD rod{0.0, 0.0, 0.0, 0.0};
    raiseStatus(boundSuite(hostSuites().imageEffectSuite).clipGetRegionOfDefinition(clipHandle_, time, &rod));
    return rod;
}

}  // namespace OFX
