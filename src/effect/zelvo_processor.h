#pragma once

// The CPU processors: visible sections of the render window are copied from
// the source unchanged, hidden ones become transparent black. One template
// instance per pixel type; the row algorithm depends only on pixel size.

#include <cstdint>

#include "effect/section_geometry.h"
#include "instance/image.h"
#include "processing/image_processor.h"

class ZelvoProcessorBase : public OFX::ImageProcessor {
public:
    explicit ZelvoProcessorBase(OFX::ImageEffect &effect) : ImageProcessor(effect) {}

    void setGeometry(const Zelvo::SectionGeometry &g);
    Zelvo::SectionGeometry geometry() const;

    const OFX::Image *srcImg = nullptr;
    int splitCount = 2;
    bool sectionVisible[Zelvo::kMaxSections] = {true, true, true, true, true, true, true, true, true, true};
    float cosAngle = 1.0f;
    float sinAngle = 0.0f;
    float centerX = 0.0f;
    float centerY = 0.0f;
    float maxDist = 1.0f;
    float invMaxDist2 = 0.5f;
    float splitCountF = 2.0f;
    int srcRowBytes = 0;
    int srcPixelBytes = 0;
    const void *srcPixels = nullptr;
    OfxRectI srcBounds{0, 0, 0, 0};
    int dstRowBytes = 0;
    int dstPixelBytes = 0;

protected:
    // Writes the strip for pixels of PixelBytes bytes (four components).
    template <int PixelBytes>
    void processRows(const OfxRectI &strip);
};

// Bytes of one pixel by the processors' rule: bytes per component by depth
// (Short 2, Float 4, otherwise 1) times components (Alpha 1, otherwise 4).
int processorPixelBytes(const OFX::Image &image);

template <class PIX, int nComponents, int max>
class ZelvoProcessor : public ZelvoProcessorBase {
public:
    using ZelvoProcessorBase::ZelvoProcessorBase;
    ~ZelvoProcessor() override = default;
    void processStrip(const OfxRectI &strip) override
    {
        processRows<static_cast<int>(sizeof(PIX)) * nComponents>(strip);
    }
};

using ZelvoProcessor8 = ZelvoProcessor<std::uint8_t, 4, 255>;
using ZelvoProcessor16 = ZelvoProcessor<std::uint16_t, 4, 65535>;
using ZelvoProcessorFloat = ZelvoProcessor<float, 4, 1>;

extern template void ZelvoProcessorBase::processRows<4>(const OfxRectI &);
extern template void ZelvoProcessorBase::processRows<8>(const OfxRectI &);
extern template void ZelvoProcessorBase::processRows<16>(const OfxRectI &);
