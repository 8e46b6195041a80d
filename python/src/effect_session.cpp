#include "effect_session.h"

#include "ofx/ofx_names.h"

namespace zelvopy {

EffectSession::EffectSession(const std::string &path, int index) : opened_(ofxhost::openPlugin(path, index))
{
    info_ = opened_.plugin->info(opened_.context);
    for (const auto &clip : info_.clips)
        if (clip.name != kOfxImageEffectOutputClipName) {
            sourceClip_ = clip.name;
            break;
        }
}

EffectSession::~EffectSession()
{
    std::unique_lock<std::shared_mutex> alone(actions_);
    for (auto &instance : idle_)
        instance->destroy();
    idle_.clear();
}

std::unique_ptr<ofxhost::Instance> EffectSession::borrow(OfxStatus &status)
{
    {
        std::lock_guard<std::mutex> lock(idleLock_);
        if (!idle_.empty()) {
            auto instance = std::move(idle_.back());
            idle_.pop_back();
            return instance;
        }
    }
    std::unique_lock<std::shared_mutex> alone(actions_);
    return opened_.plugin->createInstance(opened_.context, &status);
}

void EffectSession::giveBack(std::unique_ptr<ofxhost::Instance> instance)
{
    std::lock_guard<std::mutex> lock(idleLock_);
    idle_.push_back(std::move(instance));
}

void EffectSession::apply(ofxhost::Instance &instance, const std::vector<ParamSetting> &settings) const
{
    for (const auto &p : info_.params) {
        if (!p.defaults.empty())
            instance.setValue(p.name, p.defaults);
        else if (p.type == kOfxParamTypeString)
            instance.setText(p.name, p.textDefault);
    }
    for (const auto &s : settings) {
        if (s.text) {
            instance.setText(s.name, *s.text);
            continue;
        }
        if (s.keys.empty()) {
            instance.setValue(s.name, s.value);
            continue;
        }
        for (const auto &key : s.keys)
            instance.setKey(s.name, key.first, key.second);
    }
}

ofxhost::FrameResult EffectSession::render(const ofxhost::HostImage *source, ofxhost::HostImage &output,
                                           const RenderRequest &request)
{
    ofxhost::FrameResult result;
    std::unique_ptr<ofxhost::Instance> instance = borrow(result.status);
    if (!instance) {
        result.window = output.bounds();
        return result;
    }
    // The instance goes back disconnected, whatever the render threw.
    struct Return {
        EffectSession &session;
        std::unique_ptr<ofxhost::Instance> &instance;
        ~Return()
        {
            instance->connect(kOfxImageEffectOutputClipName, nullptr);
            if (!session.sourceClip_.empty())
                instance->connect(session.sourceClip_, nullptr);
            session.giveBack(std::move(instance));
        }
    } back{*this, instance};
    std::shared_lock<std::shared_mutex> shared(actions_);
    apply(*instance, request.params);
    ofxhost::FrameSources sources;
    if (source && !sourceClip_.empty()) {
        instance->connect(sourceClip_, const_cast<ofxhost::HostImage *>(source));
        sources[sourceClip_] = source;
    }
    instance->connect(kOfxImageEffectOutputClipName, &output);
    return ofxhost::renderFrame(*instance, request.time, sources, output, request.habits);
}

}  // namespace zelvopy
