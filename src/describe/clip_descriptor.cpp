#include "describe/clip_descriptor.h"

#include "describe/append_enum.h"
#include "ofx/ofx_names.h"

namespace OFX {

void ClipDescriptor::setTemporalClipAccess(bool value)
{
    properties_.setInt(kOfxImageEffectPropTemporalClipAccess, value ? 1 : 0, 0, true);
}

void ClipDescriptor::setSupportsTiles(bool value)
{
    properties_.setInt(kOfxImageEffectPropSupportsTiles, value ? 1 : 0, 0, true);
}

void ClipDescriptor::setOptional(bool value)
{
    properties_.setInt(kOfxImageClipPropOptional, value ? 1 : 0, 0, true);
}

void ClipDescriptor::setIsMask(bool value)
{
    properties_.setInt(kOfxImageClipPropIsMask, value ? 1 : 0, 0, true);
}

void ClipDescriptor::addSupportedComponent(ComponentsEnum components)
{
    appendText(properties_, kOfxImageEffectPropSupportedComponents, componentsToString(components));
}

}  // namespace OFX
