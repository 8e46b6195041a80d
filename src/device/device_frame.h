#pragma once

// What the effect asks a device to draw, the one seam between the effect
// and a GPU API (device_render.h holds the calls): a render on images that
// already live on a GPU host's device, with the host's queue to put the
// work on, or a frame in the host's plain memory for the plug-in's own
// device. OpenCL (buffers on a cl_command_queue) is the one implementation;
// CUDA (device pointers on a stream) and Metal (buffers on a command queue)
// would each be another enqueue function over the same frame
// (docs/gpu-rendering.md).

#include "effect/section_geometry.h"
#include "ofx/ofx_core.h"

namespace Zelvo {

struct DeviceImage {
    enum class Kind { Buffer, Image };
    void *memory = nullptr;       // the API's handle of the image's memory (a cl_mem)
    Kind kind = Kind::Buffer;     // plain memory, or an image the API addresses by coordinates
    OfxRectI bounds{0, 0, 0, 0};  // pixel coordinates, as the image says; row 0 is y1
    int rowBytes = 0;             // buffers: positive, rows bottom up, as the device holds them
    int pixelBytes = 0;           // 4, 8 or 16: four components of 1, 2 or 4 bytes
};

struct DeviceFrame {
    void *queue = nullptr;  // the host's queue; the work is put on it, never waited for
    DeviceImage output;
    DeviceImage source;     // memory null: no source, the window becomes transparent black
    OfxRectI window{0, 0, 0, 0};  // within the output's bounds
    SectionGeometry geometry;     // of the source bounds, count already 1..10
    unsigned visible = 0x3FF;     // bit i: section i shows
    bool allVisible = true;       // every section below the count shows: a plain copy
};

// A whole 8-bit RGBA frame in the host's plain memory, drawn on the
// plug-in's own device and read back (device_render.h).
struct SplitKernelJob {
    const void *srcPixels = nullptr;  // first pixel of the first row
    void *dstPixels = nullptr;        // same layout as the source
    int width = 0;
    int height = 0;
    int rowBytes = 0;                 // of both images; must be positive
    SectionGeometry geometry;
    int count = 2;                    // 1..10, or the job is declined
    bool visible[kMaxSections] = {true, true, true, true, true, true, true, true, true, true};
    // The part of the frame read back into dstPixels, relative to its first
    // pixel; the rest of the destination is left as it is.
    OfxRectI readBack{0, 0, 0, 0};
};

}  // namespace Zelvo
