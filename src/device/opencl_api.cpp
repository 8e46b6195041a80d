#include "device/opencl_api.h"

// The system's OpenCL loader, found at run time: the only place where the
// plug-in asks which system it runs on.
#ifdef _WIN32
#include <windows.h>
#define ZELVO_OPENCL_LOADER "OpenCL.dll"
#else
#include <dlfcn.h>
#define ZELVO_OPENCL_LOADER "libOpenCL.so.1"
#endif

namespace Zelvo {

namespace {

void *openLibrary(const char *name)
{
#ifdef _WIN32
    return reinterpret_cast<void *>(LoadLibraryA(name));
#else
    return dlopen(name, RTLD_NOW | RTLD_LOCAL);
#endif
}

void *symbol(void *library, const char *name)
{
#ifdef _WIN32
    return reinterpret_cast<void *>(GetProcAddress(static_cast<HMODULE>(library), name));
#else
    return dlsym(library, name);
#endif
}

template <class F>
bool resolve(void *library, const char *name, F &out)
{
    out = reinterpret_cast<F>(symbol(library, name));
    return out != nullptr;
}

}  // namespace

std::unique_ptr<OpenCLApi> OpenCLApi::load(const char *library)
{
    void *handle = openLibrary(library);
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
        resolve(handle, "clReleaseContext", api->releaseContext) &&
        resolve(handle, "clGetCommandQueueInfo", api->getCommandQueueInfo) &&
        resolve(handle, "clGetMemObjectInfo", api->getMemObjectInfo) &&
        resolve(handle, "clGetImageInfo", api->getImageInfo) && resolve(handle, "clFinish", api->finish);
    return complete ? std::move(api) : nullptr;
}

const OpenCLApi *OpenCLApi::system()
{
    // Loaded once: whether the machine has the loader does not change while
    // the module is loaded.
    static const std::unique_ptr<OpenCLApi> api = load(ZELVO_OPENCL_LOADER);
    return api.get();
}

OpenCLApi::~OpenCLApi()
{
    // The library stays mapped: OpenCL drivers keep threads and handlers
    // that must not lose their code.
}

}  // namespace Zelvo
