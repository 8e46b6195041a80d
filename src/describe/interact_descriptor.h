#pragma once

#include "ofx/ofx_core.h"

namespace OFX {

// Supplied by an effect that draws an on-screen interact. The effect
// descriptor owns it once attached and asks it for the interact's entry.
class InteractDescriptor {
public:
    virtual ~InteractDescriptor() = default;
    virtual void describe() {}
    virtual OfxPluginEntryPoint *getMainEntry() const = 0;
};

}  // namespace OFX
