#include "render/opencl_device.h"

#include "platform.h"

#include <mutex>
#include <vector>

#include <algorithm>
#include <string>
#include <type_traits>

#ifdef ZELVO_HOST_OPENCL
#include <CL/cl.h>
#endif

namespace ofxhost {

#ifdef ZELVO_HOST_OPENCL

namespace {

// The loader is found at run time, as the plug-in finds it: a host
// without OpenCL still loads, and only a GPU host's test ever starts the
// runtime's threads.
struct Cl {
    decltype(&::clGetPlatformIDs) getPlatformIDs = nullptr;
    decltype(&::clGetDeviceIDs) getDeviceIDs = nullptr;
    decltype(&::clCreateContext) createContext = nullptr;
    decltype(&::clCreateCommandQueue) createCommandQueue = nullptr;
    decltype(&::clCreateBuffer) createBuffer = nullptr;
    decltype(&::clCreateImage) createImage = nullptr;
    decltype(&::clEnqueueWriteImage) enqueueWriteImage = nullptr;
    decltype(&::clEnqueueReadImage) enqueueReadImage = nullptr;
    decltype(&::clGetMemObjectInfo) getMemObjectInfo = nullptr;
    decltype(&::clEnqueueWriteBuffer) enqueueWriteBuffer = nullptr;
    decltype(&::clEnqueueReadBuffer) enqueueReadBuffer = nullptr;
    decltype(&::clReleaseMemObject) releaseMemObject = nullptr;
    decltype(&::clReleaseCommandQueue) releaseCommandQueue = nullptr;
    decltype(&::clReleaseContext) releaseContext = nullptr;
    decltype(&::clFinish) finish = nullptr;
    decltype(&::clGetContextInfo) getContextInfo = nullptr;
};

const Cl *cl()
{
    static const std::unique_ptr<Cl> table = []() -> std::unique_ptr<Cl> {
        void *library = platform::openSystemLibrary(platform::openCLLoaderName());
        if (!library)
            return nullptr;
        auto t = std::make_unique<Cl>();
        auto get = [library](const char *name, auto &out) {
            out = reinterpret_cast<std::remove_reference_t<decltype(out)>>(platform::librarySymbol(library, name));
            return out != nullptr;
        };
        const bool all = get("clGetPlatformIDs", t->getPlatformIDs) && get("clGetDeviceIDs", t->getDeviceIDs) &&
                         get("clCreateContext", t->createContext) &&
                         get("clCreateCommandQueue", t->createCommandQueue) &&
                         get("clCreateBuffer", t->createBuffer) && get("clCreateImage", t->createImage) &&
                         get("clEnqueueWriteImage", t->enqueueWriteImage) &&
                         get("clEnqueueReadImage", t->enqueueReadImage) &&
                         get("clGetMemObjectInfo", t->getMemObjectInfo) &&
                         get("clEnqueueWriteBuffer", t->enqueueWriteBuffer) &&
                         get("clEnqueueReadBuffer", t->enqueueReadBuffer) &&
                         get("clReleaseMemObject", t->releaseMemObject) &&
                         get("clReleaseCommandQueue", t->releaseCommandQueue) &&
                         get("clReleaseContext", t->releaseContext) && get("clFinish", t->finish) &&
                         get("clGetContextInfo", t->getContextInfo);
        // The library stays mapped: drivers keep threads that need its code.
        return all ? std::move(t) : nullptr;
    }();
    return table.get();
}

}  // namespace

struct OpenCLDevice::Handles {
    cl_context context = nullptr;
    cl_command_queue queues[kQueues] = {};
};

OpenCLDevice *OpenCLDevice::get()
{
    // Made once and kept to the end of the process: the runtime's own
    // threads outlive anything released at exit.
    static std::once_flag once;
    static OpenCLDevice *device = nullptr;
    std::call_once(once, [] {
        if (!cl())
            return;
        // The first device of any platform that has one.
        cl_uint count = 0;
        if (cl()->getPlatformIDs(0, nullptr, &count) != CL_SUCCESS || count == 0)
            return;
        std::vector<cl_platform_id> platforms(count);
        if (cl()->getPlatformIDs(count, platforms.data(), nullptr) != CL_SUCCESS)
            return;
        cl_device_id id = nullptr;
        for (cl_platform_id platform : platforms)
            if (cl()->getDeviceIDs(platform, CL_DEVICE_TYPE_ALL, 1, &id, nullptr) == CL_SUCCESS && id)
                break;
        if (!id)
            return;
        cl_int error = CL_SUCCESS;
        auto made = std::unique_ptr<OpenCLDevice>(new OpenCLDevice);
        made->handles_ = std::make_unique<Handles>();
        made->handles_->context = cl()->createContext(nullptr, 1, &id, nullptr, nullptr, &error);
        if (error != CL_SUCCESS)
            return;
        for (cl_command_queue &queue : made->handles_->queues) {
            queue = cl()->createCommandQueue(made->handles_->context, id, 0, &error);
            if (error != CL_SUCCESS)
                return;  // the destructor releases what was made
        }
        device = made.release();
    });
    return device;
}

OpenCLDevice::~OpenCLDevice()
{
    if (!handles_)
        return;
    for (cl_command_queue queue : handles_->queues)
        if (queue)
            cl()->releaseCommandQueue(queue);
    if (handles_->context)
        cl()->releaseContext(handles_->context);
}

void *OpenCLDevice::queue(unsigned which) const
{
    return handles_->queues[which % kQueues];
}

unsigned OpenCLDevice::contextReferences() const
{
    cl_uint count = 0;
    cl()->getContextInfo(handles_->context, CL_CONTEXT_REFERENCE_COUNT, sizeof count, &count, nullptr);
    return count;
}

namespace {

// The image format a GPU host would pick for the depth: RGBA, normalised or
// unsigned-integer channels, float for float. No channel type: none fits.
cl_image_format imageFormat(Depth depth, RenderHabits::DeviceMemory memory)
{
    const bool integers = memory == RenderHabits::DeviceMemory::IntegerImages;
    cl_image_format f{CL_RGBA, 0};
    if (depth == Depth::Byte)
        f.image_channel_data_type = integers ? CL_UNSIGNED_INT8 : CL_UNORM_INT8;
    else if (depth == Depth::Short)
        f.image_channel_data_type = integers ? CL_UNSIGNED_INT16 : CL_UNORM_INT16;
    else if (depth == Depth::Float)
        f.image_channel_data_type = CL_FLOAT;
    return f;
}

bool isImage(cl_mem memory)
{
    cl_mem_object_type type = 0;
    return cl()->getMemObjectInfo(memory, CL_MEM_TYPE, sizeof type, &type, nullptr) == CL_SUCCESS &&
           type == CL_MEM_OBJECT_IMAGE2D;
}

}  // namespace

void *OpenCLDevice::upload(const HostImage &image, RenderHabits::DeviceMemory memory, unsigned which)
{
    cl_command_queue queue = static_cast<cl_command_queue>(this->queue(which));
    if (failNextAllocation.exchange(false))
        return nullptr;
    const std::size_t row = static_cast<std::size_t>(rowBytes(image));
    const std::size_t size = std::max<std::size_t>(1, row * static_cast<std::size_t>(image.height()));
    // Bottom row first, as the device holds it, whatever the host image's order.
    std::vector<unsigned char> rows(size);
    for (int y = image.bounds().y1; y < image.bounds().y2; ++y)
        std::copy_n(image.pixel(image.bounds().x1, y), row, rows.data() + (y - image.bounds().y1) * row);
    cl_int error = CL_SUCCESS;
    cl_mem lent = nullptr;
    if (memory == RenderHabits::DeviceMemory::Buffers) {
        lent = cl()->createBuffer(handles_->context, CL_MEM_READ_WRITE, size, nullptr, &error);
        if (error == CL_SUCCESS)
            error = cl()->enqueueWriteBuffer(queue, lent, CL_TRUE, 0, size, rows.data(), 0, nullptr, nullptr);
    } else {
        const cl_image_format format = imageFormat(image.layout().depth, memory);
        if (format.image_channel_data_type == 0 || image.width() <= 0 || image.height() <= 0)
            return nullptr;
        cl_image_desc desc{};
        desc.image_type = CL_MEM_OBJECT_IMAGE2D;
        desc.image_width = static_cast<std::size_t>(image.width());
        desc.image_height = static_cast<std::size_t>(image.height());
        lent = cl()->createImage(handles_->context, CL_MEM_READ_WRITE, &format, &desc, nullptr, &error);
        const std::size_t origin[3] = {0, 0, 0};
        const std::size_t region[3] = {desc.image_width, desc.image_height, 1};
        if (error == CL_SUCCESS)
            error = cl()->enqueueWriteImage(queue, lent, CL_TRUE, origin, region, row, 0, rows.data(), 0,
                                            nullptr, nullptr);
    }
    if (error != CL_SUCCESS) {
        if (lent)
            cl()->releaseMemObject(lent);
        return nullptr;
    }
    ++uploads;
    return lent;
}

void OpenCLDevice::download(void *memory, HostImage &image, unsigned which)
{
    cl_command_queue queue = static_cast<cl_command_queue>(this->queue(which));
    const std::size_t row = static_cast<std::size_t>(rowBytes(image));
    std::vector<unsigned char> rows(row * static_cast<std::size_t>(image.height()));
    if (rows.empty())
        return;
    cl_mem lent = static_cast<cl_mem>(memory);
    cl_int error = CL_SUCCESS;
    if (isImage(lent)) {
        const std::size_t origin[3] = {0, 0, 0};
        const std::size_t region[3] = {static_cast<std::size_t>(image.width()),
                                       static_cast<std::size_t>(image.height()), 1};
        error = cl()->enqueueReadImage(queue, lent, CL_TRUE, origin, region, row, 0, rows.data(), 0, nullptr,
                                       nullptr);
    } else {
        error = cl()->enqueueReadBuffer(queue, lent, CL_TRUE, 0, rows.size(), rows.data(), 0, nullptr,
                                        nullptr);
    }
    if (error != CL_SUCCESS)
        return;
    for (int y = image.bounds().y1; y < image.bounds().y2; ++y)
        std::copy_n(rows.data() + (y - image.bounds().y1) * row, row, image.pixel(image.bounds().x1, y));
}

void OpenCLDevice::release(void *buffer)
{
    if (buffer)
        cl()->releaseMemObject(static_cast<cl_mem>(buffer));
}

bool OpenCLDevice::finish(unsigned which)
{
    return cl()->finish(static_cast<cl_command_queue>(queue(which))) == CL_SUCCESS;
}

#else

struct OpenCLDevice::Handles {};

OpenCLDevice *OpenCLDevice::get()
{
    return nullptr;
}

OpenCLDevice::~OpenCLDevice() = default;
void *OpenCLDevice::queue(unsigned) const { return nullptr; }
unsigned OpenCLDevice::contextReferences() const { return 0; }
void *OpenCLDevice::upload(const HostImage &, RenderHabits::DeviceMemory, unsigned) { return nullptr; }
void OpenCLDevice::download(void *, HostImage &, unsigned) {}
void OpenCLDevice::release(void *) {}
bool OpenCLDevice::finish(unsigned) { return false; }

#endif

DeviceSources::~DeviceSources()
{
    if (OpenCLDevice *device = lent_.empty() ? nullptr : OpenCLDevice::get())
        for (const auto &kept : lent_)
            if (kept.second)
                device->release(kept.second);
}

void *DeviceSources::lend(OpenCLDevice &device, const HostImage &image, RenderHabits::DeviceMemory memory,
                          unsigned queue)
{
    std::lock_guard<std::mutex> lock(mutex_);
    const auto key = std::make_pair(&image, static_cast<int>(memory));
    auto found = lent_.find(key);
    if (found != lent_.end())
        return found->second;
    void *lent = device.upload(image, memory, queue);
    if (lent)
        lent_[key] = lent;
    return lent;
}

}  // namespace ofxhost
