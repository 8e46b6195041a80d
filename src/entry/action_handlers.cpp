#include "entry/action_handlers.h"

#include <map>
#include <string>
#include <vector>

#include "entry/action_readers.h"
#include "entry/action_replies.h"
#include "entry/effect_descriptors.h"
#include "ofx/ofx_names.h"
#include "property/exceptions.h"
#include "property/raise_status.h"

namespace OFX {

namespace {

// An instance whose context was never described has no per-clip names: every
// clip it names is then unknown, instead of reading through a missing descriptor.
const ClipPropNames &namesOf(const ImageEffectDescriptor *descriptor, const ClipPropNames &(ImageEffectDescriptor::*map)() const)
{
    static const ClipPropNames none;
    return descriptor ? (descriptor->*map)() : none;
}

class ActualROISetter : public RegionOfInterestSetter {
public:
    ActualROISetter(PropertySet &outArgs, const ClipPropNames &roiNames) : outArgs_(outArgs), roiNames_(roiNames) {}

    void setRegionOfInterest(const std::string &clipName, const OfxRectD &region) override
    {
        auto it = roiNames_.find(clipName);
        if (it == roiNames_.end())
            throw Exception::PropertyUnknownToHost(clipName.c_str());
        const char *name = it->second.c_str();
        outArgs_.setDouble(name, region.x1, 0, true);
        outArgs_.setDouble(name, region.y1, 1, true);
        outArgs_.setDouble(name, region.x2, 2, true);
        outArgs_.setDouble(name, region.y2, 3, true);
        done_ = true;
    }

    bool done() const { return done_; }

private:
    bool done_ = false;
    PropertySet &outArgs_;
    const ClipPropNames &roiNames_;
};

class ActualSetter : public FramesNeededSetter {
public:
    ActualSetter(PropertySet &outArgs, const ClipPropNames &frameRangeNames)
        : outArgs_(outArgs), frameRangeNames_(frameRangeNames) {}

    void setFramesNeeded(const std::string &clipName, const OfxRangeD &range) override
    {
        ranges_[clipName].push_back(range);
    }

    bool writeOut()
    {
        bool written = false;
        for (const auto &clip : ranges_) {
            if (clip.first == "Output")
                continue;
            written = true;
            auto it = frameRangeNames_.find(clip.first);
            if (it == frameRangeNames_.end())
                throw Exception::PropertyUnknownToHost(clip.first.c_str());
            const char *name = it->second.c_str();
            for (std::size_t i = 0; i < clip.second.size(); ++i) {
                outArgs_.setDouble(name, clip.second[i].min, static_cast<int>(2 * i), true);
                outArgs_.setDouble(name, clip.second[i].max, static_cast<int>(2 * i + 1), true);
            }
        }
        return written;
    }

private:
    PropertySet &outArgs_;
    std::map<std::string, std::vector<OfxRangeD>> ranges_;
    const ClipPropNames &frameRangeNames_;
};

}  // namespace

namespace Private {

bool regionsOfInterestAction(OfxImageEffectHandle handle, PropertySet inArgs, PropertySet &outArgs,
                             const char *uniqueKey)
{
    ImageEffect &instance = requireInstance(handle);
    RegionsOfInterestArguments args;
    args.renderScale.x = inArgs.getDouble(kOfxImageEffectPropRenderScale, 0, true);
    args.renderScale.y = inArgs.getDouble(kOfxImageEffectPropRenderScale, 1, true);
    args.regionOfInterest.x1 = inArgs.getDouble(kOfxImageEffectPropRegionOfInterest, 0, true);
    args.regionOfInterest.y1 = inArgs.getDouble(kOfxImageEffectPropRegionOfInterest, 1, true);
    args.regionOfInterest.x2 = inArgs.getDouble(kOfxImageEffectPropRegionOfInterest, 2, true);
    args.regionOfInterest.y2 = inArgs.getDouble(kOfxImageEffectPropRegionOfInterest, 3, true);
    args.time = inArgs.getDouble(kOfxPropTime, 0, true);
    const ImageEffectDescriptor *descriptor = findDescriptor(uniqueKey, instance.context());
    ActualROISetter setter(outArgs, namesOf(descriptor, &ImageEffectDescriptor::clipRoIPropNames));
    instance.getRegionsOfInterest(args, setter);
    return setter.done();
}

bool framesNeededAction(OfxImageEffectHandle handle, PropertySet inArgs, PropertySet &outArgs,
                        const char *uniqueKey)
{
    ImageEffect &instance = requireInstance(handle);
    FramesNeededArguments args;
    args.time = inArgs.getDouble(kOfxPropTime, 0, true);
    const ImageEffectDescriptor *descriptor = findDescriptor(uniqueKey, instance.context());
    ActualSetter setter(outArgs, namesOf(descriptor, &ImageEffectDescriptor::clipFrameRangePropNames));
    instance.getFramesNeeded(args, setter);
    return setter.writeOut();
}

}  // namespace Private

void instanceChangedAction(OfxImageEffectHandle handle, const PropertySet &inArgs)
{
    ImageEffect &instance = requireInstance(handle);
    InstanceChangedArguments args;
    args.reason = changeReasonFromString(inArgs.getString(kOfxPropChangeReason, 0, true));
    args.time = inArgs.getDouble(kOfxPropTime, 0, true);
    args.renderScale.x = inArgs.getDouble(kOfxImageEffectPropRenderScale, 0, true);
    args.renderScale.y = inArgs.getDouble(kOfxImageEffectPropRenderScale, 1, true);
    const std::string type = inArgs.getString(kOfxPropType, 0, true);
    const std::string name = inArgs.getString(kOfxPropName, 0, true);
    if (type == kOfxTypeParameter)
        instance.changedParam(args, name);
    else if (type == kOfxTypeClip)
        instance.changedClip(args, name);
}

void keyframeUpliftAction(OfxImageEffectHandle handle, const PropertySet &inArgs)
{
    ImageEffect &instance = requireInstance(handle);
    VegasKeyframeUpliftArguments args;
    args.keyframeSet = inArgs;
    args.keyframeCount = inArgs.getDimension(kOfxPropVegasUpliftKeyframeData, true);
    args.guid = inArgs.getString(kOfxImageEffectPropVegasUpliftGUID, 0, true);
    args.data = inArgs.getPointer(kOfxPropVegasUpliftData, 0, false);
    args.dataLength = inArgs.getInt(kOfxPropVegasUpliftDataLength, 0, false);
    instance.upliftVegasKeyframes(args);
}

}  // namespace OFX
