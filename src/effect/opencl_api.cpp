#include "effect/opencl_api.h"

#include <dlfcn.h>

namespace Zelvo {

namespace {

template <class F>
bool resolve(void *library, const char *name, F &out)
{
    out = reinterpret_cast<F>(dlsym(library, name));
    return out != nullptr;
}

}  // namespace

std::unique_ptr<OpenCLApi> OpenCLApi::load(const char *library)
{
    void *handle = dlopen(library, RTLD_NOW | RTLD_LOCAL);
    if (!handle)
        return nullptr;
    auto api = std::make_unique<OpenCLApi>();
    api->library_ = handle;
    const bool complete =
        resolve(handle, "clGetPlatformIDs", api->getPlatformIDs) &&
        resolve(handle, "clGetDeviceIDs", api->getDeviceIDs) &&
        resolve(handle, "clCreateContext", api->createContext) &&
        resolve(handle, "clCreateCommandQueue", api->createCommandQueue) &&
        resolve(handle, "clCreateProgramWithSource", api->createProgramWithSource) &&
        resolve(handle, "clBuildProgram", api->buildProgram) &&
        resolve(handle, "clCreateKernel", api->createKernel) &&
        resolve(handle, "clCreateImage", api->createImage) &&
        resolve(handle, "clCreateBuffer", api->createBuffer) &&
        resolve(handle, "clSetKernelArg", api->setKernelArg) &&
        resolve(handle, "clEnqueueNDRangeKernel", api->enqueueNDRangeKernel) &&
        resolve(handle, "clEnqueueReadImage", api->enqueueReadImage) &&
        resolve(handle, "clReleaseMemObject", api->releaseMemObject) &&
        resolve(handle, "clReleaseKernel", api->releaseKernel) &&
        resolve(handle, "clReleaseProgram", api->releaseProgram) &&
        resolve(handle, "clReleaseCommandQueue", api->releaseCommandQueue) &&
        resolve(handle, "clReleaseContext", api->releaseContext);
    return complete ? std::move(api) : nullptr;
}

const OpenCLApi *OpenCLApi::system()
{
    // Loaded once: whether the machine has the loader does not change while
    // the module is loaded.
    static const std::unique_ptr<OpenCLApi> api = load("libOpenCL.so.1");
    return api.get();
}

OpenCLApi::~OpenCLApi()
{
    // The library stays mapped: OpenCL drivers keep threads and handlers
    // that must not lose their code.
}

}  // namespace Zelvo
