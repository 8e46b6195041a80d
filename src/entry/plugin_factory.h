#pragma once

// Plug-in factories: each describes one effect and builds its instances. A
// concrete factory derives from PluginFactoryHelper over itself, which gives
// its class a unique key and a dispatch function of the standard's signature.

#include <string>

#include "instance/image_effect.h"
#include "ofx/ofx_core.h"
#include "property/enums.h"

namespace OFX {

class ImageEffectDescriptor;

OfxStatus mainEntry(const char *action, const void *handle, OfxPropertySetHandle inArgs,
                    OfxPropertySetHandle outArgs, const char *uniqueKey);

class PluginFactory {
public:
    virtual void load() {}
    virtual void unload() {}
    virtual void describe(ImageEffectDescriptor &descriptor) = 0;
    virtual void describeInContext(ImageEffectDescriptor &descriptor, ContextEnum context) = 0;
    virtual ImageEffect *createInstance(OfxImageEffectHandle handle, ContextEnum context) = 0;
    virtual const std::string &getIdentifier() const = 0;
    virtual const std::string &getUniqueKey() const = 0;
    virtual unsigned getVersionMajor() const = 0;
    virtual unsigned getVersionMinor() const = 0;
    virtual OfxPluginEntryPoint *getMainEntry() const = 0;

protected:
    // Factories are process-wide objects that are never deleted through this base.
    ~PluginFactory() = default;
};

// Identifier, then the decimal major and minor versions, without separators.
std::string makeUniqueKey(const std::string &identifier, unsigned major, unsigned minor);

template <class F>
class FactoryMainEntryHelper : public PluginFactory {
public:
    // Held in a function-local static so that it exists before any factory
    // object's constructor writes it during static initialisation.
    static std::string &uniqueKey()
    {
        static std::string key;
        return key;
    }

    static OfxStatus dispatch(const char *action, const void *handle, OfxPropertySetHandle inArgs,
                              OfxPropertySetHandle outArgs)
    {
        return mainEntry(action, handle, inArgs, outArgs, uniqueKey().c_str());
    }

protected:
    ~FactoryMainEntryHelper() = default;
};

template <class F>
class PluginFactoryHelper : public FactoryMainEntryHelper<F> {
public:
    PluginFactoryHelper(std::string identifier, unsigned versionMajor, unsigned versionMinor)
        : identifier_(std::move(identifier)), versionMajor_(versionMajor), versionMinor_(versionMinor)
    {
        FactoryMainEntryHelper<F>::uniqueKey() = makeUniqueKey(identifier_, versionMajor_, versionMinor_);
    }

    const std::string &getIdentifier() const override { return identifier_; }
    const std::string &getUniqueKey() const override { return FactoryMainEntryHelper<F>::uniqueKey(); }
    unsigned getVersionMajor() const override { return versionMajor_; }
    unsigned getVersionMinor() const override { return versionMinor_; }
    OfxPluginEntryPoint *getMainEntry() const override { return &FactoryMainEntryHelper<F>::dispatch; }

protected:
    ~PluginFactoryHelper() = default;

private:
    std::string identifier_;
    unsigned versionMajor_;
    unsigned versionMinor_;
};

}  // namespace OFX
