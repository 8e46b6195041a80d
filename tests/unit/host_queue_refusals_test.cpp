// What the device path cannot draw as it is handed is refused with a GPU
// status, never guessed, and nothing is put on the queue: buffers too small
// for their bounds, negative row bytes, images of another size, order or
// depth, a source of another kind or format than the output.

#include <gtest/gtest.h>

#include <vector>

#include "device/opencl_host_queue.h"
#include "ofx/ofx_core.h"

namespace {

using Zelvo::DeviceFrame;
using Zelvo::DeviceImage;
using Kind = DeviceImage::Kind;

class HostQueueRefusals : public ::testing::Test {
protected:
    void SetUp() override
    {
        api = Zelvo::OpenCLApi::system();
        ASSERT_NE(api, nullptr) << "the OpenCL loader is installed by install-deps";
        cl_platform_id platform = nullptr;
        cl_device_id device = nullptr;
        ASSERT_EQ(api->getPlatformIDs(1, &platform, nullptr), CL_SUCCESS);
        ASSERT_EQ(api->getDeviceIDs(platform, CL_DEVICE_TYPE_ALL, 1, &device, nullptr), CL_SUCCESS);
        cl_int error = CL_SUCCESS;
        context = api->createContext(nullptr, 1, &device, nullptr, nullptr, &error);
        ASSERT_EQ(error, CL_SUCCESS);
        queue = api->createCommandQueue(context, device, 0, &error);
        ASSERT_EQ(error, CL_SUCCESS);
    }

    void TearDown() override
    {
        // What was accepted runs before anything goes: the runtime's threads
        // must not be drawing while the process ends.
        if (queue)
            api->finish(queue);
        for (cl_mem m : made)
            api->releaseMemObject(m);
        Zelvo::releaseHostQueuePrograms();
        if (queue)
            api->releaseCommandQueue(queue);
        if (context)
            api->releaseContext(context);
    }

    DeviceImage buffer(std::size_t bytes, const OfxRectI &bounds, int rowBytes, int pixelBytes)
    {
        cl_int error = CL_SUCCESS;
        cl_mem m = api->createBuffer(context, CL_MEM_READ_WRITE, bytes, nullptr, &error);
        EXPECT_EQ(error, CL_SUCCESS);
        made.push_back(m);
        return {m, Kind::Buffer, bounds, rowBytes, pixelBytes};
    }

    DeviceImage image(cl_channel_order order, cl_channel_type type, std::size_t width, std::size_t height,
                      const OfxRectI &bounds, int pixelBytes)
    {
        const cl_image_format format{order, type};
        cl_image_desc desc{};
        desc.image_type = CL_MEM_OBJECT_IMAGE2D;
        desc.image_width = width;
        desc.image_height = height;
        cl_int error = CL_SUCCESS;
        cl_mem m = api->createImage(context, CL_MEM_READ_WRITE, &format, &desc, nullptr, &error);
        EXPECT_EQ(error, CL_SUCCESS);
        made.push_back(m);
        return {m, Kind::Image, bounds, 0, pixelBytes};
    }

    OfxStatus draw(const DeviceImage &output, const DeviceImage &source)
    {
        DeviceFrame f;
        f.queue = queue;
        f.output = output;
        f.source = source;
        f.window = output.bounds;
        return Zelvo::enqueueOnHostQueue(*api, f);
    }

    const Zelvo::OpenCLApi *api = nullptr;
    cl_context context = nullptr;
    cl_command_queue queue = nullptr;
    std::vector<cl_mem> made;
};

const OfxRectI kBounds{0, 0, 8, 4};

}  // namespace

TEST_F(HostQueueRefusals, BuffersThatDoNotHoldTheirBoundsAreRefused)
{
    const DeviceImage fine = buffer(8 * 4 * 4, kBounds, 32, 4);
    EXPECT_EQ(draw(fine, buffer(8 * 4 * 4, kBounds, 32, 4)), kOfxStatOK);
    EXPECT_EQ(draw(fine, buffer(8 * 4 * 4 - 1, kBounds, 32, 4)), kOfxStatGPURenderFailed);  // a byte short
    EXPECT_EQ(draw(buffer(8 * 4 * 4, kBounds, -32, 4), DeviceImage{}), kOfxStatGPURenderFailed);  // top down
    EXPECT_EQ(draw(buffer(8 * 4 * 4, kBounds, 30, 4), DeviceImage{}), kOfxStatGPURenderFailed);   // rows overlap
    EXPECT_EQ(draw(fine, buffer(8 * 4 * 8, kBounds, 64, 8)), kOfxStatGPURenderFailed);  // 16-bit into 8-bit
    EXPECT_EQ(draw(DeviceImage{}, DeviceImage{}), kOfxStatGPURenderFailed);            // no output
    DeviceFrame noQueue;
    noQueue.output = fine;
    EXPECT_EQ(Zelvo::enqueueOnHostQueue(*api, noQueue), kOfxStatGPURenderFailed);
}

TEST_F(HostQueueRefusals, ImagesOfAnotherSizeOrderOrDepthAreRefused)
{
    const DeviceImage fine = image(CL_RGBA, CL_UNORM_INT8, 8, 4, kBounds, 4);
    EXPECT_EQ(draw(fine, image(CL_RGBA, CL_UNORM_INT8, 8, 4, kBounds, 4)), kOfxStatOK);
    EXPECT_EQ(draw(image(CL_RGBA, CL_UNSIGNED_INT16, 8, 4, kBounds, 8), DeviceImage{}), kOfxStatOK);
    EXPECT_EQ(draw(image(CL_RGBA, CL_FLOAT, 8, 4, kBounds, 16), DeviceImage{}), kOfxStatOK);
    EXPECT_EQ(draw(image(CL_RGBA, CL_UNORM_INT8, 7, 4, kBounds, 4), DeviceImage{}), kOfxStatGPURenderFailed);
    EXPECT_EQ(draw(image(CL_RGBA, CL_UNORM_INT8, 8, 5, kBounds, 4), DeviceImage{}), kOfxStatGPURenderFailed);
    EXPECT_EQ(draw(image(CL_BGRA, CL_UNORM_INT8, 8, 4, kBounds, 4), DeviceImage{}), kOfxStatGPURenderFailed);
    EXPECT_EQ(draw(image(CL_RGBA, CL_HALF_FLOAT, 8, 4, kBounds, 16), DeviceImage{}), kOfxStatGPURenderFailed);
    EXPECT_EQ(draw(image(CL_RGBA, CL_UNORM_INT16, 8, 4, kBounds, 4), DeviceImage{}), kOfxStatGPURenderFailed);
    // The source must be the output's kind and channel type.
    EXPECT_EQ(draw(fine, image(CL_RGBA, CL_UNSIGNED_INT8, 8, 4, kBounds, 4)), kOfxStatGPURenderFailed);
    EXPECT_EQ(draw(fine, buffer(8 * 4 * 4, kBounds, 32, 4)), kOfxStatGPURenderFailed);
    // A buffer that claims to be an image is not read as one.
    DeviceImage posing = buffer(8 * 4 * 4, kBounds, 32, 4);
    posing.kind = Kind::Image;
    EXPECT_EQ(draw(posing, DeviceImage{}), kOfxStatGPURenderFailed);
}
