#include "device/device_render.h"

#include "device/opencl_choice.h"
#include "device/opencl_host_queue.h"
#include "device/opencl_renderer.h"

namespace Zelvo {

void chooseDevice()
{
    chooseOpenCLDevice();
}

void releaseDevicePrograms()
{
    releaseHostQueuePrograms();
}

bool deviceRenderingAllowed()
{
    return chosenOpenCLDevice() != OpenCLDevice::Off;
}

bool hostDeviceUsable()
{
    return OpenCLApi::system() && deviceRenderingAllowed();
}

OfxStatus enqueueOnHostDevice(const DeviceFrame &frame)
{
    if (!hostDeviceUsable())
        return kOfxStatGPURenderFailed;
    return enqueueOnHostQueue(*OpenCLApi::system(), frame);
}

void OwnDeviceRelease::operator()(OpenCLState *device) const
{
    delete device;
}

OwnDevice makeOwnDevice()
{
    return OwnDevice(makeOpenCLState(chosenOpenCLDevice()).release());
}

bool renderOnOwnDevice(OpenCLState &device, const SplitKernelJob &job)
{
    return runSplitKernel(device, job);
}

}  // namespace Zelvo
