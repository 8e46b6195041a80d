#pragma once

// The objects through which an effect states its regions of interest, the
// frames it needs and its clip preferences.

#include <string>

#include "describe/image_effect_descriptor.h"
#include "ofx/ofx_core.h"
#include "property/property_set.h"

namespace OFX {

class RegionOfInterestSetter {
public:
    virtual void setRegionOfInterest(const std::string &clipName, const OfxRectD &region) = 0;

protected:
    ~RegionOfInterestSetter() = default;
};

class FramesNeededSetter {
public:
    virtual void setFramesNeeded(const std::string &clipName, const OfxRangeD &range) = 0;

protected:
    ~FramesNeededSetter() = default;
};

class ClipPreferencesSetter {
public:
    ClipPreferencesSetter(OfxPropertySetHandle outArgs, const ImageEffectDescriptor &descriptor)
        : outArgs_(outArgs),
          clipDepthPropNames_(descriptor.clipDepthPropNames()),
          clipComponentsPropNames_(descriptor.clipComponentsPropNames()),
          clipPARPropNames_(descriptor.clipPARPropNames())
    {
    }

    bool done() const { return done_; }

private:
    PropertySet outArgs_;
    bool done_ = false;
    const ClipPropNames &clipDepthPropNames_;
    const ClipPropNames &clipComponentsPropNames_;
    const ClipPropNames &clipPARPropNames_;
};

}  // namespace OFX
