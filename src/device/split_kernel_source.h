#pragma once

namespace Zelvo {

// The OpenCL C source of "splitKernel", handed to the compiler unchanged.
extern const char *const kSplitKernelSource;

}  // namespace Zelvo
