#pragma once

// The OpenCL entry points, resolved at run time from the loader library so
// that the plug-in loads and renders (on the CPU) where no OpenCL exists.

#define CL_TARGET_OPENCL_VERSION 120
#include <CL/cl.h>

#include <memory>

namespace Zelvo {

struct OpenCLApi {
    decltype(&::clGetPlatformIDs) getPlatformIDs = nullptr;
    decltype(&::clGetDeviceIDs) getDeviceIDs = nullptr;
    decltype(&::clCreateContext) createContext = nullptr;
    decltype(&::clCreateCommandQueue) createCommandQueue = nullptr;
    decltype(&::clCreateProgramWithSource) createProgramWithSource = nullptr;
    decltype(&::clBuildProgram) buildProgram = nullptr;
    decltype(&::clCreateKernel) createKernel = nullptr;
    decltype(&::clCreateImage) createImage = nullptr;
    decltype(&::clCreateBuffer) createBuffer = nullptr;
    decltype(&::clSetKernelArg) setKernelArg = nullptr;
    decltype(&::clEnqueueNDRangeKernel) enqueueNDRangeKernel = nullptr;
    decltype(&::clEnqueueReadImage) enqueueReadImage = nullptr;
    decltype(&::clReleaseMemObject) releaseMemObject = nullptr;
    decltype(&::clReleaseKernel) releaseKernel = nullptr;
    decltype(&::clReleaseProgram) releaseProgram = nullptr;
    decltype(&::clReleaseCommandQueue) releaseCommandQueue = nullptr;
    decltype(&::clReleaseContext) releaseContext = nullptr;
    decltype(&::clGetCommandQueueInfo) getCommandQueueInfo = nullptr;
    decltype(&::clGetMemObjectInfo) getMemObjectInfo = nullptr;
    decltype(&::clGetImageInfo) getImageInfo = nullptr;
    // Never called on a host's queue (its work is enqueued, not waited for);
    // for the queues the plug-in's callers own.
    decltype(&::clFinish) finish = nullptr;

    // Null when the library is missing or lacks an entry point.
    static std::unique_ptr<OpenCLApi> load(const char *library);
    // The system's loader ("libOpenCL.so.1", "OpenCL.dll" on Windows), loaded
    // once per process; may be null.
    static const OpenCLApi *system();

    ~OpenCLApi();

private:
    void *library_ = nullptr;
};

}  // namespace Zelvo
