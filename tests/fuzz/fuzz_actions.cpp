// Sends actions, known and not, with argument sets of any shape: properties
// missing, of the wrong type or dimension, handles null or foreign, host
// calls failing. The plug-in must answer every one with a status.

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "fuzz_session.h"
#include "ofx/ofx_names.h"

using namespace ofxhost;

namespace {

const char *const kActions[] = {
    kOfxActionLoad, kOfxActionUnload, kOfxActionDescribe, kOfxImageEffectActionDescribeInContext,
    kOfxActionCreateInstance, kOfxActionDestroyInstance, kOfxImageEffectActionRender,
    kOfxImageEffectActionBeginSequenceRender, kOfxImageEffectActionEndSequenceRender,
    kOfxImageEffectActionIsIdentity, kOfxImageEffectActionGetRegionOfDefinition,
    kOfxImageEffectActionGetRegionsOfInterest, kOfxImageEffectActionGetFramesNeeded,
    kOfxImageEffectActionGetClipPreferences, kOfxActionPurgeCaches, kOfxActionSyncPrivateData,
    kOfxImageEffectActionGetTimeDomain, kOfxActionBeginInstanceChanged, kOfxActionInstanceChanged,
    kOfxActionEndInstanceChanged, kOfxActionBeginInstanceEdit, kOfxActionEndInstanceEdit,
    kOfxImageEffectActionVegasKeyframeUplift, kOfxImageEffectActionInvokeHelp, kOfxImageEffectActionInvokeAbout};

const char *const kProperties[] = {
    kOfxPropTime, kOfxImageEffectPropRenderScale, kOfxImageEffectPropRenderWindow, kOfxImageEffectPropFieldToRender,
    kOfxImageEffectPropRenderQuality, kOfxImageEffectPropViewsToRender, kOfxImageEffectPropRenderView,
    kOfxImageEffectPropFrameRange, kOfxImageEffectPropFrameStep, kOfxPropIsInteractive, kOfxPropChangeReason,
    kOfxPropType, kOfxPropName, kOfxImageEffectPropRegionOfInterest, kOfxImageEffectPropContext,
    kOfxImageEffectPropVegasUpliftGUID, kOfxPropVegasUpliftKeyframeData, kOfxPropVegasUpliftData,
    kOfxPropVegasUpliftDataLength, kOfxImageEffectPropRegionOfDefinition, "OfxImageClipPropRoI_Source",
    "OfxImageClipPropFrameRange_Source"};

const char *const kTexts[] = {"", "OfxChangeTime", "OfxTypeParameter", "OfxTypeClip", "OfxFieldLower",
                              "OfxImageEffectContextFilter", "OfxImageEffectContextGeneral", "splitCount",
                              "Source", "Output", "OfxImageEffectPropRenderQualityBest", "bogus"};

void fillArgs(FuzzedDataProvider &in, PropertyStore &store)
{
    const int count = in.ConsumeIntegralInRange(0, 12);
    for (int i = 0; i < count; ++i) {
        const char *name = kProperties[in.ConsumeIntegralInRange<size_t>(0, std::size(kProperties) - 1)];
        const int dim = in.ConsumeIntegralInRange(0, 5);
        switch (in.ConsumeIntegralInRange(0, 3)) {
        case 0: {
            std::vector<int> v;
            for (int k = 0; k < dim; ++k)
                v.push_back(in.ConsumeIntegral<int>());
            store.defineInt(name, v, in.ConsumeBool());
            break;
        }
        case 1: {
            std::vector<double> v;
            for (int k = 0; k < dim; ++k)
                v.push_back(in.ConsumeFloatingPoint<double>());
            store.defineDouble(name, v, in.ConsumeBool());
            break;
        }
        case 2: {
            std::vector<std::string> v;
            for (int k = 0; k < dim; ++k)
                v.push_back(in.ConsumeBool() ? kTexts[in.ConsumeIntegralInRange<size_t>(0, std::size(kTexts) - 1)]
                                             : in.ConsumeRandomLengthString(16));
            store.defineString(name, v, in.ConsumeBool());
            break;
        }
        default:
            store.definePointer(name, std::vector<void *>(static_cast<std::size_t>(dim), nullptr), in.ConsumeBool());
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static FuzzSession session;
    FuzzedDataProvider in(data, size);
    resetHost();
    Plugin &plugin = *session.plugin;
    auto instance = plugin.createInstance("OfxImageEffectContextFilter");
    EffectObject stranger(true, "OfxImageEffectContextFilter");
    const int steps = in.ConsumeIntegralInRange(1, 6);
    for (int step = 0; step < steps && in.remaining_bytes() > 0; ++step) {
        // The action as the plug-in reads it: a C string ends at its first
        // zero, so "OfxActionUnload\0..." is an unload.
        const std::string action = (in.ConsumeIntegralInRange(0, 9) == 0
                                        ? in.ConsumeRandomLengthString(40)
                                        : std::string(kActions[in.ConsumeIntegralInRange<size_t>(0, std::size(kActions) - 1)]))
                                       .c_str();
        // Load, unload and describe keep their own bookkeeping balanced below.
        if (action == kOfxActionLoad || action == kOfxActionUnload || action == kOfxActionDestroyInstance ||
            action == kOfxActionCreateInstance || action == kOfxActionDescribe ||
            action == kOfxImageEffectActionDescribeInContext)
            continue;
        PropertyStore inArgs("inArgs"), outArgs("outArgs");
        fillArgs(in, inArgs);
        fillArgs(in, outArgs);
        if (in.ConsumeIntegralInRange(0, 5) == 0)
            Faults::instance().addPropertyFault({"*", kProperties[in.ConsumeIntegralInRange<size_t>(0, 10)],
                                                 in.ConsumeIntegralInRange(1, 14)});
        const void *handle = nullptr;
        switch (in.ConsumeIntegralInRange(0, 3)) {
        case 0: handle = instance ? instance->handle() : nullptr; break;
        case 1: handle = &stranger; break;
        case 2: handle = instance ? instance->handle() : nullptr; break;
        default: break;
        }
        plugin.action(action.c_str(), handle, in.ConsumeBool() ? &inArgs : nullptr,
                      in.ConsumeBool() ? &outArgs : nullptr);
    }
    resetHost();
    if (instance)
        instance->destroy();
    if (Host::instance().imagesOut.load() != 0)
        std::abort();
    return 0;
}
