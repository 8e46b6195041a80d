/* Core types of the OpenFX C interface: scalars, value structs, opaque
 * handles, the bootstrap records exchanged between host and plug-in, and the
 * status codes. Plain C, shared by the plug-in and by our own host. */
#ifndef ZELVO_OFX_CORE_H
#define ZELVO_OFX_CORE_H

#include <limits.h>
#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef int OfxStatus;
typedef double OfxTime;

typedef struct OfxRectI { int x1; int y1; int x2; int y2; } OfxRectI;
typedef struct OfxRectD { double x1; double y1; double x2; double y2; } OfxRectD;
typedef struct OfxPointI { int x; int y; } OfxPointI;
typedef struct OfxPointD { double x; double y; } OfxPointD;
typedef struct OfxRangeI { int min; int max; } OfxRangeI;
typedef struct OfxRangeD { double min; double max; } OfxRangeD;

#define kOfxFlagInfiniteMin INT_MIN
#define kOfxFlagInfiniteMax INT_MAX

/* Handles are pointers to structs that are never defined: never dereference. */
typedef struct OfxPropertySetStruct *OfxPropertySetHandle;
typedef struct OfxImageEffectStruct *OfxImageEffectHandle;
typedef struct OfxImageClipStruct *OfxImageClipHandle;
typedef struct OfxParamSetStruct *OfxParamSetHandle;
typedef struct OfxParamStruct *OfxParamHandle;
typedef struct OfxImageMemoryStruct *OfxImageMemoryHandle;
typedef struct OfxMutex *OfxMutexHandle;
typedef struct OfxInteract *OfxInteractHandle;

typedef struct OfxHost {
    OfxPropertySetHandle host;
    const void *(*fetchSuite)(OfxPropertySetHandle host, const char *suiteName, int suiteVersion);
} OfxHost;

typedef OfxStatus(OfxPluginEntryPoint)(const char *action, const void *handle,
                                        OfxPropertySetHandle inArgs, OfxPropertySetHandle outArgs);

typedef struct OfxPlugin {
    const char *pluginApi;
    int apiVersion;
    const char *pluginIdentifier;
    unsigned int pluginVersionMajor;
    unsigned int pluginVersionMinor;
    void (*setHost)(OfxHost *host);
    OfxPluginEntryPoint *mainEntry;
} OfxPlugin;

typedef void(OfxThreadFunctionV1)(unsigned int threadIndex, unsigned int threadMax, void *customArg);

#define kOfxImageEffectPluginApi "OfxImageEffectPluginAPI"
#define kOfxImageEffectPluginApiVersion 1

/* Status codes. */
#define kOfxStatOK 0
#define kOfxStatFailed 1
#define kOfxStatErrFatal 2
#define kOfxStatErrUnknown 3
#define kOfxStatErrMissingHostFeature 4
#define kOfxStatErrUnsupported 5
#define kOfxStatErrExists 6
#define kOfxStatErrFormat 7
#define kOfxStatErrMemory 8
#define kOfxStatErrBadHandle 9
#define kOfxStatErrBadIndex 10
#define kOfxStatErrValue 11
#define kOfxStatReplyYes 12
#define kOfxStatReplyNo 13
#define kOfxStatReplyDefault 14
#define kOfxStatErrImageFormat 1000
#define kOfxStatGPUOutOfMemory 1001
#define kOfxStatGLOutOfMemory 1001
#define kOfxStatGPURenderFailed 1002
#define kOfxStatGLRenderFailed 1002

#ifdef __cplusplus
}
#endif

#endif
