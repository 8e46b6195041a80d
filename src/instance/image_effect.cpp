#include "instance/image_effect.h"

#include "entry/host_suites.h"
#include "ofx/ofx_names.h"
#include "property/raise_status.h"

namespace OFX {

namespace {

const OfxImageEffectSuiteV1 &effects()
{
    return boundSuite(hostSuites().imageEffectSuite);
}

// Withdraws a published instance pointer unless construction completes, so
// that no later action can reach an object that was never fully built.
class PublishedInstance {
public:
    explicit PublishedInstance(const PropertySet &props) : props_(props) {}
    ~PublishedInstance()
    {
        if (!completed_)
            props_.setPointer(kOfxPropInstanceData, nullptr, 0, false);
    }
    void complete() { completed_ = true; }

private:
    const PropertySet &props_;
    bool completed_ = false;
};

}  // namespace

ImageEffect::ImageEffect(OfxImageEffectHandle handle) : effectHandle_(handle)
{
    OfxPropertySetHandle props = nullptr;
    raiseStatus(effects().getPropertySet(handle, &props));
    effectProperties_.setHandle(props);
    effectProperties_.setPointer(kOfxPropInstanceData, this, 0, true);
    PublishedInstance published(effectProperties_);
    context_ = contextFromString(effectProperties_.getString(kOfxImageEffectPropContext, 0, true));
    OfxParamSetHandle params = nullptr;
    raiseStatus(effects().getParamSet(handle, &params));
    bindHandle(params);
    published.complete();
}

ImageEffect::~ImageEffect()
{
    // A host failure here must not stop the clips and parameters from going.
    effectProperties_.setPointer(kOfxPropInstanceData, nullptr, 0, false);
    clips_.clear();
}

Clip *ImageEffect::getClip(const std::string &name)
{
    auto it = clips_.find(name);
    if (it != clips_.end())
        return it->second.get();
    OfxImageClipHandle clip = nullptr;
    OfxPropertySetHandle props = nullptr;
    raiseStatus(effects().clipGetHandle(effectHandle_, name.c_str(), &clip, &props));
    auto wrapper = std::make_unique<Clip>(name, props, clip, this);
    Clip *raw = wrapper.get();
    clips_[name] = std::move(wrapper);
    return raw;
}

bool ImageEffect::abortRequested() const
{
    const OfxImageEffectSuiteV1 *suite = hostSuites().imageEffectSuite;
    return suite && suite->abort(effectHandle_) != 0;
}

}  // namespace OFX
