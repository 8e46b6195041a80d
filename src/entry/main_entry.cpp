// The dispatcher: every action of every plug-in of the module arrives here
// with its factory's unique key. It is the one place where errors become
// status codes; no exception leaves it.

#include <cstring>
#include <memory>
#include <new>
#include <stdexcept>

#include "describe/image_effect_descriptor.h"
#include "entry/action_handlers.h"
#include "entry/action_readers.h"
#include "entry/action_replies.h"
#include "entry/console.h"
#include "entry/effect_descriptors.h"
#include "entry/host_binding.h"
#include "entry/host_suites.h"
#include "entry/plugin_registry.h"
#include "ofx/ofx_names.h"
#include "property/exceptions.h"
#include "property/raise_status.h"

namespace OFX {

namespace {

enum Required : unsigned { kNone = 0, kH = 1, kI = 2, kO = 4 };

// The first required handle that is null fails the action as a bad handle.
void checkActionHandles(const void *handle, OfxPropertySetHandle inArgs, OfxPropertySetHandle outArgs,
                        unsigned required)
{
    if ((required & kH) && !handle)
        raiseStatus(kOfxStatErrBadHandle);
    if ((required & kI) && !inArgs)
        raiseStatus(kOfxStatErrBadHandle);
    if ((required & kO) && !outArgs)
        raiseStatus(kOfxStatErrBadHandle);
}

PropertySet fetchEffectProperties(OfxImageEffectHandle handle)
{
    OfxPropertySetHandle props = nullptr;
    raiseStatus(boundSuite(hostSuites().imageEffectSuite).getPropertySet(handle, &props));
    return PropertySet(props);
}

struct Call {
    const char *action;
    OfxImageEffectHandle effect;
    const void *rawHandle;
    PropertySet in;
    PropertySet out;
    const char *uniqueKey;
    PluginFactory *factory;
};

using Handler = OfxStatus (*)(Call &);

OfxStatus onLoad(Call &c)
{
    loadAction();
    c.factory->load();
    return kOfxStatOK;
}

OfxStatus onUnload(Call &c)
{
    c.factory->unload();
    unloadAction();
    auto entry = effectDescriptors().find(c.uniqueKey);
    if (entry != effectDescriptors().end())
        entry->second.clear();
    releasePluginRecord(c.uniqueKey);
    return kOfxStatOK;
}

OfxStatus onDescribe(Call &c)
{
    auto descriptor = std::make_unique<ImageEffectDescriptor>(c.effect);
    fetchEffectProperties(c.effect);
    c.factory->describe(*descriptor);
    storeDescriptor(c.uniqueKey, eContextNone, std::move(descriptor));
    return kOfxStatOK;
}

OfxStatus onDescribeInContext(Call &c)
{
    auto descriptor = std::make_unique<ImageEffectDescriptor>(c.effect);
    const ContextEnum context = contextFromString(c.in.getString(kOfxImageEffectPropContext, 0, true));
    fetchEffectProperties(c.effect);
    c.factory->describeInContext(*descriptor, context);
    storeDescriptor(c.uniqueKey, context, std::move(descriptor));
    return kOfxStatOK;
}

OfxStatus onCreateInstance(Call &c)
{
    PropertySet props = fetchEffectProperties(c.effect);
    const ContextEnum context = contextFromString(props.getString(kOfxImageEffectPropContext, 0, true));
    c.factory->createInstance(c.effect, context);  // the instance records itself in the host
    fetchEffectProperties(c.effect);
    return kOfxStatOK;
}

OfxStatus onDestroyInstance(Call &c)
{
    delete instanceFromHandle(c.effect);
    return kOfxStatOK;
}

OfxStatus onRender(Call &c)
{
    ImageEffect &instance = requireInstance(c.effect);
    instance.render(readRenderArguments(c.in));
    return kOfxStatOK;
}

OfxStatus onBeginSequenceRender(Call &c)
{
    ImageEffect &instance = requireInstance(c.effect);
    instance.beginSequenceRender(readBeginSequenceRenderArguments(c.in));
    return kOfxStatReplyDefault;
}

OfxStatus onEndSequenceRender(Call &c)
{
    ImageEffect &instance = requireInstance(c.effect);
    instance.endSequenceRender(readEndSequenceRenderArguments(c.in));
    return kOfxStatReplyDefault;
}

OfxStatus onIsIdentity(Call &c)
{
    ImageEffect &instance = requireInstance(c.effect);
    const RenderArguments args = readRenderArguments(c.in);
    Clip *clip = nullptr;
    double time = args.time;
    if (!instance.isIdentity(args, clip, time) || !clip)
        return kOfxStatReplyDefault;
    c.out.setString(kOfxPropName, clip->name(), 0, true);
    c.out.setDouble(kOfxPropTime, time, 0, true);
    return kOfxStatOK;
}

OfxStatus onRegionOfDefinition(Call &c)
{
    ImageEffect &instance = requireInstance(c.effect);
    const RegionOfDefinitionArguments args = readRegionOfDefinitionArguments(c.in);
    OfxRectD rod{0.0, 0.0, 0.0, 0.0};
    if (!instance.getRegionOfDefinition(args, rod))
        return kOfxStatReplyDefault;
    c.out.setDouble(kOfxImageEffectPropRegionOfDefinition, rod.x1, 0, true);
    c.out.setDouble(kOfxImageEffectPropRegionOfDefinition, rod.y1, 1, true);
    c.out.setDouble(kOfxImageEffectPropRegionOfDefinition, rod.x2, 2, true);
    c.out.setDouble(kOfxImageEffectPropRegionOfDefinition, rod.y2, 3, true);
    return kOfxStatOK;
}

OfxStatus onRegionsOfInterest(Call &c)
{
    return Private::regionsOfInterestAction(c.effect, c.in, c.out, c.uniqueKey) ? kOfxStatOK : kOfxStatReplyDefault;
}

OfxStatus onFramesNeeded(Call &c)
{
    return Private::framesNeededAction(c.effect, c.in, c.out, c.uniqueKey) ? kOfxStatOK : kOfxStatReplyDefault;
}

OfxStatus onClipPreferences(Call &c)
{
    ImageEffect &instance = requireInstance(c.effect);
    ImageEffectDescriptor *descriptor = findDescriptor(c.uniqueKey, instance.context());
    if (!descriptor)
        return kOfxStatReplyDefault;  // never described in this context: nothing to name
    ClipPreferencesSetter setter(c.out.handle(), *descriptor);
    instance.getClipPreferences(setter);
    return setter.done() ? kOfxStatOK : kOfxStatReplyDefault;
}

OfxStatus onPurgeCaches(Call &c)
{
    requireInstance(c.effect).purgeCaches();
    return kOfxStatReplyDefault;
}

OfxStatus onSyncPrivateData(Call &c)
{
    requireInstance(c.effect).syncPrivateData();
    return kOfxStatReplyDefault;
}

OfxStatus onTimeDomain(Call &c)
{
    OfxRangeD range{0.0, 0.0};
    if (!requireInstance(c.effect).getTimeDomain(range))
        return kOfxStatReplyDefault;
    c.out.setDouble(kOfxImageEffectPropFrameRange, range.min, 0, true);
    c.out.setDouble(kOfxImageEffectPropFrameRange, range.max, 1, true);
    return kOfxStatOK;
}

OfxStatus onBeginInstanceChanged(Call &c)
{
    ImageEffect &instance = requireInstance(c.effect);
    instance.beginChanged(changeReasonFromString(c.in.getString(kOfxPropChangeReason, 0, true)));
    return kOfxStatReplyDefault;
}

OfxStatus onInstanceChanged(Call &c)
{
    instanceChangedAction(c.effect, c.in);
    return kOfxStatReplyDefault;
}

OfxStatus onEndInstanceChanged(Call &c)
{
    ImageEffect &instance = requireInstance(c.effect);
    instance.endChanged(changeReasonFromString(c.in.getString(kOfxPropChangeReason, 0, true)));
    return kOfxStatReplyDefault;
}

OfxStatus onBeginInstanceEdit(Call &c)
{
    requireInstance(c.effect).beginEdit();
    return kOfxStatReplyDefault;
}

OfxStatus onEndInstanceEdit(Call &c)
{
    requireInstance(c.effect).endEdit();
    return kOfxStatReplyDefault;
}

OfxStatus onKeyframeUplift(Call &c)
{
    keyframeUpliftAction(c.effect, c.in);
    return kOfxStatReplyDefault;
}

OfxStatus onInvokeHelp(Call &c)
{
    return requireInstance(c.effect).invokeHelp() ? kOfxStatOK : kOfxStatReplyDefault;
}

OfxStatus onInvokeAbout(Call &c)
{
    return requireInstance(c.effect).invokeAbout() ? kOfxStatOK : kOfxStatReplyDefault;
}

struct ActionRow {
    const char *name;
    unsigned required;
    Handler handler;
};

const ActionRow actionTable[] = {
    {kOfxActionLoad, kNone, onLoad},
    {kOfxActionUnload, kNone, onUnload},
    {kOfxActionDescribe, kH, onDescribe},
    {kOfxImageEffectActionDescribeInContext, kH | kI, onDescribeInContext},
    {kOfxActionCreateInstance, kH, onCreateInstance},
    {kOfxActionDestroyInstance, kH, onDestroyInstance},
    {kOfxImageEffectActionRender, kH | kI, onRender},
    {kOfxImageEffectActionBeginSequenceRender, kH | kI, onBeginSequenceRender},
    {kOfxImageEffectActionEndSequenceRender, kH | kI, onEndSequenceRender},
    {kOfxImageEffectActionIsIdentity, kH | kI | kO, onIsIdentity},
    {kOfxImageEffectActionGetRegionOfDefinition, kH | kI | kO, onRegionOfDefinition},
    {kOfxImageEffectActionGetRegionsOfInterest, kH | kI | kO, onRegionsOfInterest},
    {kOfxImageEffectActionGetFramesNeeded, kH | kI | kO, onFramesNeeded},
    {kOfxImageEffectActionGetClipPreferences, kH | kO, onClipPreferences},
    {kOfxActionPurgeCaches, kH, onPurgeCaches},
    {kOfxActionSyncPrivateData, kH, onSyncPrivateData},
    {kOfxImageEffectActionGetTimeDomain, kH | kO, onTimeDomain},
    {kOfxActionBeginInstanceChanged, kH | kI, onBeginInstanceChanged},
    {kOfxActionInstanceChanged, kH | kI, onInstanceChanged},
    {kOfxActionEndInstanceChanged, kH | kI, onEndInstanceChanged},
    {kOfxActionBeginInstanceEdit, kH, onBeginInstanceEdit},
    {kOfxActionEndInstanceEdit, kH, onEndInstanceEdit},
    {kOfxImageEffectActionVegasKeyframeUplift, kH | kI, onKeyframeUplift},
    {kOfxImageEffectActionInvokeHelp, kH, onInvokeHelp},
    {kOfxImageEffectActionInvokeAbout, kH, onInvokeAbout},
};

}  // namespace

OfxStatus mainEntry(const char *action, const void *handle, OfxPropertySetHandle inArgs,
                    OfxPropertySetHandle outArgs, const char *uniqueKey)
{
    OfxStatus status = kOfxStatReplyDefault;
    try {
        auto entry = pluginRegistry().find(uniqueKey ? uniqueKey : "");
        if (entry == pluginRegistry().end())
            raiseStatus(kOfxStatErrBadHandle);
        Call call{action,
                  static_cast<OfxImageEffectHandle>(const_cast<void *>(handle)),
                  handle,
                  PropertySet(inArgs),
                  PropertySet(outArgs),
                  uniqueKey,
                  entry->second.first};
        if (!action)
            return status;
        for (const ActionRow &row : actionTable) {
            if (std::strcmp(action, row.name) != 0)
                continue;
            checkActionHandles(handle, inArgs, outArgs, row.required);
            status = row.handler(call);
            break;
        }
    } catch (const Exception::Suite &e) {
        consoleMessage("Caught OFX::Exception::Suite");
        status = e.status();
    } catch (const Exception::HostInadequate &) {
        consoleMessage("Caught OFX::Exception::HostInadequate");
        status = kOfxStatErrMissingHostFeature;
    } catch (const Exception::PropertyUnknownToHost &) {
        consoleMessage("Caught OFX::Exception::PropertyUnknownToHost");
        status = kOfxStatErrMissingHostFeature;
    } catch (const std::bad_alloc &) {
        status = kOfxStatErrMemory;
    } catch (...) {
        consoleMessage("Caught Unknown exception");
        status = kOfxStatFailed;
    }
    return status;
}

}  // namespace OFX
