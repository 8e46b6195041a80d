#pragma once

// Renders a whole 8-bit RGBA frame held in plain pixel buffers on an OpenCL
// device. Any failure answers false and the caller renders on the CPU; the
// renderer reports nothing of its own.

#include "effect/opencl_state.h"
#include "effect/section_geometry.h"
#include "ofx/ofx_core.h"

namespace Zelvo {

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

bool runSplitKernel(OpenCLState &state, const SplitKernelJob &job);

}  // namespace Zelvo
