#pragma once

// Draws a frame on a GPU host's OpenCL buffers or images, on the host's queue: the
// work is enqueued and not waited for (the host synchronises before it uses
// the output). Programs are built once per context and device and shared by
// every instance; each render makes a kernel object of its own, so no two
// threads ever set the arguments of one kernel.

#include "device/device_frame.h"
#include "device/opencl_api.h"

namespace Zelvo {

// kOfxStatOK when the work is on the queue; kOfxStatGPUOutOfMemory when the
// device ran out of memory; kOfxStatGPURenderFailed for any other failure,
// with nothing left allocated.
OfxStatus enqueueOnHostQueue(const OpenCLApi &api, const DeviceFrame &frame);

// The programs built so far; released at unload.
void releaseHostQueuePrograms();
int hostQueueProgramCount();

}  // namespace Zelvo
