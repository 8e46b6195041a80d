#pragma once

// One OFX plug-in opened for rendering arrays: its declarations, and the
// instances renders borrow, one per render running at once. Every render
// starts from the plug-in's defaults and the values it is given, so renders
// of one effect with other values may run side by side.

#include <memory>
#include <mutex>
#include <optional>
#include <shared_mutex>
#include <string>
#include <utility>
#include <vector>

#include "load/opened_plugin.h"
#include "render/frame_renderer.h"
#include "render/host_image.h"
#include "render/host_profiles.h"

namespace zelvopy {

struct ParamSetting {
    std::string name;
    std::vector<double> value;                                 // a constant
    std::vector<std::pair<double, std::vector<double>>> keys;  // or keys at times
    std::optional<std::string> text;                           // for text parameters
};

struct RenderRequest {
    double time = 0.0;
    std::vector<ParamSetting> params;  // those not named take their defaults
    ofxhost::RenderHabits habits;
};

class EffectSession {
public:
    // Throws ofxhost::HostError when the binary or the plug-in refuses.
    EffectSession(const std::string &path, int index);
    ~EffectSession();
    EffectSession(const EffectSession &) = delete;
    EffectSession &operator=(const EffectSession &) = delete;

    const ofxhost::EffectInfo &info() const { return info_; }
    const ofxhost::Plugin &plugin() const { return *opened_.plugin; }
    const std::string &context() const { return opened_.context; }
    const std::string &path() const { return opened_.binary->path(); }
    // The clip the array goes to: the first input the context defines.
    const std::string &sourceClip() const { return sourceClip_; }

    // The whole output, from the source (null: the clip has no image).
    ofxhost::FrameResult render(const ofxhost::HostImage *source, ofxhost::HostImage &output,
                                const RenderRequest &request);

private:
    std::unique_ptr<ofxhost::Instance> borrow(OfxStatus &status);
    void giveBack(std::unique_ptr<ofxhost::Instance> instance);
    void apply(ofxhost::Instance &instance, const std::vector<ParamSetting> &settings) const;

    ofxhost::OpenedPlugin opened_;
    ofxhost::EffectInfo info_;
    std::string sourceClip_;
    // Renders hold it shared; creating and destroying an instance hold it
    // alone, as no other action of the plug-in may run beside those.
    std::shared_mutex actions_;
    std::mutex idleLock_;
    std::vector<std::unique_ptr<ofxhost::Instance>> idle_;
};

}  // namespace zelvopy
