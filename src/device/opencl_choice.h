#pragma once

// Which OpenCL device the render tries, chosen by the environment variable
// ZELVO_OPENCL when the plug-in loads:
//   gpu  the first GPU (the default)
//   any  the first device of any type: the path runs on machines without a
//        GPU too (a CPU runtime such as PoCL)
//   off  never OpenCL, for users whose GPU driver misbehaves
// Any other value acts as the default and is reported once on the console.

#include <memory>

#include "device/opencl_state.h"

namespace Zelvo {

enum class OpenCLDevice { Gpu, Any, Off };

// The device a text names; unknown texts (and none) give Gpu, with
// `known` false for a text that names nothing.
OpenCLDevice parseOpenCLDevice(const char *text, bool &known);

// Reads ZELVO_OPENCL and keeps the choice for instances made from now on.
void chooseOpenCLDevice();
OpenCLDevice chosenOpenCLDevice();

// An empty state for the device; for Off it holds no api, so the OpenCL
// library is not even loaded.
std::unique_ptr<OpenCLState> makeOpenCLState(OpenCLDevice device);

// The entry points states made from now on call: the system's loader (null),
// or a table of a test's own that fails chosen calls.
void useOpenCLApi(const OpenCLApi *api);

}  // namespace Zelvo
