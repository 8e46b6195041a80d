#pragma once

// The base of every effect instance. It publishes itself to the host through
// "OfxPropInstanceData" (how the dispatcher finds it again), hands out one
// Clip per name and answers every action the effect does not override with
// the default reply.

#include <map>
#include <memory>
#include <string>

#include "entry/action_arguments.h"
#include "instance/clip.h"
#include "instance/param_set.h"
#include "property/enums.h"
#include "property/property_set.h"

namespace OFX {

class RegionOfInterestSetter;
class FramesNeededSetter;
class ClipPreferencesSetter;

class ImageEffect : public ParamSet {
public:
    explicit ImageEffect(OfxImageEffectHandle handle);
    ~ImageEffect() override;

    virtual void purgeCaches() {}
    virtual void syncPrivateData() {}
    virtual void render(const RenderArguments &args) = 0;
    virtual void beginSequenceRender(const BeginSequenceRenderArguments &) {}
    virtual void endSequenceRender(const EndSequenceRenderArguments &) {}
    virtual bool isIdentity(const RenderArguments &, Clip *&, double &) { return false; }
    virtual bool getRegionOfDefinition(const RegionOfDefinitionArguments &, OfxRectD &) { return false; }
    virtual void getRegionsOfInterest(const RegionsOfInterestArguments &, RegionOfInterestSetter &) {}
    virtual void getFramesNeeded(const FramesNeededArguments &, FramesNeededSetter &) {}
    virtual void getClipPreferences(ClipPreferencesSetter &) {}
    virtual void beginEdit() {}
    virtual void endEdit() {}
    virtual void beginChanged(ChangeReason) {}
    virtual void changedParam(const InstanceChangedArguments &, const std::string &) {}
    virtual void changedClip(const InstanceChangedArguments &, const std::string &) {}
    virtual void endChanged(ChangeReason) {}
    virtual void upliftVegasKeyframes(const VegasKeyframeUpliftArguments &) {}
    virtual bool invokeAbout() { return false; }
    virtual bool invokeHelp() { return false; }
    virtual bool getTimeDomain(OfxRangeD &) { return false; }

    Clip *getClip(const std::string &name);
    // True when the host wants the render stopped; safe from worker threads.
    bool abortRequested() const;

    OfxImageEffectHandle effectHandle() const { return effectHandle_; }
    const PropertySet &effectProperties() const { return effectProperties_; }
    ContextEnum context() const { return context_; }

private:
    OfxImageEffectHandle effectHandle_;
    PropertySet effectProperties_;
    ContextEnum context_ = eContextNone;
    std::map<std::string, std::unique_ptr<Clip>> clips_;
};

}  // namespace OFX
