#pragma once

// How real host applications render, as habits our host can play. Each
// named profile stands for what one kind of application does; its variants
// are the settings it is played with. The frame renderer (frame_renderer.h)
// carries them out.

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "render/host_image.h"

namespace ofxhost {

class DeviceSources;

struct RenderHabits {
    // Render windows of at most this size cut from the frame, left to right
    // and bottom to top; 0 is the frame's whole width or height. Only for
    // plug-ins that declare tiles.
    int tileWidth = 0, tileHeight = 0;
    double renderScale = 1.0;
    bool renderScaleOnImages = true;  // images carry "OfxImageEffectPropRenderScale"
    bool topDown = false;             // images with negative row bytes (otherwise as the host keeps them)
    // The output image of every window is the whole frame's, not the window's.
    bool oversizedOutput = false;
    // Sources reach this many pixels beyond the region of interest (always
    // within the clip's region of definition).
    int sourceMargin = 0;
    // Images in this depth whatever the plug-in declared.
    std::optional<Depth> sourceDepth, outputDepth;
    // Sequences: a new instance for each frame, and frames rendered at once.
    bool shortLivedInstances = false;
    unsigned framesAtOnce = 1;
    // A GPU host: for a plug-in that declares OpenCL support, the images
    // live on our OpenCL device and the render goes on its queue. They are
    // lent as buffers, or as 2-D images (normalised or unsigned-integer
    // channels, float for float) to a plug-in that declares images.
    bool openCL = false;
    enum class DeviceMemory { Buffers, Images, IntegerImages };
    DeviceMemory deviceMemory = DeviceMemory::Buffers;
    unsigned deviceQueue = 0;  // which of the device's queues the renders go on
    // The frame's sources kept on the device, uploaded once and lent whole
    // to every window of this call and of the caller's later calls for the
    // same frame (strips); null: each window lends sources of its own.
    std::shared_ptr<DeviceSources> deviceSources;

    bool tiled() const { return tileWidth > 0 || tileHeight > 0; }
    // One line for messages: "tiles 16x16, top-down rows", "whole frames".
    std::string describe() const;
};

struct HostProfile {
    std::string name;         // "tiled", "proxy", ...
    std::string application;  // the behaviour of real applications it plays
    std::vector<RenderHabits> variants;
};

const std::vector<HostProfile> &hostProfiles();
// Null for a name that is not a profile.
const HostProfile *findHostProfile(const std::string &name);

// Tiles of the size, rows bottom up, sources cut to the region of interest.
RenderHabits tiledHabits(int tileWidth, int tileHeight);

}  // namespace ofxhost
