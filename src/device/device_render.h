#pragma once

// The door between the effect and the device code. The effect says what to
// draw (device_frame.h) and calls these; which API draws it, and how, stays
// behind the door. OpenCL is the one API today; CUDA and Metal would join
// here (docs/gpu-rendering.md).

#include <memory>

#include "device/device_frame.h"
#include "ofx/ofx_core.h"

namespace Zelvo {

struct OpenCLState;

// At load: the user's choice (ZELVO_OPENCL) for instances made from now on.
void chooseDevice();
// At unload: the programs built for hosts' queues go.
void releaseDevicePrograms();
// The user has not turned device rendering off: declared to GPU hosts.
bool deviceRenderingAllowed();

// There is an API to draw on a GPU host's memory with, and the user allows it.
bool hostDeviceUsable();
// Puts the frame's work on a GPU host's queue without waiting for it.
// kOfxStatOK when it is queued; kOfxStatGPUOutOfMemory when the device is
// full; kOfxStatGPURenderFailed for anything else, device rendering turned
// off or no API on this machine included.
OfxStatus enqueueOnHostDevice(const DeviceFrame &frame);

// The plug-in's own device, for frames in the host's memory: one per
// instance, used by one render at a time, made without touching the device
// (the first render does).
struct OwnDeviceRelease {
    void operator()(OpenCLState *device) const;
};
using OwnDevice = std::unique_ptr<OpenCLState, OwnDeviceRelease>;
OwnDevice makeOwnDevice();
// False when the device cannot draw the frame: the caller renders it on the CPU.
bool renderOnOwnDevice(OpenCLState &device, const SplitKernelJob &job);

}  // namespace Zelvo
