#pragma once

// What one render action sees of its clips. A host that renders a frame as
// several windows, or several frames at once, hands each render images of
// its own: each window's source cut to what the effect asked for, an output
// of the window's size. A scope holds those images for the time of one
// render action, on the thread that sends it and on the threads the
// multi-thread suite starts within it; clipGetImage and
// clipGetRegionOfDefinition answer from it. Without a scope they answer from
// the images connected to the clips.

#include <map>
#include <mutex>
#include <set>
#include <string>

#include "ofx/ofx_core.h"
#include "render/host_image.h"

namespace ofxhost {

class EffectObject;

struct ClipView {
    const HostImage *image = nullptr;  // null: the clip has no image for this render
    void *deviceMemory = nullptr;      // the image on a GPU host's device, if lent so
    int deviceRowBytes = 0;
    bool deviceImage = false;          // that memory is a 2-D image, not a buffer
    OfxRectI regionOfDefinition{0, 0, 0, 0};  // in pixels at the render's scale
    OfxRectD canonicalRegionOfDefinition{0.0, 0.0, 0.0, 0.0};
};

class RenderScope {
public:
    // Installs itself for this thread until it is destroyed.
    RenderScope(const EffectObject *effect, double renderScale, bool scaleOnImages);
    ~RenderScope();
    RenderScope(const RenderScope &) = delete;
    RenderScope &operator=(const RenderScope &) = delete;

    // The scope of this thread's render, if any, when it concerns the effect.
    static const RenderScope *current(const EffectObject *effect);
    // The scope a worker thread inherits from the thread that started it.
    static const RenderScope *inherited();
    class Adopt {
    public:
        explicit Adopt(const RenderScope *scope);
        ~Adopt();

    private:
        const RenderScope *previous_;
    };

    void set(const std::string &clip, const ClipView &view) { clips_[clip] = view; }
    const ClipView *find(const std::string &clip) const;

    // The clips whose images the plug-in fetched in this render.
    void noteFetched(const std::string &clip) const;
    std::set<std::string> fetched() const;

    double renderScale() const { return renderScale_; }
    // One host leaves the render scale off the images of its thumbnails.
    bool scaleOnImages() const { return scaleOnImages_; }

private:
    const EffectObject *effect_;
    double renderScale_;
    bool scaleOnImages_;
    std::map<std::string, ClipView> clips_;
    mutable std::mutex fetchedLock_;
    mutable std::set<std::string> fetched_;
    const RenderScope *previous_;
};

}  // namespace ofxhost
