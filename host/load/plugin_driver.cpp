#include "load/plugin_driver.h"

#include <cstring>

#include "load/plugin_binary.h"
#include "ofx/ofx_names.h"
#include "suites/host.h"

namespace ofxhost {

namespace {

std::vector<double> numbers(const PropertyStore &p, const char *name)
{
    std::vector<double> out;
    if (!p.has(name))
        return out;
    for (int i = 0; i < p.dimension(name); ++i) {
        double v = p.getDouble(name, i);
        if (v == 0.0)
            v = p.getInt(name, i);
        out.push_back(v);
    }
    return out;
}

}  // namespace

const ParamInfo *EffectInfo::param(const std::string &name) const
{
    for (const auto &p : params)
        if (p.name == name)
            return &p;
    return nullptr;
}

Plugin::Plugin(OfxPlugin *record) : record_(record)
{
    if (!record_ || !record_->pluginApi || std::strcmp(record_->pluginApi, kOfxImageEffectPluginApi) != 0 ||
        record_->apiVersion != kOfxImageEffectPluginApiVersion)
        throw HostError("not an image-effect plug-in of API version 1");
    if (!record_->setHost || !record_->mainEntry)
        throw HostError("plug-in record without setHost or mainEntry");
    record_->setHost(Host::instance().record());
}

Plugin::~Plugin()
{
    if (loaded_)
        unload();
}

std::string Plugin::identifier() const
{
    return record_->pluginIdentifier ? record_->pluginIdentifier : "";
}

OfxStatus Plugin::action(const char *action, const void *handle, PropertyStore *inArgs, PropertyStore *outArgs)
{
    return record_->mainEntry(action, handle, inArgs ? inArgs->handle() : nullptr,
                              outArgs ? outArgs->handle() : nullptr);
}

OfxStatus Plugin::load()
{
    OfxStatus status = action(kOfxActionLoad, nullptr, nullptr, nullptr);
    loaded_ = loaded_ || status == kOfxStatOK || status == kOfxStatReplyDefault;
    return status;
}

OfxStatus Plugin::unload()
{
    OfxStatus status = action(kOfxActionUnload, nullptr, nullptr, nullptr);
    loaded_ = false;
    return status;
}

OfxStatus Plugin::describe()
{
    descriptors_.push_back(std::make_unique<EffectObject>(false));
    EffectObject *d = descriptors_.back().get();
    OfxStatus status = action(kOfxActionDescribe, d, nullptr, nullptr);
    if (status == kOfxStatOK || status == kOfxStatReplyDefault)
        descriptor_ = d;
    return status;
}

OfxStatus Plugin::describeInContext(const std::string &context)
{
    descriptors_.push_back(std::make_unique<EffectObject>(false, context));
    EffectObject *d = descriptors_.back().get();
    d->props.defineString(kOfxImageEffectPropContext, {context});
    PropertyStore in("inArgs");
    in.defineString(kOfxImageEffectPropContext, {context});
    OfxStatus status = action(kOfxImageEffectActionDescribeInContext, d, &in, nullptr);
    if (status == kOfxStatOK || status == kOfxStatReplyDefault)
        contextDescriptors_[context] = d;
    return status;
}

EffectObject *Plugin::descriptor() const
{
    return descriptor_;
}

EffectObject *Plugin::contextDescriptor(const std::string &context) const
{
    auto it = contextDescriptors_.find(context);
    return it == contextDescriptors_.end() ? nullptr : it->second;
}

EffectInfo Plugin::info(const std::string &context) const
{
    EffectInfo info;
    if (const EffectObject *d = descriptor_) {
        const PropertyStore &p = d->props;
        info.label = p.getString(kOfxPropLabel);
        info.shortLabel = p.getString(kOfxPropShortLabel);
        info.longLabel = p.getString(kOfxPropLongLabel);
        info.grouping = p.getString(kOfxImageEffectPluginPropGrouping);
        info.description = p.getString(kOfxPropPluginDescription);
        info.renderThreadSafety = p.getString(kOfxImageEffectPluginRenderThreadSafety);
        for (const char *name : {kOfxImageEffectPropOpenCLRenderSupported, kOfxImageEffectPropOpenCLSupported,
                                 kOfxImageEffectPropCudaRenderSupported, kOfxImageEffectPropMetalRenderSupported})
            info.gpuSupport.emplace_back(name, p.has(name) ? p.getString(name) : std::string());
        info.contexts = p.getStrings(kOfxImageEffectPropSupportedContexts);
        info.depths = p.getStrings(kOfxImageEffectPropSupportedPixelDepths);
        info.singleInstance = p.getInt(kOfxImageEffectPluginPropSingleInstance) != 0;
        info.hostFrameThreading = p.getInt(kOfxImageEffectPluginPropHostFrameThreading) != 0;
        info.supportsMultiResolution = p.getInt(kOfxImageEffectPropSupportsMultiResolution) != 0;
        info.supportsTiles = p.getInt(kOfxImageEffectPropSupportsTiles) != 0;
        info.temporalClipAccess = p.getInt(kOfxImageEffectPropTemporalClipAccess) != 0;
        info.fieldRenderTwiceAlways = p.getInt(kOfxImageEffectPluginPropFieldRenderTwiceAlways) != 0;
        info.multipleClipPARs = p.getInt(kOfxImageEffectPropSupportsMultipleClipPARs) != 0;
        info.multipleClipDepths = p.getInt(kOfxImageEffectPropMultipleClipDepths) != 0;
    }
    const EffectObject *c = contextDescriptor(context);
    if (!c)
        return info;
    for (const auto &name : c->clipOrder) {
        const PropertyStore &p = c->findClip(name)->props;
        ClipInfo clip;
        clip.name = name;
        clip.components = p.getStrings(kOfxImageEffectPropSupportedComponents);
        clip.optional = p.getInt(kOfxImageClipPropOptional) != 0;
        clip.isMask = p.getInt(kOfxImageClipPropIsMask) != 0;
        clip.supportsTiles = p.getInt(kOfxImageEffectPropSupportsTiles) != 0;
        clip.temporalClipAccess = p.getInt(kOfxImageEffectPropTemporalClipAccess) != 0;
        info.clips.push_back(clip);
    }
    for (const auto &name : c->params.order) {
        const ParamObject *param = c->params.find(name);
        const PropertyStore &p = param->props;
        ParamInfo pi;
        pi.name = name;
        pi.type = param->type;
        pi.label = p.getString(kOfxPropLabel);
        pi.shortLabel = p.getString(kOfxPropShortLabel);
        pi.longLabel = p.getString(kOfxPropLongLabel);
        pi.hint = p.getString(kOfxParamPropHint);
        pi.animates = p.getInt(kOfxParamPropAnimates) != 0;
        if (param->isNumeric()) {
            pi.defaults = numbers(p, kOfxParamPropDefault);
            pi.min = numbers(p, kOfxParamPropMin);
            pi.max = numbers(p, kOfxParamPropMax);
            pi.displayMin = numbers(p, kOfxParamPropDisplayMin);
            pi.displayMax = numbers(p, kOfxParamPropDisplayMax);
        } else if (p.has(kOfxParamPropDefault)) {
            pi.textDefault = p.getString(kOfxParamPropDefault);
        }
        pi.pageChildren = p.getStrings(kOfxParamPropPageChild);
        pi.choiceOptions = p.getStrings(kOfxParamPropChoiceOption);
        info.params.push_back(pi);
    }
    return info;
}

std::unique_ptr<Instance> Plugin::createInstance(const std::string &context, OfxStatus *status)
{
    const EffectObject *d = contextDescriptor(context);
    auto object = std::make_unique<EffectObject>(true, context);
    if (d) {
        for (const auto &name : d->clipOrder) {
            ClipObject *clip = object->defineClip(name);
            clip->props.copyFrom(d->findClip(name)->props);
            clip->connect(nullptr);
        }
        const auto &overrides = Host::instance().quirks().paramTypeOverrides;
        for (const auto &name : d->params.order) {
            const ParamObject *from = d->params.find(name);
            auto p = std::make_unique<ParamObject>(name, from->type, true);
            p->props.copyFrom(from->props);
            p->resetToDefault();
            auto o = overrides.find(name);
            if (o != overrides.end())
                p->props.defineString(kOfxParamPropType, {o->second});
            object->params.order.push_back(name);
            object->params.params.emplace(name, std::move(p));
        }
    }
    auto instance = std::make_unique<Instance>(*this, std::move(object));
    OfxStatus s = action(kOfxActionCreateInstance, instance->handle(), nullptr, nullptr);
    if (status)
        *status = s;
    if (s != kOfxStatOK && s != kOfxStatReplyDefault) {
        instance->destroy();
        return nullptr;
    }
    ++Host::instance().instancesCreated;
    return instance;
}

std::string Plugin::renderThreadSafety() const
{
    std::string safety;
    if (descriptor_ && descriptor_->props.has(kOfxImageEffectPluginRenderThreadSafety))
        safety = descriptor_->props.getString(kOfxImageEffectPluginRenderThreadSafety);
    return safety.empty() ? kOfxImageEffectRenderInstanceSafe : safety;
}

bool Plugin::supportsOpenCLBuffers() const
{
    return descriptor_ && descriptor_->props.has(kOfxImageEffectPropOpenCLRenderSupported) &&
           descriptor_->props.getString(kOfxImageEffectPropOpenCLRenderSupported) == "true";
}

bool Plugin::supportsOpenCLImages() const
{
    return descriptor_ && descriptor_->props.has(kOfxImageEffectPropOpenCLSupported) &&
           descriptor_->props.getString(kOfxImageEffectPropOpenCLSupported) == "true";
}

bool Plugin::supportsTiles(const std::string &context) const
{
    if (!descriptor_ || descriptor_->props.getInt(kOfxImageEffectPropSupportsTiles) == 0)
        return false;
    const EffectObject *c = contextDescriptor(context);
    if (!c)
        return false;
    for (const auto &clip : c->clips)
        if (clip.second->props.getInt(kOfxImageEffectPropSupportsTiles) == 0)
            return false;
    return true;
}

Instance::Instance(Plugin &plugin, std::unique_ptr<EffectObject> object)
    : plugin_(plugin), object_(std::move(object)), context_(object_->props.getString(kOfxImageEffectPropContext))
{
}

Instance::~Instance()
{
    destroy();
}

void Instance::connect(const std::string &clip, HostImage *image)
{
    if (ClipObject *c = object_->findClip(clip))
        c->connect(image);
}

ParamObject *Instance::param(const std::string &name)
{
    return object_->params.find(name);
}

void Instance::setValue(const std::string &name, std::vector<double> value)
{
    if (ParamObject *p = param(name)) {
        p->value = std::move(value);
        p->value.resize(static_cast<std::size_t>(p->components()), 0.0);
        p->keys.clear();
    }
}

void Instance::setText(const std::string &name, const std::string &text)
{
    if (ParamObject *p = param(name))
        p->text = text;
}

void Instance::setKey(const std::string &name, double time, std::vector<double> value)
{
    if (ParamObject *p = param(name)) {
        value.resize(static_cast<std::size_t>(p->components()), 0.0);
        p->keys[time] = std::move(value);
    }
}

OfxStatus Instance::render(double time, const OfxRectI &window, double renderScale, void *openCLQueue)
{
    const Quirks &q = Host::instance().quirks();
    PropertyStore in("inArgs");
    in.defineDouble(kOfxPropTime, {time});
    in.defineDouble(kOfxImageEffectPropRenderScale, {renderScale, renderScale});
    in.defineInt(kOfxImageEffectPropRenderWindow, {window.x1, window.y1, window.x2, window.y2});
    in.defineString(kOfxImageEffectPropFieldToRender, {q.fieldToRender});
    in.defineInt(kOfxImageEffectPropViewsToRender, {1});
    in.defineInt(kOfxImageEffectPropRenderView, {0});
    if (!q.omitRenderQuality)
        in.defineString(kOfxImageEffectPropRenderQuality, {kOfxImageEffectPropRenderQualityBest});
    if (openCLQueue) {
        in.defineInt(kOfxImageEffectPropOpenCLEnabled, {1});
        in.definePointer(kOfxImageEffectPropOpenCLCommandQueue, {openCLQueue});
    }
    Host &host = Host::instance();
    const unsigned running = ++host.rendersRunning;
    unsigned most = host.mostRendersAtOnce;
    while (running > most && !host.mostRendersAtOnce.compare_exchange_weak(most, running)) {
    }
    const OfxStatus status = action(kOfxImageEffectActionRender, &in, nullptr);
    --host.rendersRunning;
    return status;
}

OfxStatus Instance::regionsOfInterest(double time, double renderScale, const OfxRectD &window,
                                      std::map<std::string, OfxRectD> &regions)
{
    PropertyStore in("inArgs"), out("outArgs");
    in.defineDouble(kOfxPropTime, {time});
    in.defineDouble(kOfxImageEffectPropRenderScale, {renderScale, renderScale});
    in.defineDouble(kOfxImageEffectPropRegionOfInterest, {window.x1, window.y1, window.x2, window.y2});
    regions.clear();
    for (const auto &clip : object_->clipOrder) {
        if (clip == kOfxImageEffectOutputClipName)
            continue;
        regions[clip] = window;
        out.defineDouble(kOfxImageClipPropRoIPrefix + clip, {window.x1, window.y1, window.x2, window.y2});
    }
    const OfxStatus status = action(kOfxImageEffectActionGetRegionsOfInterest, &in, &out);
    if (status == kOfxStatReplyDefault)
        return kOfxStatOK;
    if (status != kOfxStatOK)
        return status;
    for (auto &region : regions) {
        const std::string name = kOfxImageClipPropRoIPrefix + region.first;
        region.second = OfxRectD{out.getDouble(name, 0), out.getDouble(name, 1), out.getDouble(name, 2),
                                 out.getDouble(name, 3)};
    }
    return kOfxStatOK;
}

void Instance::copySettingsFrom(Instance &other)
{
    for (const auto &name : other.object_->params.order) {
        const ParamObject *from = other.object_->params.find(name);
        if (ParamObject *to = param(name)) {
            to->value = from->value;
            to->text = from->text;
            to->keys = from->keys;
        }
    }
    for (const auto &name : other.object_->clipOrder)
        connect(name, other.object_->findClip(name)->image);
}

OfxStatus Instance::action(const char *name, PropertyStore *inArgs, PropertyStore *outArgs)
{
    return plugin_.action(name, handle(), inArgs, outArgs);
}

OfxStatus Instance::destroy()
{
    if (destroyed_)
        return kOfxStatOK;
    destroyed_ = true;
    return action(kOfxActionDestroyInstance, nullptr, nullptr);
}

}  // namespace ofxhost
