#include "device/opencl_choice.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <string>

#include "entry/console.h"

namespace Zelvo {

namespace {

std::atomic<OpenCLDevice> chosen{OpenCLDevice::Gpu};
std::atomic<bool> complained{false};
std::atomic<const OpenCLApi *> replacement{nullptr};

const OpenCLApi *currentApi()
{
    const OpenCLApi *api = replacement;
    return api ? api : OpenCLApi::system();
}

}  // namespace

OpenCLDevice parseOpenCLDevice(const char *text, bool &known)
{
    known = true;
    if (!text || !std::strcmp(text, "gpu"))
        return OpenCLDevice::Gpu;
    if (!std::strcmp(text, "any"))
        return OpenCLDevice::Any;
    if (!std::strcmp(text, "off"))
        return OpenCLDevice::Off;
    known = false;
    return OpenCLDevice::Gpu;
}

void chooseOpenCLDevice()
{
    const char *text = std::getenv("ZELVO_OPENCL");
    bool known = true;
    chosen = parseOpenCLDevice(text, known);
    if (!known && !complained.exchange(true)) {
        // The value is the user's: kept short and printable in the line.
        std::string value;
        for (const char *c = text; *c && value.size() < 40; ++c)
            value += (*c >= 0x20 && *c < 0x7f) ? *c : '?';
        const std::string line = "Zelvo: ZELVO_OPENCL=" + value + " is not gpu, any or off; using gpu";
        OFX::consoleMessage(line.c_str());
    }
}

OpenCLDevice chosenOpenCLDevice()
{
    return chosen;
}

std::unique_ptr<OpenCLState> makeOpenCLState(OpenCLDevice device)
{
    switch (device) {
    case OpenCLDevice::Any: return std::make_unique<OpenCLState>(currentApi(), CL_DEVICE_TYPE_ALL);
    case OpenCLDevice::Off: return std::make_unique<OpenCLState>(nullptr, CL_DEVICE_TYPE_GPU);
    case OpenCLDevice::Gpu: break;
    }
    return std::make_unique<OpenCLState>(currentApi(), CL_DEVICE_TYPE_GPU);
}

void useOpenCLApi(const OpenCLApi *api)
{
    replacement = api;
}

}  // namespace Zelvo
