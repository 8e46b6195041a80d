#pragma once

#include <string>

#include "ofx/ofx_core.h"

// The standard's name of a status code, for messages to the user.
inline std::string statusText(OfxStatus status)
{
    static const char *const names[] = {"kOfxStatOK", "kOfxStatFailed", "kOfxStatErrFatal", "kOfxStatErrUnknown",
                                        "kOfxStatErrMissingHostFeature", "kOfxStatErrUnsupported",
                                        "kOfxStatErrExists", "kOfxStatErrFormat", "kOfxStatErrMemory",
                                        "kOfxStatErrBadHandle", "kOfxStatErrBadIndex", "kOfxStatErrValue",
                                        "kOfxStatReplyYes", "kOfxStatReplyNo", "kOfxStatReplyDefault"};
    if (status >= 0 && status <= 14)
        return names[status];
    // The GPU render statuses (the GL ones share their numbers).
    if (status == kOfxStatGPUOutOfMemory)
        return "kOfxStatGPUOutOfMemory";
    if (status == kOfxStatGPURenderFailed)
        return "kOfxStatGPURenderFailed";
    return "status " + std::to_string(status);
}
