#include "device/opencl_host_queue.h"

#include <map>
#include <mutex>
#include <utility>

#include "device/host_device_kernel_source.h"

namespace Zelvo {

namespace {

constexpr std::size_t kRunPixels = 1024;

struct ProgramCache {
    std::mutex mutex;
    const OpenCLApi *api = nullptr;
    std::map<std::pair<cl_context, cl_device_id>, cl_program> programs;
};

ProgramCache &cache()
{
    static ProgramCache c;
    return c;
}

OfxStatus statusOf(cl_int error)
{
    return error == CL_OUT_OF_RESOURCES || error == CL_MEM_OBJECT_ALLOCATION_FAILURE ||
                   error == CL_OUT_OF_HOST_MEMORY
               ? kOfxStatGPUOutOfMemory
               : kOfxStatGPURenderFailed;
}

// The program of the queue's context and device, built on first use.
cl_program programFor(const OpenCLApi &api, cl_command_queue queue, cl_int &error)
{
    cl_context context = nullptr;
    cl_device_id device = nullptr;
    error = api.getCommandQueueInfo(queue, CL_QUEUE_CONTEXT, sizeof context, &context, nullptr);
    if (error == CL_SUCCESS)
        error = api.getCommandQueueInfo(queue, CL_QUEUE_DEVICE, sizeof device, &device, nullptr);
    if (error != CL_SUCCESS)
        return nullptr;
    ProgramCache &c = cache();
    std::lock_guard<std::mutex> lock(c.mutex);
    auto found = c.programs.find({context, device});
    if (found != c.programs.end())
        return found->second;
    const char *source = kHostDeviceKernelSource;
    cl_program program = api.createProgramWithSource(context, 1, &source, nullptr, &error);
    if (error != CL_SUCCESS)
        return nullptr;
    error = api.buildProgram(program, 1, &device, "-cl-std=CL1.2", nullptr, nullptr);
    if (error != CL_SUCCESS) {
        api.releaseProgram(program);
        return nullptr;
    }
    c.api = &api;
    c.programs[{context, device}] = program;
    return program;
}

// The channel type of a 2-D RGBA image of the bounds' size whose channels
// are the image's depth; 0 for anything else.
cl_channel_type imageChannels(const OpenCLApi &api, const DeviceImage &image)
{
    cl_mem memory = static_cast<cl_mem>(image.memory);
    cl_mem_object_type type = 0;
    cl_image_format format{};
    std::size_t width = 0, height = 0;
    if (api.getMemObjectInfo(memory, CL_MEM_TYPE, sizeof type, &type, nullptr) != CL_SUCCESS ||
        type != CL_MEM_OBJECT_IMAGE2D ||
        api.getImageInfo(memory, CL_IMAGE_FORMAT, sizeof format, &format, nullptr) != CL_SUCCESS ||
        api.getImageInfo(memory, CL_IMAGE_WIDTH, sizeof width, &width, nullptr) != CL_SUCCESS ||
        api.getImageInfo(memory, CL_IMAGE_HEIGHT, sizeof height, &height, nullptr) != CL_SUCCESS)
        return 0;
    const long long boundsWidth = static_cast<long long>(image.bounds.x2) - image.bounds.x1;
    const long long boundsHeight = static_cast<long long>(image.bounds.y2) - image.bounds.y1;
    if (format.image_channel_order != CL_RGBA || boundsWidth != static_cast<long long>(width) ||
        boundsHeight != static_cast<long long>(height))
        return 0;
    const cl_channel_type t = format.image_channel_data_type;
    const bool depth = image.pixelBytes == 4    ? t == CL_UNORM_INT8 || t == CL_UNSIGNED_INT8
                       : image.pixelBytes == 8  ? t == CL_UNORM_INT16 || t == CL_UNSIGNED_INT16
                       : image.pixelBytes == 16 ? t == CL_FLOAT
                                                : false;
    return depth ? t : 0;
}

// The buffer holds every byte the image's bounds and row bytes address.
bool fits(const OpenCLApi &api, const DeviceImage &image)
{
    std::size_t size = 0;
    if (api.getMemObjectInfo(static_cast<cl_mem>(image.memory), CL_MEM_SIZE, sizeof size, &size, nullptr) !=
        CL_SUCCESS)
        return false;
    const long long rows = static_cast<long long>(image.bounds.y2) - image.bounds.y1;
    const long long width = static_cast<long long>(image.bounds.x2) - image.bounds.x1;
    if (rows < 0 || width < 0 || image.rowBytes <= 0 || image.rowBytes % image.pixelBytes != 0 ||
        width * image.pixelBytes > image.rowBytes)
        return false;
    return rows == 0 || static_cast<unsigned long long>(rows * image.rowBytes) <= size;
}

cl_int4 rect(const OfxRectI &r)
{
    cl_int4 v;
    v.s[0] = r.x1;
    v.s[1] = r.y1;
    v.s[2] = r.x2;
    v.s[3] = r.y2;
    return v;
}

// The kernel that draws the frame, or null when its images cannot be
// drawn as they are: the source must be the output's kind and format.
const char *kernelFor(const OpenCLApi &api, const DeviceFrame &f)
{
    const bool hasSource = f.source.memory != nullptr;
    if (!f.output.memory || (hasSource && (f.source.kind != f.output.kind || f.source.pixelBytes != f.output.pixelBytes)))
        return nullptr;
    if (f.output.kind == DeviceImage::Kind::Buffer) {
        if (!fits(api, f.output) || (hasSource && !fits(api, f.source)))
            return nullptr;
        return f.output.pixelBytes == 4 ? "splitBuffer8" : f.output.pixelBytes == 8 ? "splitBuffer16" : "splitBufferFloat";
    }
    const cl_channel_type channels = imageChannels(api, f.output);
    if (channels == 0 || (hasSource && imageChannels(api, f.source) != channels))
        return nullptr;
    return channels == CL_UNSIGNED_INT8 || channels == CL_UNSIGNED_INT16 ? "splitImageUint" : "splitImageFloat";
}

}  // namespace

OfxStatus enqueueOnHostQueue(const OpenCLApi &api, const DeviceFrame &f)
{
    const bool hasSource = f.source.memory != nullptr;
    const char *name = f.queue ? kernelFor(api, f) : nullptr;
    if (!name)
        return kOfxStatGPURenderFailed;
    const OfxRectI &w = f.window;
    if (w.x2 <= w.x1 || w.y2 <= w.y1)
        return kOfxStatOK;
    cl_command_queue queue = static_cast<cl_command_queue>(f.queue);
    cl_int error = CL_SUCCESS;
    cl_program program = programFor(api, queue, error);
    if (!program)
        return statusOf(error);
    cl_kernel kernel = api.createKernel(program, name, &error);
    if (error != CL_SUCCESS)
        return statusOf(error);
    // A source-less frame still binds valid memory to the source argument;
    // the kernel never reads it.
    cl_mem src = static_cast<cl_mem>(hasSource ? f.source.memory : f.output.memory);
    cl_mem dst = static_cast<cl_mem>(f.output.memory);
    const cl_int4 window = rect(w), srcBounds = rect(f.source.bounds), dstBounds = rect(f.output.bounds);
    const bool buffers = f.output.kind == DeviceImage::Kind::Buffer;
    const cl_int srcRowPixels = hasSource && buffers ? f.source.rowBytes / f.source.pixelBytes : 0;
    const cl_int dstRowPixels = buffers ? f.output.rowBytes / f.output.pixelBytes : 0;
    const cl_int source = hasSource ? 1 : 0, count = f.geometry.splitCount, allVisible = f.allVisible ? 1 : 0;
    const cl_uint visible = f.visible;
    const SectionGeometry &g = f.geometry;
    cl_uint arg = 0;
    auto set = [&](std::size_t size, const void *value) {
        if (error == CL_SUCCESS)
            error = api.setKernelArg(kernel, arg, size, value);
        ++arg;
    };
    set(sizeof src, &src);
    set(sizeof dst, &dst);
    set(sizeof window, &window);
    set(sizeof srcBounds, &srcBounds);
    set(sizeof srcRowPixels, &srcRowPixels);
    set(sizeof dstBounds, &dstBounds);
    set(sizeof dstRowPixels, &dstRowPixels);
    set(sizeof source, &source);
    set(sizeof g.cosAngle, &g.cosAngle);
    set(sizeof g.sinAngle, &g.sinAngle);
    set(sizeof g.centerX, &g.centerX);
    set(sizeof g.centerY, &g.centerY);
    set(sizeof g.maxDist, &g.maxDist);
    set(sizeof g.invMaxDist2, &g.invMaxDist2);
    set(sizeof count, &count);
    set(sizeof visible, &visible);
    set(sizeof allVisible, &allVisible);
    if (error == CL_SUCCESS) {
        // One work-item per run of kRunPixels of a row (the kernel's RUN).
        const std::size_t runs = (static_cast<std::size_t>(w.x2 - w.x1) + kRunPixels - 1) / kRunPixels;
        const std::size_t global[2] = {runs, static_cast<std::size_t>(w.y2 - w.y1)};
        error = api.enqueueNDRangeKernel(queue, kernel, 2, nullptr, global, nullptr, 0, nullptr, nullptr);
    }
    // The queue keeps the kernel alive until it has run.
    api.releaseKernel(kernel);
    return error == CL_SUCCESS ? kOfxStatOK : statusOf(error);
}

void releaseHostQueuePrograms()
{
    ProgramCache &c = cache();
    std::lock_guard<std::mutex> lock(c.mutex);
    for (auto &p : c.programs)
        c.api->releaseProgram(p.second);
    c.programs.clear();
}

int hostQueueProgramCount()
{
    ProgramCache &c = cache();
    std::lock_guard<std::mutex> lock(c.mutex);
    return static_cast<int>(c.programs.size());
}

}  // namespace Zelvo
