#include "effect/split_buffer_kernel_source.h"

namespace Zelvo {

// The rule in the CPU's order and precision, contraction off. Pixels are
// moved as unsigned integers of their size, so float pixels (NaN included)
// are copied bit for bit. A window pixel outside the source is transparent
// black, as on the CPU.
const char *const kSplitBufferKernelSource = R"CLC(
#pragma OPENCL FP_CONTRACT OFF

#define SPLIT_KERNEL(NAME, PIXEL)                                                                      \
__kernel void NAME(__global const PIXEL *src, __global PIXEL *dst,                                     \
                   const int4 window, const int4 srcBounds, const int srcRowPixels,                    \
                   const int4 dstBounds, const int dstRowPixels, const int hasSource,                 \
                   const float cosAngle, const float sinAngle, const float centerX,                   \
                   const float centerY, const float maxDist, const float invMaxDist2,                 \
                   const int splitCount, const uint visible, const int allVisible)                    \
{                                                                                                      \
    const int x = window.x + (int)get_global_id(0);                                                    \
    const int y = window.y + (int)get_global_id(1);                                                    \
    if (x >= window.z || y >= window.w)                                                                \
        return;                                                                                        \
    PIXEL pixel = (PIXEL)(0);                                                                          \
    if (hasSource && x >= srcBounds.x && x < srcBounds.z && y >= srcBounds.y && y < srcBounds.w) {     \
        bool show = allVisible != 0;                                                                   \
        if (!show) {                                                                                   \
            const float px = (float)(x - srcBounds.x) - centerX;                                       \
            const float py = (float)(y - srcBounds.y) - centerY;                                       \
            const float along = px * cosAngle;                                                         \
            const float across = py * sinAngle;                                                        \
            const float position = along + across;                                                     \
            const float normalizedPos = (position + maxDist) * invMaxDist2;                            \
            int section = (int)(normalizedPos * (float)splitCount);                                    \
            section = section < 0 ? 0 : section >= splitCount ? splitCount - 1 : section;              \
            show = ((visible >> section) & 1u) != 0;                                                   \
        }                                                                                              \
        if (show)                                                                                      \
            pixel = src[(size_t)(y - srcBounds.y) * srcRowPixels + (x - srcBounds.x)];                 \
    }                                                                                                  \
    dst[(size_t)(y - dstBounds.y) * dstRowPixels + (x - dstBounds.x)] = pixel;                         \
}

SPLIT_KERNEL(splitBuffer8, uchar4)
SPLIT_KERNEL(splitBuffer16, ushort4)
SPLIT_KERNEL(splitBufferFloat, uint4)
)CLC";

}  // namespace Zelvo
