#pragma once

#include <cmath>

// The section rule written out plainly, pixel by pixel, as the reference.
inline int referenceSection(int w, int h, double angle, int count, int u, int v)
{
    if (!std::isfinite((-angle * 3.141592653589793) / 180.0))
        angle = 0.0;
    if (count > 10)
        count = 10;
    const double rad = (-angle * 3.141592653589793) / 180.0;
    const float c = static_cast<float>(std::cos(rad));
    const float s = static_cast<float>(std::sin(rad));
    const float cx = static_cast<float>(w) * 0.5f;
    const float cy = static_cast<float>(h) * 0.5f;
    const float a = std::fabs(cy * s);
    const float b = std::fabs(cx * c);
    const float maxDist = a + b;
    const float inv = maxDist > 0.001f ? 1.0f / (maxDist + maxDist) : 0.0f;
    const float px = static_cast<float>(u) - cx;
    const float py = static_cast<float>(v) - cy;
    const float pc = px * c;
    const float ps = py * s;
    const float position = pc + ps;
    const float sum = position + maxDist;
    const float normalized = sum * inv;
    const float scaled = normalized * static_cast<float>(count);
    int section = static_cast<int>(scaled);
    if (section < 0)
        section = 0;
    else if (section >= count)
        section = count - 1;
    return section;
}
