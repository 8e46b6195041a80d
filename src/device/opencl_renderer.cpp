#include "device/opencl_renderer.h"

#include <cstring>
#include <vector>

#include "device/split_kernel_source.h"

namespace Zelvo {

OpenCLState::~OpenCLState()
{
    releaseOpenCL(*this);
}

void releaseOpenCL(OpenCLState &s)
{
    const OpenCLApi *cl = s.api;
    if (cl) {
        if (s.clKernel)
            cl->releaseKernel(s.clKernel);
        if (s.clProgram)
            cl->releaseProgram(s.clProgram);
        if (s.clQueue)
            cl->releaseCommandQueue(s.clQueue);
        if (s.clContext)
            cl->releaseContext(s.clContext);
    }
    s.clKernel = nullptr;
    s.clProgram = nullptr;
    s.clQueue = nullptr;
    s.clContext = nullptr;
    s.initialised = false;
}

namespace {

// The first device of the wanted type on the first platform that has one.
bool findDevice(const OpenCLApi &cl, cl_device_type type, cl_device_id &device)
{
    cl_uint count = 0;
    if (cl.getPlatformIDs(0, nullptr, &count) != CL_SUCCESS || count == 0)
        return false;
    std::vector<cl_platform_id> platforms(count);
    if (cl.getPlatformIDs(count, platforms.data(), nullptr) != CL_SUCCESS)
        return false;
    for (cl_platform_id platform : platforms)
        if (cl.getDeviceIDs(platform, type, 1, &device, nullptr) == CL_SUCCESS)
            return true;
    return false;
}

bool setUp(OpenCLState &s)
{
    const OpenCLApi &cl = *s.api;
    cl_device_id device = nullptr;
    if (!findDevice(cl, s.deviceType, device))
        return false;
    cl_int status = CL_SUCCESS;
    s.clContext = cl.createContext(nullptr, 1, &device, nullptr, nullptr, &status);
    if (status != CL_SUCCESS || !s.clContext) {
        s.clContext = nullptr;
        return false;
    }
    s.clQueue = cl.createCommandQueue(s.clContext, device, 0, &status);
    if (status != CL_SUCCESS) {
        releaseOpenCL(s);
        return false;
    }
    const char *source = s.kernelSource ? s.kernelSource : kSplitKernelSource;
    const size_t length = std::strlen(source);
    s.clProgram = cl.createProgramWithSource(s.clContext, 1, &source, &length, &status);
    if (status != CL_SUCCESS || cl.buildProgram(s.clProgram, 1, &device, nullptr, nullptr, nullptr) != CL_SUCCESS) {
        releaseOpenCL(s);
        return false;
    }
    s.clKernel = cl.createKernel(s.clProgram, "splitKernel", &status);
    if (status != CL_SUCCESS) {
        s.clKernel = nullptr;
        releaseOpenCL(s);
        return false;
    }
    s.initialised = true;
    return true;
}

bool acceptable(const SplitKernelJob &job)
{
    if (!job.srcPixels || !job.dstPixels || job.width <= 0 || job.height <= 0)
        return false;
    // Negative pitches (rows stored top down) cannot be described to OpenCL,
    // and a pitch shorter than a row would read outside the image.
    if (job.rowBytes <= 0 || static_cast<long long>(job.rowBytes) < 4LL * job.width)
        return false;
    // The kernel's clamp is undefined below one section and would index past
    // the ten flags above ten.
    if (job.count < 1 || job.count > kMaxSections)
        return false;
    const OfxRectI &r = job.readBack;
    return r.x1 >= 0 && r.y1 >= 0 && r.x2 <= job.width && r.y2 <= job.height && r.x1 <= r.x2 && r.y1 <= r.y2;
}

}  // namespace

bool runSplitKernel(OpenCLState &s, const SplitKernelJob &job)
{
    if (!acceptable(job))
        return false;
    if (job.readBack.x1 == job.readBack.x2 || job.readBack.y1 == job.readBack.y2)
        return true;  // nothing of the frame is asked for
    if (!s.api)
        return false;
    if (!s.initialised && !setUp(s))
        return false;
    const OpenCLApi &cl = *s.api;

    cl_image_format format{CL_RGBA, CL_UNORM_INT8};
    cl_image_desc desc{};
    desc.image_type = CL_MEM_OBJECT_IMAGE2D;
    desc.image_width = static_cast<size_t>(job.width);
    desc.image_height = static_cast<size_t>(job.height);
    desc.image_row_pitch = static_cast<size_t>(job.rowBytes);
    cl_int status = CL_SUCCESS;
    cl_mem src = cl.createImage(s.clContext, CL_MEM_READ_ONLY | CL_MEM_COPY_HOST_PTR, &format, &desc,
                                const_cast<void *>(job.srcPixels), &status);
    if (status != CL_SUCCESS)
        return false;
    desc.image_row_pitch = 0;
    cl_mem dst = cl.createImage(s.clContext, CL_MEM_WRITE_ONLY, &format, &desc, nullptr, &status);
    if (status != CL_SUCCESS) {
        cl.releaseMemObject(src);
        return false;
    }
    cl_int flags[kMaxSections];
    for (int i = 0; i < kMaxSections; ++i)
        flags[i] = job.visible[i] ? 1 : 0;
    cl_mem visible =
        cl.createBuffer(s.clContext, CL_MEM_READ_ONLY | CL_MEM_COPY_HOST_PTR, sizeof flags, flags, &status);
    if (status != CL_SUCCESS) {
        cl.releaseMemObject(dst);
        cl.releaseMemObject(src);
        return false;
    }

    const SectionGeometry &g = job.geometry;
    cl.setKernelArg(s.clKernel, 0, sizeof(cl_mem), &src);
    cl.setKernelArg(s.clKernel, 1, sizeof(cl_mem), &dst);
    cl.setKernelArg(s.clKernel, 2, sizeof(int), &job.width);
    cl.setKernelArg(s.clKernel, 3, sizeof(int), &job.height);
    cl.setKernelArg(s.clKernel, 4, sizeof(float), &g.cosAngle);
    cl.setKernelArg(s.clKernel, 5, sizeof(float), &g.sinAngle);
    cl.setKernelArg(s.clKernel, 6, sizeof(float), &g.centerX);
    cl.setKernelArg(s.clKernel, 7, sizeof(float), &g.centerY);
    cl.setKernelArg(s.clKernel, 8, sizeof(float), &g.maxDist);
    cl.setKernelArg(s.clKernel, 9, sizeof(float), &g.invMaxDist2);
    cl.setKernelArg(s.clKernel, 10, sizeof(int), &job.count);
    cl.setKernelArg(s.clKernel, 11, sizeof(cl_mem), &visible);

    const size_t local[2] = {16, 16};
    const size_t global[2] = {static_cast<size_t>((job.width + 15) / 16) * 16,
                              static_cast<size_t>((job.height + 15) / 16) * 16};
    status = cl.enqueueNDRangeKernel(s.clQueue, s.clKernel, 2, nullptr, global, local, 0, nullptr, nullptr);
    if (status == CL_SUCCESS) {
        const OfxRectI &r = job.readBack;
        const size_t origin[3] = {static_cast<size_t>(r.x1), static_cast<size_t>(r.y1), 0};
        const size_t region[3] = {static_cast<size_t>(r.x2 - r.x1), static_cast<size_t>(r.y2 - r.y1), 1};
        unsigned char *to = static_cast<unsigned char *>(job.dstPixels) +
                            static_cast<size_t>(r.y1) * static_cast<size_t>(job.rowBytes) +
                            static_cast<size_t>(r.x1) * 4;
        // A read-back that fails leaves the destination unwritten: the CPU
        // must render then, not a success be reported.
        status = cl.enqueueReadImage(s.clQueue, dst, CL_TRUE, origin, region, static_cast<size_t>(job.rowBytes), 0,
                                     to, 0, nullptr, nullptr);
    }
    cl.releaseMemObject(visible);
    cl.releaseMemObject(dst);
    cl.releaseMemObject(src);
    return status == CL_SUCCESS;
}

}  // namespace Zelvo
