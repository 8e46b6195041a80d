#pragma once

#include "instance/image_effect.h"

// An effect instance that renders nothing, for tests of the support layer.
class NullEffect : public OFX::ImageEffect {
public:
    using OFX::ImageEffect::ImageEffect;
    void render(const OFX::RenderArguments &) override {}
};
