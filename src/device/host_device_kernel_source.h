#pragma once

namespace Zelvo {

// The kernels that draw a frame on a GPU host's memory: on buffers, one per
// pixel size (4, 8 and 16 bytes); on 2-D images, one for unsigned-integer
// channels and one for normalised and float channels. Every kernel takes
// the same arguments; each work-item draws a run of one row of the window.
extern const char *const kHostDeviceKernelSource;

}  // namespace Zelvo
