#pragma once

// The host as a GPU host: one OpenCL context and queue on the first device
// the machine offers (PoCL's CPU device where there is no GPU), on which the
// frame renderer keeps the images it lends a plug-in that declares OpenCL
// render support. Buffers hold rows bottom up with positive row bytes, as a
// device keeps them; in 2-D images element (0, 0) is the bottom-left pixel. Built where the OpenCL loader is found; elsewhere
// there is no device and renders stay on the CPU.

#include <atomic>
#include <map>
#include <memory>
#include <mutex>

#include "ofx/ofx_core.h"
#include "render/host_image.h"
#include "render/host_profiles.h"

namespace ofxhost {

class OpenCLDevice {
public:
    // Null when this build or this machine has no OpenCL device; made once.
    static OpenCLDevice *get();
    ~OpenCLDevice();

    // Two queues on the one context, as a host that renders on several.
    static constexpr unsigned kQueues = 2;
    void *queue(unsigned which = 0) const;  // a cl_command_queue
    // A buffer or 2-D image holding the image's pixels, written through the
    // queue; null when the device has no room, cannot hold the depth as such
    // an image, or a fault asked for that.
    void *upload(const HostImage &image, RenderHabits::DeviceMemory memory = RenderHabits::DeviceMemory::Buffers,
                 unsigned which = 0);
    void download(void *memory, HostImage &image, unsigned which = 0);
    void release(void *buffer);
    // Waits for everything on the queue.
    bool finish(unsigned which = 0);
    // The context's reference count: ours, our queues' and our memory's, plus
    // whatever a plug-in still holds (a program or a queue of its own).
    unsigned contextReferences() const;
    int rowBytes(const HostImage &image) const { return image.width() * image.pixelBytes(); }

    std::atomic<unsigned> deviceRenders{0};  // renders the plug-in put on the device
    std::atomic<unsigned> imageRenders{0};   // ... of them on 2-D images
    std::atomic<unsigned> cpuFallbacks{0};   // renders it refused there, done again on the CPU
    std::atomic<unsigned> uploads{0};        // images written to the device
    std::atomic<bool> failNextAllocation{false};  // the next upload answers as a full device

private:
    OpenCLDevice() = default;
    struct Handles;
    std::unique_ptr<Handles> handles_;
};

// Sources kept on the device for one frame: each uploaded once, lent to
// every window that asks for it, released with this object (which the
// frame's caller holds through RenderHabits::deviceSources).
class DeviceSources {
public:
    DeviceSources() = default;
    DeviceSources(const DeviceSources &) = delete;
    DeviceSources &operator=(const DeviceSources &) = delete;
    ~DeviceSources();

    // The image on the device, uploaded on the first request; null when the
    // device has no room for it.
    void *lend(OpenCLDevice &device, const HostImage &image, RenderHabits::DeviceMemory memory, unsigned queue);

private:
    std::mutex mutex_;
    std::map<std::pair<const HostImage *, int>, void *> lent_;
};

}  // namespace ofxhost
