// Every OpenCL call of the set-up and of a render failing in turn, through
// the effect as a host drives it: the CPU renders the frame, no OpenCL
// object is left behind, and the next render sets the device up again.
// The calls go to the system's loader (PoCL's CPU device where there is no
// GPU) through a table that counts live objects and fails the chosen call.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <map>
#include <memory>
#include <random>
#include <string>

#include "device/opencl_choice.h"
#include "effect/zelvo_plugin_factory.h"
#include "entry/plugin_registry.h"
#include "environment.h"
#include "faults.h"
#include "load/plugin_driver.h"
#include "reference_rule.h"
#include "render/host_image.h"
#include "suites/host.h"

namespace OFX {
void registerFactories()
{
    factoryList().push_back(&zelvoPluginFactory());
}
}  // namespace OFX

namespace {

struct Recorder {
    const Zelvo::OpenCLApi *real = nullptr;
    std::string failing;  // the call to fail
    int occurrence = 1;   // its nth call within a render (createImage: 1 source, 2 destination)
    std::map<std::string, int> calls;
    int live = 0;         // objects made and not yet released
    int liveMemory = 0;   // of which images and buffers
};
Recorder rec;

bool fails(const char *call)
{
    return ++rec.calls[call] == rec.occurrence && rec.failing == call;
}

template <typename Handle>
Handle made(Handle handle, bool memory = false)
{
    if (handle) {
        ++rec.live;
        rec.liveMemory += memory;
    }
    return handle;
}

cl_int released(cl_int status, bool memory = false)
{
    if (status == CL_SUCCESS) {
        --rec.live;
        rec.liveMemory -= memory;
    }
    return status;
}

template <typename Handle>
Handle refuse(cl_int *status)
{
    if (status)
        *status = CL_OUT_OF_RESOURCES;
    return nullptr;
}

cl_int getPlatformIDs(cl_uint n, cl_platform_id *platforms, cl_uint *count)
{
    return fails("clGetPlatformIDs") ? CL_OUT_OF_HOST_MEMORY : rec.real->getPlatformIDs(n, platforms, count);
}

cl_int getDeviceIDs(cl_platform_id p, cl_device_type type, cl_uint n, cl_device_id *devices, cl_uint *count)
{
    return fails("clGetDeviceIDs") ? CL_DEVICE_NOT_FOUND : rec.real->getDeviceIDs(p, type, n, devices, count);
}

cl_context createContext(const cl_context_properties *props, cl_uint n, const cl_device_id *devices,
                         void(CL_CALLBACK *notify)(const char *, const void *, size_t, void *), void *data,
                         cl_int *status)
{
    if (fails("clCreateContext"))
        return refuse<cl_context>(status);
    return made(rec.real->createContext(props, n, devices, notify, data, status));
}

cl_command_queue createCommandQueue(cl_context c, cl_device_id d, cl_command_queue_properties p, cl_int *status)
{
    if (fails("clCreateCommandQueue"))
        return refuse<cl_command_queue>(status);
    return made(rec.real->createCommandQueue(c, d, p, status));
}

cl_program createProgramWithSource(cl_context c, cl_uint n, const char **text, const size_t *lengths, cl_int *status)
{
    if (fails("clCreateProgramWithSource"))
        return refuse<cl_program>(status);
    return made(rec.real->createProgramWithSource(c, n, text, lengths, status));
}

cl_int buildProgram(cl_program p, cl_uint n, const cl_device_id *d, const char *options,
                    void(CL_CALLBACK *notify)(cl_program, void *), void *data)
{
    return fails("clBuildProgram") ? CL_BUILD_PROGRAM_FAILURE : rec.real->buildProgram(p, n, d, options, notify, data);
}

cl_kernel createKernel(cl_program p, const char *name, cl_int *status)
{
    if (fails("clCreateKernel"))
        return refuse<cl_kernel>(status);
    return made(rec.real->createKernel(p, name, status));
}

cl_mem createImage(cl_context c, cl_mem_flags flags, const cl_image_format *format, const cl_image_desc *desc,
                   void *host, cl_int *status)
{
    if (fails("clCreateImage"))
        return refuse<cl_mem>(status);
    return made(rec.real->createImage(c, flags, format, desc, host, status), true);
}

cl_mem createBuffer(cl_context c, cl_mem_flags flags, size_t size, void *host, cl_int *status)
{
    if (fails("clCreateBuffer"))
        return refuse<cl_mem>(status);
    return made(rec.real->createBuffer(c, flags, size, host, status), true);
}

cl_int enqueueNDRangeKernel(cl_command_queue q, cl_kernel k, cl_uint dims, const size_t *offset,
                            const size_t *global, const size_t *local, cl_uint n, const cl_event *wait,
                            cl_event *event)
{
    if (fails("clEnqueueNDRangeKernel"))
        return CL_OUT_OF_RESOURCES;
    return rec.real->enqueueNDRangeKernel(q, k, dims, offset, global, local, n, wait, event);
}

cl_int enqueueReadImage(cl_command_queue q, cl_mem image, cl_bool blocking, const size_t *origin,
                        const size_t *region, size_t row, size_t slice, void *to, cl_uint n, const cl_event *wait,
                        cl_event *event)
{
    if (fails("clEnqueueReadImage"))
        return CL_OUT_OF_RESOURCES;
    return rec.real->enqueueReadImage(q, image, blocking, origin, region, row, slice, to, n, wait, event);
}

cl_int releaseMemObject(cl_mem m)
{
    return released(rec.real->releaseMemObject(m), true);
}
cl_int releaseKernel(cl_kernel k)
{
    return released(rec.real->releaseKernel(k));
}
cl_int releaseProgram(cl_program p)
{
    return released(rec.real->releaseProgram(p));
}
cl_int releaseCommandQueue(cl_command_queue q)
{
    return released(rec.real->releaseCommandQueue(q));
}
cl_int releaseContext(cl_context c)
{
    return released(rec.real->releaseContext(c));
}
cl_int setKernelArg(cl_kernel k, cl_uint index, size_t size, const void *value)
{
    return rec.real->setKernelArg(k, index, size, value);
}

class OpenCLFallback : public testing::Test {
protected:
    void SetUp() override
    {
        rec = Recorder();
        rec.real = Zelvo::OpenCLApi::system();
        ASSERT_NE(rec.real, nullptr) << "the OpenCL loader is installed by install-deps";
        api.getPlatformIDs = getPlatformIDs;
        api.getDeviceIDs = getDeviceIDs;
        api.createContext = createContext;
        api.createCommandQueue = createCommandQueue;
        api.createProgramWithSource = createProgramWithSource;
        api.buildProgram = buildProgram;
        api.createKernel = createKernel;
        api.createImage = createImage;
        api.createBuffer = createBuffer;
        api.setKernelArg = setKernelArg;
        api.enqueueNDRangeKernel = enqueueNDRangeKernel;
        api.enqueueReadImage = enqueueReadImage;
        api.releaseMemObject = releaseMemObject;
        api.releaseKernel = releaseKernel;
        api.releaseProgram = releaseProgram;
        api.releaseCommandQueue = releaseCommandQueue;
        api.releaseContext = releaseContext;
        Zelvo::useOpenCLApi(&api);

        ofxhost::Host::instance().reset();
        ofxhost::Faults::instance().reset();
        setEnvironment("ZELVO_OPENCL", "any");
        plugin = std::make_unique<ofxhost::Plugin>(OFX::getPlugin(0));
        ASSERT_EQ(plugin->load(), kOfxStatOK);
        ASSERT_EQ(plugin->describe(), kOfxStatOK);
        ASSERT_EQ(plugin->describeInContext("OfxImageEffectContextFilter"), kOfxStatOK);
    }

    void TearDown() override
    {
        plugin->unload();
        plugin.reset();
        Zelvo::useOpenCLApi(nullptr);
        setEnvironment("ZELVO_OPENCL", "off");
    }

    // Renders a random 8-bit frame and checks every byte against the rule.
    // Returns whether the device drew it (no host threads were asked for).
    bool renderAndCheck(ofxhost::Instance &instance, unsigned seed)
    {
        std::mt19937 rng(seed);
        ofxhost::ImageLayout layout;
        layout.bounds = {-9, 4, 58, 41};
        ofxhost::HostImage src(layout), dst(layout);
        for (int y = layout.bounds.y1; y < layout.bounds.y2; ++y)
            for (int i = 0; i < src.width() * 4; ++i)
                src.pixel(layout.bounds.x1, y)[i] = static_cast<unsigned char>(rng());
        instance.connect("Source", &src);
        instance.connect("Output", &dst);
        instance.setValue("splitCount", {3});
        instance.setValue("splitAngle", {120});
        instance.setValue("section2", {0});
        const int threadCalls = ofxhost::Faults::instance().count("multiThread");
        EXPECT_EQ(instance.render(0, layout.bounds), kOfxStatOK);
        for (int y = layout.bounds.y1; y < layout.bounds.y2; ++y)
            for (int x = layout.bounds.x1; x < layout.bounds.x2; ++x) {
                const bool show = referenceSection(67, 37, 120, 3, x + 9, y - 4) != 1;
                for (int i = 0; i < 4; ++i)
                    if (dst.pixel(x, y)[i] != (show ? src.pixel(x, y)[i] : 0)) {
                        ADD_FAILURE() << "pixel " << x << "," << y;
                        return false;
                    }
            }
        instance.connect("Source", nullptr);
        instance.connect("Output", nullptr);
        return ofxhost::Faults::instance().count("multiThread") == threadCalls;
    }

    Zelvo::OpenCLApi api;
    std::unique_ptr<ofxhost::Plugin> plugin;
};

}  // namespace

TEST_F(OpenCLFallback, EveryFailingCallLeavesTheFrameToTheCpuAndTheNextRenderToTheDevice)
{
    struct Case {
        const char *call;
        int occurrence;
        bool duringSetUp;
    } cases[] = {
        {"clGetPlatformIDs", 1, true},          {"clGetDeviceIDs", 1, true},  {"clCreateContext", 1, true},
        {"clCreateCommandQueue", 1, true},      {"clCreateProgramWithSource", 1, true},
        {"clBuildProgram", 1, true},            {"clCreateKernel", 1, true},  {"clCreateImage", 1, false},
        {"clCreateImage", 2, false},            {"clCreateBuffer", 1, false}, {"clEnqueueNDRangeKernel", 1, false},
        {"clEnqueueReadImage", 1, false},
    };
    unsigned seed = 1;
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.call) + " #" + std::to_string(c.occurrence));
        auto instance = plugin->createInstance("OfxImageEffectContextFilter");
        ASSERT_TRUE(instance);
        rec.calls.clear();
        rec.failing = c.call;
        rec.occurrence = c.occurrence;
        EXPECT_FALSE(renderAndCheck(*instance, ++seed)) << "the CPU draws the frame";
        EXPECT_EQ(rec.liveMemory, 0);
        EXPECT_EQ(rec.live, c.duringSetUp ? 0 : 4) << "a failed set-up keeps nothing; a ready one is kept";

        rec.calls.clear();
        rec.failing.clear();
        EXPECT_TRUE(renderAndCheck(*instance, ++seed)) << "the device draws the next frame";
        EXPECT_EQ(rec.calls["clCreateContext"], c.duringSetUp ? 1 : 0);
        EXPECT_EQ(rec.live, 4);
        EXPECT_EQ(rec.liveMemory, 0);
        instance.reset();
        EXPECT_EQ(rec.live, 0) << "the instance's end releases its set-up";
    }
}
