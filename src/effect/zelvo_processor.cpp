#include "effect/zelvo_processor.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

#include "instance/image_effect.h"

using Zelvo::SectionGeometry;

int processorPixelBytes(const OFX::Image &image)
{
    const int bytes = image.pixelDepth() == OFX::eBitDepthUShort  ? 2
                      : image.pixelDepth() == OFX::eBitDepthFloat ? 4
                                                                  : 1;
    return bytes * (image.components() == OFX::ePixelComponentAlpha ? 1 : 4);
}

void ZelvoProcessorBase::setGeometry(const SectionGeometry &g)
{
    cosAngle = g.cosAngle;
    sinAngle = g.sinAngle;
    centerX = g.centerX;
    centerY = g.centerY;
    maxDist = g.maxDist;
    invMaxDist2 = g.invMaxDist2;
}

SectionGeometry ZelvoProcessorBase::geometry() const
{
    SectionGeometry g;
    g.cosAngle = cosAngle;
    g.sinAngle = sinAngle;
    g.centerX = centerX;
    g.centerY = centerY;
    g.maxDist = maxDist;
    g.invMaxDist2 = invMaxDist2;
    // Counts outside 1..10 never reach the rule (see processRows).
    g.splitCount = std::clamp(splitCount, 1, Zelvo::kMaxSections);
    g.splitCountF = static_cast<float>(g.splitCount);
    return g;
}

namespace {

unsigned char *rowAddress(const void *data, int y, int y1, int rowBytes)
{
    return static_cast<unsigned char *>(const_cast<void *>(data)) +
           static_cast<std::ptrdiff_t>(static_cast<long long>(y) - y1) * rowBytes;
}

// Along one row the section never decreases, or never increases: every
// single-precision step of the rule is a monotonic rounding. So a row is at
// most ten runs, and each run's end is found by bisection with the rule
// itself, which keeps the result identical to evaluating every pixel.
template <class Emit>
void forEachRun(const SectionGeometry &g, int uBegin, int uEnd, int v, Emit emit)
{
    int u = uBegin;
    while (u < uEnd) {
        const int s = Zelvo::sectionAt(g, u, v);
        int runEnd = uEnd;
        if (Zelvo::sectionAt(g, uEnd - 1, v) != s) {
            int lo = u, hi = uEnd - 1;  // section(lo) == s, section(hi) != s
            while (hi - lo > 1) {
                const int mid = lo + (hi - lo) / 2;
                if (Zelvo::sectionAt(g, mid, v) == s)
                    lo = mid;
                else
                    hi = mid;
            }
            runEnd = hi;
        }
        emit(u, runEnd, s);
        u = runEnd;
    }
}

}  // namespace

template <int PixelBytes>
void ZelvoProcessorBase::processRows(const OfxRectI &strip)
{
    const OfxRectI &dstBounds = dstImage->bounds();
    const void *dstData = dstImage->pixelData();
    const int x1 = strip.x1, x2 = strip.x2;
    if (x2 <= x1 || !dstData)
        return;
    auto dstPixel = [&](unsigned char *row, int x) {
        return row + static_cast<std::ptrdiff_t>(static_cast<long long>(x) - dstBounds.x1) * PixelBytes;
    };
    auto clear = [](unsigned char *to, int pixels) {
        std::memset(to, 0, static_cast<std::size_t>(pixels) * PixelBytes);
    };

    if (!srcImg || !srcPixels) {
        for (int y = strip.y1; y < strip.y2; ++y)
            clear(dstPixel(rowAddress(dstData, y, dstBounds.y1, dstRowBytes), x1), x2 - x1);
        return;
    }

    int visible[16] = {0};
    for (int i = 0; i < Zelvo::kMaxSections; ++i)
        visible[i] = sectionVisible[i] ? 1 : 0;
    // Counts above ten are taken as ten; below one no section is tested.
    const int count = std::min(splitCount, Zelvo::kMaxSections);
    bool allVisible = true;
    for (int i = 0; i < count; ++i)
        allVisible = allVisible && sectionVisible[i];
    const SectionGeometry g = geometry();

    // Columns of the window that have a source pixel; the rest is black.
    const int sx1 = std::max(x1, srcBounds.x1);
    const int sx2 = std::min(x2, srcBounds.x2);

    for (int y = strip.y1; y < strip.y2; ++y) {
        if ((y & 31) == 0 && effect->abortRequested())
            continue;
        unsigned char *dstRow = rowAddress(dstData, y, dstBounds.y1, dstRowBytes);
        if (y < srcBounds.y1 || y >= srcBounds.y2 || sx1 >= sx2) {
            clear(dstPixel(dstRow, x1), x2 - x1);
            continue;
        }
        if (sx1 > x1)
            clear(dstPixel(dstRow, x1), sx1 - x1);
        if (x2 > sx2)
            clear(dstPixel(dstRow, sx2), x2 - sx2);

        const unsigned char *srcRow = rowAddress(srcPixels, y, srcBounds.y1, srcRowBytes);
        auto srcPixel = [&](int x) {
            return srcRow + static_cast<std::ptrdiff_t>(static_cast<long long>(x) - srcBounds.x1) * PixelBytes;
        };
        if (allVisible) {
            std::memcpy(dstPixel(dstRow, sx1), srcPixel(sx1), static_cast<std::size_t>(sx2 - sx1) * PixelBytes);
            continue;
        }

        // Runs of equal visibility are written as one block each.
        const int v = y - srcBounds.y1;
        int pendingStart = sx1;
        int pendingVisible = -1;
        auto flush = [&](int end) {
            if (pendingVisible < 0 || end <= pendingStart)
                return;
            if (pendingVisible)
                std::memcpy(dstPixel(dstRow, pendingStart), srcPixel(pendingStart),
                            static_cast<std::size_t>(end - pendingStart) * PixelBytes);
            else
                clear(dstPixel(dstRow, pendingStart), end - pendingStart);
        };
        forEachRun(g, sx1 - srcBounds.x1, sx2 - srcBounds.x1, v, [&](int ua, int ub, int section) {
            const int xa = ua + srcBounds.x1;
            const int show = visible[section];
            if (show != pendingVisible) {
                flush(xa);
                pendingStart = xa;
                pendingVisible = show;
            }
            (void)ub;
        });
        flush(sx2);
    }
}

template void ZelvoProcessorBase::processRows<4>(const OfxRectI &);
template void ZelvoProcessorBase::processRows<8>(const OfxRectI &);
template void ZelvoProcessorBase::processRows<16>(const OfxRectI &);
