#pragma once

// Renders a whole 8-bit RGBA frame held in plain pixel buffers on an OpenCL
// device. Any failure answers false and the caller renders on the CPU; the
// renderer reports nothing of its own.

#include "device/device_frame.h"
#include "device/opencl_state.h"

namespace Zelvo {

bool runSplitKernel(OpenCLState &state, const SplitKernelJob &job);

}  // namespace Zelvo
