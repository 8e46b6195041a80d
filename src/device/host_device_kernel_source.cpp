#include "device/host_device_kernel_source.h"

namespace Zelvo {

// The rule in the CPU's order and precision, contraction off (py and its
// product are the same whether taken per pixel or per row). Buffer pixels
// are moved as unsigned integers of their size, so float pixels (NaN
// included) are copied bit for bit. A window pixel outside the source is
// transparent black, as on the CPU.
const char *const kHostDeviceKernelSource = R"CLC(
#pragma OPENCL FP_CONTRACT OFF

// The section of column u of a row whose py product is `across`.
inline int sectionOf(int u, float across, float cosAngle, float centerX, float maxDist, float invMaxDist2,
                     int splitCount)
{
    const float px = (float)u - centerX;
    const float along = px * cosAngle;
    const float position = along + across;
    const float normalizedPos = (position + maxDist) * invMaxDist2;
    const int section = (int)(normalizedPos * (float)splitCount);
    return section < 0 ? 0 : section >= splitCount ? splitCount - 1 : section;
}

// Each work-item draws a run of RUN pixels of one row: a CPU device then
// schedules few items, and a GPU still has thousands. Along a row the
// section never decreases or never increases (every single-precision step
// of the rule rounds monotonically), so the row is at most ten spans whose
// ends bisection finds with the rule itself: each span is then one plain
// copy or clear, and the result is the per-pixel rule's.
//
// A kernel names how it reaches its rows (ROWS, once per work-item) and
// its pixels: CLEAR(x) and COPY(x) for column x of the frame.
#define RUN 1024

#define SPLIT_KERNEL(NAME, SRC_DECL, DST_DECL)                                                         \
__kernel void NAME(SRC_DECL, DST_DECL,                                                                 \
                   const int4 window, const int4 srcBounds, const int srcRowPixels,                    \
                   const int4 dstBounds, const int dstRowPixels, const int hasSource,                 \
                   const float cosAngle, const float sinAngle, const float centerX,                   \
                   const float centerY, const float maxDist, const float invMaxDist2,                 \
                   const int splitCount, const uint visible, const int allVisible)                    \
{                                                                                                      \
    const int x0 = window.x + (int)get_global_id(0) * RUN;                                             \
    const int y = window.y + (int)get_global_id(1);                                                    \
    if (x0 >= window.z || y >= window.w)                                                               \
        return;                                                                                        \
    const int x1 = min(x0 + RUN, window.z);                                                            \
    const bool rowInSource = hasSource && y >= srcBounds.y && y < srcBounds.w;                         \
    ROWS                                                                                               \
    const int sx0 = rowInSource ? clamp(srcBounds.x, x0, x1) : x1;                                     \
    const int sx1 = rowInSource ? clamp(srcBounds.z, sx0, x1) : x1;                                    \
    for (int x = x0; x < sx0; ++x)                                                                     \
        CLEAR(x);                                                                                      \
    for (int x = sx1; x < x1; ++x)                                                                     \
        CLEAR(x);                                                                                      \
    if (sx0 >= sx1)                                                                                    \
        return;                                                                                        \
    if (allVisible != 0) {                                                                             \
        for (int x = sx0; x < sx1; ++x)                                                                \
            COPY(x);                                                                                   \
        return;                                                                                        \
    }                                                                                                  \
    const float py = (float)(y - srcBounds.y) - centerY;                                               \
    const float across = py * sinAngle;                                                                \
    const int u1 = sx1 - srcBounds.x;                                                                  \
    const int last = sectionOf(u1 - 1, across, cosAngle, centerX, maxDist, invMaxDist2, splitCount);   \
    for (int u = sx0 - srcBounds.x; u < u1;) {                                                         \
        const int s = sectionOf(u, across, cosAngle, centerX, maxDist, invMaxDist2, splitCount);       \
        int end = u1;                                                                                  \
        if (last != s) {                                                                               \
            int lo = u, hi = u1 - 1;                                                                   \
            while (hi - lo > 1) {                                                                      \
                const int mid = lo + (hi - lo) / 2;                                                    \
                if (sectionOf(mid, across, cosAngle, centerX, maxDist, invMaxDist2, splitCount) == s)  \
                    lo = mid;                                                                          \
                else                                                                                   \
                    hi = mid;                                                                          \
            }                                                                                          \
            end = hi;                                                                                  \
        }                                                                                              \
        const int xa = u + srcBounds.x, xb = end + srcBounds.x;                                        \
        if (((visible >> s) & 1u) != 0)                                                                \
            for (int x = xa; x < xb; ++x)                                                              \
                COPY(x);                                                                               \
        else                                                                                           \
            for (int x = xa; x < xb; ++x)                                                              \
                CLEAR(x);                                                                              \
        u = end;                                                                                       \
    }                                                                                                  \
}

// Buffers: rows of rowPixels pixels from the bounds' bottom row. The source
// row pointer is formed only for a row inside the source.
#define ROWS                                                                                           \
    __global PIXEL *out = dst + (size_t)(y - dstBounds.y) * dstRowPixels - dstBounds.x;                \
    __global const PIXEL *in = rowInSource ? src + (size_t)(y - srcBounds.y) * srcRowPixels - srcBounds.x : 0;
#define CLEAR(x) out[x] = (PIXEL)(0)
#define COPY(x) out[x] = in[x]

#define PIXEL uchar4
SPLIT_KERNEL(splitBuffer8, __global const PIXEL *src, __global PIXEL *dst)
#undef PIXEL
#define PIXEL ushort4
SPLIT_KERNEL(splitBuffer16, __global const PIXEL *src, __global PIXEL *dst)
#undef PIXEL
#define PIXEL uint4
SPLIT_KERNEL(splitBufferFloat, __global const PIXEL *src, __global PIXEL *dst)
#undef PIXEL

#undef ROWS
#undef CLEAR
#undef COPY

// 2-D images: element (0, 0) is the bounds' bottom-left pixel. Channels
// come back as the image's own values: unsigned integers as they are,
// normalised ones through floats that convert back to the same integers.
#define ROWS                                                                                           \
    const int dy = y - dstBounds.y;                                                                    \
    const int sy = y - srcBounds.y;
#define CLEAR(x) WRITE(dst, (int2)((x) - dstBounds.x, dy), (PIXEL)(0))
#define COPY(x) WRITE(dst, (int2)((x) - dstBounds.x, dy), READ(src, (int2)((x) - srcBounds.x, sy)))

#define PIXEL uint4
#define READ read_imageui
#define WRITE write_imageui
SPLIT_KERNEL(splitImageUint, __read_only image2d_t src, __write_only image2d_t dst)
#undef PIXEL
#undef READ
#undef WRITE
#define PIXEL float4
#define READ read_imagef
#define WRITE write_imagef
SPLIT_KERNEL(splitImageFloat, __read_only image2d_t src, __write_only image2d_t dst)
)CLC";

}  // namespace Zelvo
