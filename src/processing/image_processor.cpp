#include "processing/image_processor.h"

#include <algorithm>
#include <cstdint>

namespace OFX {

void stripRows(unsigned h, unsigned i, unsigned n, unsigned &first, unsigned &end)
{
    // Products in 64 bits: equal to the 32-bit rule wherever that one does not wrap.
    const std::uint64_t rows = h;
    first = static_cast<unsigned>(rows * i / n);
    end = static_cast<unsigned>(std::min<std::uint64_t>(rows * (i + 1) / n, rows));
}

void ImageProcessor::runThread(unsigned threadIndex, unsigned threadCount)
{
    // An inverted window is empty.
    const unsigned h = renderWindow.y2 > renderWindow.y1
                           ? static_cast<unsigned>(static_cast<long long>(renderWindow.y2) - renderWindow.y1)
                           : 0u;
    unsigned first = 0, end = 0;
    stripRows(h, threadIndex, threadCount ? threadCount : 1, first, end);
    OfxRectI strip;
    strip.x1 = renderWindow.x1;
    strip.x2 = renderWindow.x2;
    strip.y1 = static_cast<int>(static_cast<long long>(renderWindow.y1) + first);
    strip.y2 = static_cast<int>(static_cast<long long>(renderWindow.y1) + end);
    processStrip(strip);
}

void ImageProcessor::run()
{
    if (!dstImage)
        return;
    if (renderWindow.x1 == renderWindow.x2 && renderWindow.y1 != renderWindow.y2)
        return;
    beforeRun();
    runOnThreads(0);
    afterRun();
}

}  // namespace OFX
