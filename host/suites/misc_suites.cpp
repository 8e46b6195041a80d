// The small suites: memory, messages, progress, time line and interacts.

#include <cstdarg>
#include <cstdio>
#include <cstdlib>

#include "load/c_boundary.h"
#include "load/call_guard.h"
#include "platform.h"
#include "suites/host.h"
#include "suites/suites.h"

namespace ofxhost {

namespace {

OfxStatus memoryAlloc(void *, size_t nBytes, void **allocatedData)
{
    HOST_CALL("memoryAlloc");
    if (!allocatedData)
        return kOfxStatErrBadHandle;
    *allocatedData = platform::alignedAlloc(16, (nBytes + 15) / 16 * 16 + 16);
    return *allocatedData ? kOfxStatOK : kOfxStatErrMemory;
}

OfxStatus memoryFree(void *allocatedData)
{
    HOST_CALL("memoryFree");
    platform::alignedFree(allocatedData);
    return kOfxStatOK;
}

// Messages go to standard error: the plug-in owns standard output.
OfxStatus vmessage(const char *messageType, const char *messageId, const char *format, va_list args)
{
    std::fprintf(stderr, "[%s%s%s] ", messageType ? messageType : "message", messageId ? " " : "",
                 messageId ? messageId : "");
    if (format)
        std::vfprintf(stderr, format, args);
    std::fputc('\n', stderr);
    return kOfxStatOK;
}

OfxStatus message(void *, const char *messageType, const char *messageId, const char *format, ...)
{
    va_list args;
    va_start(args, format);
    const OfxStatus status = guardedCall([&]() -> OfxStatus {
        HOST_CALL("message");
        return vmessage(messageType, messageId, format, args);
    });
    va_end(args);
    return status;
}

OfxStatus setPersistentMessage(void *, const char *messageType, const char *messageId, const char *format, ...)
{
    va_list args;
    va_start(args, format);
    const OfxStatus status = guardedCall([&]() -> OfxStatus {
        HOST_CALL("setPersistentMessage");
        return vmessage(messageType, messageId, format, args);
    });
    va_end(args);
    return status;
}

OfxStatus clearPersistentMessage(void *)
{
    HOST_CALL("clearPersistentMessage");
    return kOfxStatOK;
}

OfxStatus progressStartV1(void *, const char *)
{
    HOST_CALL("progressStart");
    return kOfxStatOK;
}

OfxStatus progressStartV2(void *, const char *, const char *)
{
    HOST_CALL("progressStart");
    return kOfxStatOK;
}

OfxStatus progressUpdate(void *, double)
{
    HOST_CALL("progressUpdate");
    return Host::instance().quirks().abortAnswer ? kOfxStatReplyNo : kOfxStatOK;
}

OfxStatus progressEnd(void *)
{
    HOST_CALL("progressEnd");
    return kOfxStatOK;
}

OfxStatus getTime(void *, double *time)
{
    HOST_CALL("getTime");
    if (!time)
        return kOfxStatErrBadHandle;
    *time = Host::instance().currentTime();
    return kOfxStatOK;
}

OfxStatus gotoTime(void *, double time)
{
    HOST_CALL("gotoTime");
    Host::instance().setCurrentTime(time);
    return kOfxStatOK;
}

OfxStatus getTimeBounds(void *, double *firstTime, double *lastTime)
{
    HOST_CALL("getTimeBounds");
    if (!firstTime || !lastTime)
        return kOfxStatErrBadHandle;
    *firstTime = Host::instance().firstFrame;
    *lastTime = Host::instance().lastFrame;
    return kOfxStatOK;
}

// This host has no viewer, so interacts have nothing to draw on.
OfxStatus interactSwapBuffers(OfxInteractHandle)
{
    return kOfxStatErrUnsupported;
}

OfxStatus interactRedraw(OfxInteractHandle)
{
    return kOfxStatErrUnsupported;
}

OfxStatus interactGetPropertySet(OfxInteractHandle, OfxPropertySetHandle *)
{
    return kOfxStatErrUnsupported;
}

const OfxMemorySuiteV1 memory = {guarded<memoryAlloc>, guarded<memoryFree>};
const OfxMessageSuiteV1 messageV1 = {message};
const OfxMessageSuiteV2 messageV2 = {message, setPersistentMessage, guarded<clearPersistentMessage>};
const OfxProgressSuiteV1 progressV1 = {guarded<progressStartV1>, guarded<progressUpdate>, guarded<progressEnd>};
const OfxProgressSuiteV2 progressV2 = {guarded<progressStartV2>, guarded<progressUpdate>, guarded<progressEnd>};
const OfxTimeLineSuiteV1 timeLine = {guarded<getTime>, guarded<gotoTime>, guarded<getTimeBounds>};
const OfxInteractSuiteV1 interact = {
    guarded<interactSwapBuffers>, guarded<interactRedraw>, guarded<interactGetPropertySet>};

}  // namespace

const OfxMemorySuiteV1 *memorySuiteTable() { return &memory; }
const OfxMessageSuiteV1 *messageSuiteV1Table() { return &messageV1; }
const OfxMessageSuiteV2 *messageSuiteV2Table() { return &messageV2; }
const OfxProgressSuiteV1 *progressSuiteV1Table() { return &progressV1; }
const OfxProgressSuiteV2 *progressSuiteV2Table() { return &progressV2; }
const OfxTimeLineSuiteV1 *timeLineSuiteTable() { return &timeLine; }
const OfxInteractSuiteV1 *interactSuiteTable() { return &interact; }

}  // namespace ofxhost
