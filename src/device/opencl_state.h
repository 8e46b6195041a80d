#pragma once

// The OpenCL objects of one effect instance: made by the first render that
// takes the device path and kept for the instance's life. Used by one render
// at a time.

#include "device/opencl_api.h"

namespace Zelvo {

struct OpenCLState {
    // The system's loader and the first GPU.
    OpenCLState() : OpenCLState(OpenCLApi::system(), CL_DEVICE_TYPE_GPU) {}
    // A null api makes no OpenCL call at all: every render declines.
    OpenCLState(const OpenCLApi *api, cl_device_type deviceType) : api(api), deviceType(deviceType) {}
    ~OpenCLState();
    OpenCLState(const OpenCLState &) = delete;
    OpenCLState &operator=(const OpenCLState &) = delete;

    cl_context clContext = nullptr;
    cl_command_queue clQueue = nullptr;
    cl_program clProgram = nullptr;
    cl_kernel clKernel = nullptr;
    bool initialised = false;

    // Where the calls go and which device they ask for (the user's choice,
    // opencl_choice.h); tests also swap the api and the kernel.
    const OpenCLApi *api = nullptr;
    cl_device_type deviceType = CL_DEVICE_TYPE_GPU;
    const char *kernelSource = nullptr;
};

// Releases the held objects (kernel, program, queue, context, each if
// present) and marks the state empty; nothing is released twice.
void releaseOpenCL(OpenCLState &state);

}  // namespace Zelvo
