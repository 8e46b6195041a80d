#pragma once

namespace Zelvo {

// The kernels that draw a frame on a GPU host's buffers: one per pixel size
// (4, 8 and 16 bytes), each one work-item per pixel of the render window.
extern const char *const kSplitBufferKernelSource;

}  // namespace Zelvo
