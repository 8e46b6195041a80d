#include "effect/section_geometry.h"

#include <cmath>

namespace Zelvo {

SectionGeometry buildSectionGeometry(const OfxRectI &sourceBounds, double angleDegrees, int count)
{
    const double pi = 3.141592653589793;
    double rad = (-angleDegrees * pi) / 180.0;
    if (!std::isfinite(rad))
        rad = (-0.0 * pi) / 180.0;

    SectionGeometry g;
    g.cosAngle = static_cast<float>(std::cos(rad));
    g.sinAngle = static_cast<float>(std::sin(rad));

    // Widened so that extreme bounds cannot overflow; identical for real images.
    const long long w = static_cast<long long>(sourceBounds.x2) - sourceBounds.x1;
    const long long h = static_cast<long long>(sourceBounds.y2) - sourceBounds.y1;
    g.centerX = static_cast<float>(w) * 0.5f;
    g.centerY = static_cast<float>(h) * 0.5f;

    const float a = std::fabs(g.centerY * g.sinAngle);
    const float b = std::fabs(g.centerX * g.cosAngle);
    g.maxDist = a + b;
    g.invMaxDist2 = g.maxDist > 0.001f ? 1.0f / (g.maxDist + g.maxDist) : 0.0f;

    g.splitCount = count < 1 ? 1 : (count > kMaxSections ? kMaxSections : count);
    g.splitCountF = static_cast<float>(g.splitCount);
    return g;
}

}  // namespace Zelvo
