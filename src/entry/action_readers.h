#pragma once

// Reading instance actions' in-arguments into typed records, and finding the
// instance behind an effect handle.

#include <string>

#include "entry/action_arguments.h"
#include "instance/image_effect.h"
#include "property/property_set.h"

namespace OFX {

RenderArguments readRenderArguments(const PropertySet &inArgs);
BeginSequenceRenderArguments readBeginSequenceRenderArguments(const PropertySet &inArgs);
EndSequenceRenderArguments readEndSequenceRenderArguments(const PropertySet &inArgs);
RegionOfDefinitionArguments readRegionOfDefinitionArguments(const PropertySet &inArgs);

// Strict: an unknown text throws std::invalid_argument carrying it.
ChangeReason changeReasonFromString(const std::string &text);
// Unset for any other text, the empty text included.
RenderQuality renderQualityFromString(const std::string &text);

// The instance recorded in the effect's "OfxPropInstanceData", possibly null.
ImageEffect *instanceFromHandle(OfxImageEffectHandle handle);
// The same for an action that needs an instance: a handle without a recorded
// instance raises status 9 ("kOfxStatErrBadHandle").
ImageEffect &requireInstance(OfxImageEffectHandle handle);

}  // namespace OFX
