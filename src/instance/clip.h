#pragma once

#include <memory>
#include <string>

#include "instance/image.h"
#include "property/enums.h"
#include "property/property_set.h"

namespace OFX {

class ImageEffect;

// One of an instance's clips, fetched by name.
class Clip {
public:
    Clip(std::string name, OfxPropertySetHandle props, OfxImageClipHandle handle, ImageEffect *effect)
        : name_(std::move(name)), properties_(props), clipHandle_(handle), effect_(effect) {}

    const std::string &name() const { return name_; }
    const PropertySet &properties() const { return properties_; }
    OfxImageClipHandle handle() const { return clipHandle_; }
    ImageEffect *effect() const { return effect_; }

    PixelDepthEnum getPixelDepth() const;
    ComponentsEnum getPixelComponents() const;
    // A new image owned by the caller, or null when the host has none then.
    Image *getImage(double time) const;
    // The clip's region of definition at the time, in canonical coordinates.
    OfxRectD getRegionOfDefinition(double time) const;

private:
    std::string name_;
    PropertySet properties_;
    OfxImageClipHandle clipHandle_;
    ImageEffect *effect_;
};

}  // namespace OFX
