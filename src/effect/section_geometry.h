#pragma once

// The rule that assigns a pixel to a section: bands of equal width laid across
// the source rectangle in the direction of the angle. Every step is single
// precision in a fixed order; the CPU processors and the OpenCL kernel must
// reproduce it exactly, so never reassociate or fuse its arithmetic.

#include "ofx/ofx_core.h"

namespace Zelvo {

constexpr int kMaxSections = 10;

struct SectionGeometry {
    float cosAngle = 1.0f;
    float sinAngle = 0.0f;
    float centerX = 0.0f;      // half the source width, relative to the source's first column
    float centerY = 0.0f;      // half the source height, relative to the source's first row
    float maxDist = 1.0f;      // half the extent of the source projected on the direction
    float invMaxDist2 = 0.5f;  // 1 / (2 maxDist), or 0 for a degenerate projection
    int splitCount = 2;        // always within 1..kMaxSections
    float splitCountF = 2.0f;
};

// Per-render constants for the source bounds, the angle in degrees and the
// count. A non-finite angle is taken as 0 degrees, and the count is brought
// into 1..kMaxSections, so that no conversion or look-up can go out of range.
SectionGeometry buildSectionGeometry(const OfxRectI &sourceBounds, double angleDegrees, int count);

// Section of the pixel at column u and row v counted from the source's first
// column and row (in storage order). Always within 0..splitCount-1.
inline int sectionAt(const SectionGeometry &g, int u, int v)
{
    const float px = static_cast<float>(u) - g.centerX;
    const float py = static_cast<float>(v) - g.centerY;
    const float position = px * g.cosAngle + py * g.sinAngle;
    const float normalizedPos = (position + g.maxDist) * g.invMaxDist2;
    int section = static_cast<int>(normalizedPos * g.splitCountF);
    if (section < 0)
        section = 0;
    else if (section >= g.splitCount)
        section = g.splitCount - 1;
    return section;
}

}  // namespace Zelvo
