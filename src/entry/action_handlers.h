#pragma once

// The per-clip reply actions and the notifications the dispatcher hands to
// an instance through a handler of their own.

#include "ofx/ofx_core.h"
#include "property/property_set.h"

namespace OFX {
namespace Private {

// True when the effect set at least one region of interest.
bool regionsOfInterestAction(OfxImageEffectHandle handle, PropertySet inArgs, PropertySet &outArgs,
                             const char *uniqueKey);
// True when at least one frame range was written (the output clip's never are).
bool framesNeededAction(OfxImageEffectHandle handle, PropertySet inArgs, PropertySet &outArgs,
                        const char *uniqueKey);

}  // namespace Private

void instanceChangedAction(OfxImageEffectHandle handle, const PropertySet &inArgs);
void keyframeUpliftAction(OfxImageEffectHandle handle, const PropertySet &inArgs);

}  // namespace OFX
