#pragma once

// Rendering whole frames through an instance the way a host of some habits
// does (host_profiles.h): cut into windows, each source cut to the region of
// interest the effect asks for, images lent in the host's own layout, renders
// gated by the plug-in's declared thread safety. The host watches what the
// plug-in writes into the images it lends and reports what should not be
// there; guard pages around every image catch anything beyond.

#include <map>
#include <set>
#include <string>
#include <vector>

#include "load/plugin_driver.h"
#include "ofx/ofx_core.h"
#include "render/host_image.h"
#include "render/host_profiles.h"

namespace ofxhost {

// The frame's input images by clip name, at full scale. Clips not named
// have no image. The instance's clips stay connected as the caller set them:
// their depth and components are what the plug-in is told.
using FrameSources = std::map<std::string, const HostImage *>;

struct FrameResult {
    OfxStatus status = kOfxStatOK;
    bool wroteOutside = false;    // beyond the window in an output image larger than it, or past a row's end
    bool wroteOnFailure = false;  // into the output of a render that failed
    OfxRectI window{0, 0, 0, 0};  // the first window that failed or wrote where it should not
    std::set<std::string> fetched;  // the clips whose images the plug-in fetched, in any window
    unsigned deviceRenders = 0;     // windows the plug-in drew on the GPU host's device
    unsigned imageRenders = 0;      // ... of them on OpenCL images
    unsigned windows = 0;           // render actions sent for the frame
    // What the device answered for windows rendered again on the CPU
    // (kOfxStatGPUOutOfMemory or kOfxStatGPURenderFailed); OK when none was.
    OfxStatus deviceRefusal = kOfxStatOK;
    bool ok() const { return status == kOfxStatOK && !wroteOutside; }
};

// Renders the whole bounds of the output image (pixels at the habits' render
// scale) for the time. The output is written only where the renders
// succeeded; with an output depth of the habits' own, it is not written.
FrameResult renderFrame(Instance &instance, double time, const FrameSources &sources, HostImage &output,
                        const RenderHabits &habits);

struct SequenceFrame {
    double time = 0.0;
    FrameSources sources;
    HostImage *output = nullptr;
    FrameResult result;
};

// Renders every frame with the habits' instance lifetimes and concurrency;
// the project instance holds the parameter values and clip connections that
// a short-lived instance takes over.
void renderSequence(Instance &project, std::vector<SequenceFrame> &frames, const RenderHabits &habits);

}  // namespace ofxhost
