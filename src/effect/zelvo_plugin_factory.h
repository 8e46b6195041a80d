#pragma once

#include "entry/plugin_factory.h"

// The module's one plug-in: what the host lists and stores in its projects.
class ZelvoPluginFactory : public OFX::PluginFactoryHelper<ZelvoPluginFactory> {
public:
    ZelvoPluginFactory();
    void load() override;
    void unload() override;
    void describe(OFX::ImageEffectDescriptor &descriptor) override;
    void describeInContext(OFX::ImageEffectDescriptor &descriptor, OFX::ContextEnum context) override;
    OFX::ImageEffect *createInstance(OfxImageEffectHandle handle, OFX::ContextEnum context) override;
};

ZelvoPluginFactory &zelvoPluginFactory();

// The plug-in identifier hosts store in their projects.
extern const char *const kZelvoPluginIdentifier;
