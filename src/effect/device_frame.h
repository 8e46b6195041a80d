#pragma once

// A render on images that already live on a GPU host's device, with the
// host's queue to put the work on: the one seam between the effect and a
// GPU API. OpenCL (buffers on a cl_command_queue) is the one implementation;
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

}  // namespace Zelvo
