#include "device/split_kernel_source.h"

namespace Zelvo {

// Contraction is off so that every product and sum rounds on its own, as on
// the CPU: the two paths must give the same bytes.
const char *const kSplitKernelSource = R"CLC(
#pragma OPENCL FP_CONTRACT OFF

__kernel void splitKernel(__read_only image2d_t srcImg,
                          __write_only image2d_t dstImg,
                          const int width,
                          const int height,
                          const float cosAngle,
                          const float sinAngle,
                          const float centerX,
                          const float centerY,
                          const float maxDist,
                          const float invMaxDist2,
                          const int splitCount,
                          __constant int* sectionVisible)
{
    const int x = get_global_id(0);
    const int y = get_global_id(1);
    if (x >= width || y >= height)
        return;
    const sampler_t sampler = CLK_NORMALIZED_COORDS_FALSE | CLK_ADDRESS_CLAMP_TO_EDGE | CLK_FILTER_NEAREST;
    const float px = (float)x - centerX;
    const float py = (float)y - centerY;
    const float along = px * cosAngle;
    const float across = py * sinAngle;
    const float position = along + across;
    const float normalizedPos = (position + maxDist) * invMaxDist2;
    int section = (int)(normalizedPos * (float)splitCount);
    section = clamp(section, 0, splitCount - 1);
    float4 pixel = (float4)(0.0f, 0.0f, 0.0f, 0.0f);
    if (sectionVisible[section] != 0)
        pixel = read_imagef(srcImg, sampler, (int2)(x, y));
    write_imagef(dstImg, (int2)(x, y), pixel);
}
)CLC";

}  // namespace Zelvo
