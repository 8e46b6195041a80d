#include "opencl_device.h"

#include <mutex>
#include <vector>

#include <algorithm>

#ifdef ZELVO_HOST_OPENCL
#include <CL/cl.h>
#endif

namespace ofxhost {

#ifdef ZELVO_HOST_OPENCL

struct OpenCLDevice::Handles {
    cl_context context = nullptr;
    cl_command_queue queue = nullptr;
};

OpenCLDevice *OpenCLDevice::get()
{
    static std::once_flag once;
    static std::unique_ptr<OpenCLDevice> device;
    std::call_once(once, [] {
        cl_platform_id platform = nullptr;
        cl_uint platforms = 0;
        if (clGetPlatformIDs(1, &platform, &platforms) != CL_SUCCESS || platforms == 0)
            return;
        cl_device_id id = nullptr;
        cl_uint devices = 0;
        if (clGetDeviceIDs(platform, CL_DEVICE_TYPE_ALL, 1, &id, &devices) != CL_SUCCESS || devices == 0)
            return;
        cl_int error = CL_SUCCESS;
        auto made = std::unique_ptr<OpenCLDevice>(new OpenCLDevice);
        made->handles_ = std::make_unique<Handles>();
        made->handles_->context = clCreateContext(nullptr, 1, &id, nullptr, nullptr, &error);
        if (error != CL_SUCCESS)
            return;
        made->handles_->queue = clCreateCommandQueue(made->handles_->context, id, 0, &error);
        if (error != CL_SUCCESS) {
            clReleaseContext(made->handles_->context);
            return;
        }
        device = std::move(made);
    });
    return device.get();
}

OpenCLDevice::~OpenCLDevice()
{
    if (handles_) {
        clReleaseCommandQueue(handles_->queue);
        clReleaseContext(handles_->context);
    }
}

void *OpenCLDevice::queue() const
{
    return handles_->queue;
}

void *OpenCLDevice::upload(const HostImage &image)
{
    if (failNextAllocation.exchange(false))
        return nullptr;
    const std::size_t row = static_cast<std::size_t>(rowBytes(image));
    const std::size_t size = std::max<std::size_t>(1, row * static_cast<std::size_t>(image.height()));
    cl_int error = CL_SUCCESS;
    cl_mem buffer = clCreateBuffer(handles_->context, CL_MEM_READ_WRITE, size, nullptr, &error);
    if (error != CL_SUCCESS)
        return nullptr;
    // Bottom row first, as the device holds it, whatever the host image's order.
    std::vector<unsigned char> rows(size);
    for (int y = image.bounds().y1; y < image.bounds().y2; ++y)
        std::copy_n(image.pixel(image.bounds().x1, y), row, rows.data() + (y - image.bounds().y1) * row);
    if (clEnqueueWriteBuffer(handles_->queue, buffer, CL_TRUE, 0, size, rows.data(), 0, nullptr, nullptr) !=
        CL_SUCCESS) {
        clReleaseMemObject(buffer);
        return nullptr;
    }
    return buffer;
}

void OpenCLDevice::download(void *buffer, HostImage &image)
{
    const std::size_t row = static_cast<std::size_t>(rowBytes(image));
    std::vector<unsigned char> rows(row * static_cast<std::size_t>(image.height()));
    if (rows.empty() || clEnqueueReadBuffer(handles_->queue, static_cast<cl_mem>(buffer), CL_TRUE, 0, rows.size(),
                                            rows.data(), 0, nullptr, nullptr) != CL_SUCCESS)
        return;
    for (int y = image.bounds().y1; y < image.bounds().y2; ++y)
        std::copy_n(rows.data() + (y - image.bounds().y1) * row, row, image.pixel(image.bounds().x1, y));
}

void OpenCLDevice::release(void *buffer)
{
    if (buffer)
        clReleaseMemObject(static_cast<cl_mem>(buffer));
}

bool OpenCLDevice::finish()
{
    return clFinish(handles_->queue) == CL_SUCCESS;
}

#else

struct OpenCLDevice::Handles {};

OpenCLDevice *OpenCLDevice::get()
{
    return nullptr;
}

OpenCLDevice::~OpenCLDevice() = default;
void *OpenCLDevice::queue() const { return nullptr; }
void *OpenCLDevice::upload(const HostImage &) { return nullptr; }
void OpenCLDevice::download(void *, HostImage &) {}
void OpenCLDevice::release(void *) {}
bool OpenCLDevice::finish() { return false; }

#endif

}  // namespace ofxhost
