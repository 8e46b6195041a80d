#pragma once

#include <string>

#include "property/enums.h"
#include "property/property_set.h"

namespace OFX {

// A clip declared at describe time; writes go to the host's clip property set.
class ClipDescriptor {
public:
    ClipDescriptor(std::string name, OfxPropertySetHandle props) : name_(std::move(name)), properties_(props) {}

    const std::string &name() const { return name_; }
    const PropertySet &properties() const { return properties_; }

    void setTemporalClipAccess(bool value);
    void setSupportsTiles(bool value);
    void setOptional(bool value);
    void setIsMask(bool value);
    // Appends to the host's list; a value without a text writes nothing.
    void addSupportedComponent(ComponentsEnum components);

private:
    std::string name_;
    PropertySet properties_;
};

}  // namespace OFX
