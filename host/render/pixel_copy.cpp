#include "render/pixel_copy.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace ofxhost {

OfxRectI intersection(const OfxRectI &a, const OfxRectI &b)
{
    OfxRectI r{std::max(a.x1, b.x1), std::max(a.y1, b.y1), std::min(a.x2, b.x2), std::min(a.y2, b.y2)};
    if (r.x2 < r.x1)
        r.x2 = r.x1;
    if (r.y2 < r.y1)
        r.y2 = r.y1;
    return r;
}

bool isEmpty(const OfxRectI &r)
{
    return r.x2 <= r.x1 || r.y2 <= r.y1;
}

bool sameRect(const OfxRectI &a, const OfxRectI &b)
{
    return a.x1 == b.x1 && a.y1 == b.y1 && a.x2 == b.x2 && a.y2 == b.y2;
}

namespace {

// Coordinates come from products of small integers and scales such as 0.5;
// the tolerance keeps a value that is an integer from rounding outward.
int down(double v)
{
    return static_cast<int>(std::floor(v + 1e-9));
}

int up(double v)
{
    return static_cast<int>(std::ceil(v - 1e-9));
}

double bounded(double v)
{
    return std::isnan(v) ? 0.0 : std::clamp(v, -1e9, 1e9);
}

}  // namespace

OfxRectI toPixels(const OfxRectD &c, double scale)
{
    return OfxRectI{down(bounded(c.x1 * scale)), down(bounded(c.y1 * scale)), up(bounded(c.x2 * scale)),
                    up(bounded(c.y2 * scale))};
}

OfxRectD toCanonical(const OfxRectI &p, double scale)
{
    return OfxRectD{p.x1 / scale, p.y1 / scale, p.x2 / scale, p.y2 / scale};
}

void copyPixels(const HostImage &from, HostImage &to, const OfxRectI &region)
{
    const OfxRectI r = intersection(intersection(region, from.bounds()), to.bounds());
    if (isEmpty(r))
        return;
    const std::size_t bytes = static_cast<std::size_t>(r.x2 - r.x1) * static_cast<std::size_t>(to.pixelBytes());
    for (int y = r.y1; y < r.y2; ++y)
        std::memcpy(to.pixel(r.x1, y), from.pixel(r.x1, y), bytes);
}

void samplePixels(const HostImage &from, HostImage &to, double scale)
{
    const OfxRectI &f = from.bounds();
    if (isEmpty(f))
        return;
    const int pb = to.pixelBytes();
    auto source = [scale](int i, int lo, int hi) { return std::clamp(down((i + 0.5) / scale), lo, hi - 1); };
    for (int y = to.bounds().y1; y < to.bounds().y2; ++y) {
        const int sy = source(y, f.y1, f.y2);
        for (int x = to.bounds().x1; x < to.bounds().x2; ++x)
            std::memcpy(to.pixel(x, y), from.pixel(source(x, f.x1, f.x2), sy), static_cast<std::size_t>(pb));
    }
}

void fillPattern(HostImage &image)
{
    const int pb = image.pixelBytes();
    for (int y = image.bounds().y1; y < image.bounds().y2; ++y)
        for (int x = image.bounds().x1; x < image.bounds().x2; ++x) {
            unsigned char *p = image.pixel(x, y);
            for (int i = 0; i < pb; ++i)
                p[i] = static_cast<unsigned char>(x * 7 + y * 13 + i * 29);
        }
}

bool holdsOutside(const HostImage &image, const OfxRectI &window, unsigned char value)
{
    const OfxRectI &b = image.bounds();
    const int pb = image.pixelBytes();
    const int padding = image.layout().rowPadding;
    const OfxRectI w = intersection(window, b);
    auto holds = [value](const unsigned char *p, int n) {
        for (int i = 0; i < n; ++i)
            if (p[i] != value)
                return false;
        return true;
    };
    for (int y = b.y1; y < b.y2; ++y) {
        const unsigned char *row = image.pixel(b.x1, y);
        if (!row)
            continue;
        const int width = b.x2 - b.x1;
        if (!holds(row + static_cast<std::ptrdiff_t>(width) * pb, padding))
            return false;
        if (y < w.y1 || y >= w.y2 || isEmpty(w)) {
            if (!holds(row, width * pb))
                return false;
            continue;
        }
        if (!holds(row, (w.x1 - b.x1) * pb) || !holds(image.pixel(w.x2 - 1, y) + pb, (b.x2 - w.x2) * pb))
            return false;
    }
    return true;
}

}  // namespace ofxhost
