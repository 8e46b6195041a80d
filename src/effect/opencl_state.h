#pragma once

namespace Zelvo {

// The instance's OpenCL objects, created on first use.
struct OpenCLState {
    bool initialised = false;
};

}  // namespace Zelvo
