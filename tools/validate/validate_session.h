#pragma once

// What one validation check works with: the plug-in loaded through our host
// (in the check's own process), its declarations, and helpers that render
// with random or chosen parameters into guard-paged images.

#include <memory>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "load/plugin_binary.h"
#include "load/plugin_driver.h"
#include "plugin_ref.h"
#include "render/host_image.h"

// A check fails by throwing this with the reason.
class CheckFailure : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A check that cannot run here (no device to play a GPU host on, nothing
// declared to prove) throws this with the reason: it proved nothing, so it
// is reported as SKIP, never as PASS.
class CheckSkipped : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

void require(bool condition, const std::string &reason);
std::string statusName(OfxStatus status);

class ValidateSession {
public:
    explicit ValidateSession(const PluginRef &plugin);

    ofxhost::PluginBinary &binary() { return *binary_; }
    ofxhost::Plugin &plugin() { return *plugin_; }
    // Loads, describes and describes in the render context.
    void prepare();
    const std::string &context() const { return context_; }
    const ofxhost::EffectInfo &info() const { return info_; }
    std::vector<ofxhost::Depth> depths() const;

    std::unique_ptr<ofxhost::Instance> createInstance();

    // Random values inside the declared ranges for every settable parameter.
    void randomParams(ofxhost::Instance &instance, std::mt19937 &rng);
    // Random in-range values keyed at each of the times (animated parameters).
    void randomKeys(ofxhost::Instance &instance, std::mt19937 &rng, const std::vector<double> &times);
    // Values outside the ranges, NaN and infinities where the type allows.
    void hostileParams(ofxhost::Instance &instance, std::mt19937 &rng);

    struct Frame {
        std::vector<std::unique_ptr<ofxhost::HostImage>> inputs;
        std::unique_ptr<ofxhost::HostImage> output;
    };
    // Random inputs on every clip but "Output", a sentinel-filled output.
    Frame makeFrame(const ofxhost::ImageLayout &layout, std::mt19937 &rng);
    void connect(ofxhost::Instance &instance, Frame &frame);

private:
    std::unique_ptr<ofxhost::PluginBinary> binary_;
    std::unique_ptr<ofxhost::Plugin> plugin_;
    std::string context_;
    ofxhost::EffectInfo info_;
};

// Bytes outside the window, or all bytes when none is given, still hold the sentinel.
bool untouchedOutside(const ofxhost::HostImage &image, const OfxRectI &window, unsigned char sentinel);
bool sameBytes(const ofxhost::HostImage &a, const ofxhost::HostImage &b);
