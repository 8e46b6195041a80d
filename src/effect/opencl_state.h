#pragma once

// The OpenCL objects of one effect instance: made by the first render that
// takes the device path and kept for the instance's life. Used by one render
// at a time.

#include "effect/opencl_api.h"

namespace Zelvo {

struct OpenCLState {
    OpenCLState() = default;
    ~OpenCLState();
    OpenCLState(const OpenCLState &) = delete;
    OpenCLState &operator=(const OpenCLState &) = delete;

    cl_context clContext = nullptr;
    cl_command_queue clQueue = nullptr;
    cl_program clProgram = nullptr;
    cl_kernel clKernel = nullptr;
    bool initialised = false;

    // Seams for tests only; production keeps the defaults (the system loader,
    // GPU devices, the real kernel).
    const OpenCLApi *api = OpenCLApi::system();
    cl_device_type deviceType = CL_DEVICE_TYPE_GPU;
    const char *kernelSource = nullptr;
};

// Releases the held objects (kernel, program, queue, context, each if
// present) and marks the state empty; nothing is released twice.
void releaseOpenCL(OpenCLState &state);

}  // namespace Zelvo
