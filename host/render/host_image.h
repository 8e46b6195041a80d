#pragma once

// Pixel memory the host owns and lends to the plug-in. Each image is placed
// between inaccessible guard pages, so a read or write outside it faults at
// once instead of passing silently.

#include <cstddef>
#include <cstdint>
#include <string>

#include "ofx/ofx_core.h"

namespace ofxhost {

// Half is one no plug-in of ours declares: hosts that hand it anyway are
// what the wrong-depth profile plays.
enum class Depth { Byte, Short, Float, Half };
enum class Components { RGBA, Alpha };

int bytesPerComponent(Depth depth);
int componentCount(Components components);
const char *depthText(Depth depth);
const char *componentsText(Components components);

struct ImageLayout {
    Depth depth = Depth::Byte;
    Components components = Components::RGBA;
    OfxRectI bounds{0, 0, 0, 0};
    bool negativeRowBytes = false;  // rows stored top down
    int rowPadding = 0;             // extra bytes at the end of each row
    bool guardAtStart = false;      // put the image against the lower guard instead of the upper
};

class HostImage {
public:
    explicit HostImage(const ImageLayout &layout);
    // Pixels the caller owns (an array of a scripting language, say), lent
    // as they lie: `data` is the bottom-left pixel and rows are `rowBytes`
    // apart, negative for rows stored top down. No guard pages: the caller
    // vouches for the memory. The layout's row order and padding follow
    // from `rowBytes`.
    HostImage(const ImageLayout &layout, void *data, int rowBytes);
    ~HostImage();
    HostImage(const HostImage &) = delete;
    HostImage &operator=(const HostImage &) = delete;

    const ImageLayout &layout() const { return layout_; }
    const OfxRectI &bounds() const { return layout_.bounds; }
    int width() const { return layout_.bounds.x2 - layout_.bounds.x1; }
    int height() const { return layout_.bounds.y2 - layout_.bounds.y1; }
    int pixelBytes() const;
    int rowBytes() const { return rowBytes_; }
    // Address of the bottom-left pixel, as the image's data property gives it.
    void *data() const { return data_; }
    // Address of pixel (x, y) in the image's own coordinates; null outside.
    unsigned char *pixel(int x, int y) const;
    // Memory of the caller's, not ours.
    bool borrowed() const { return mapping_ == nullptr && data_ != nullptr; }
    // Size of the pixel area in bytes (rows and padding).
    std::size_t byteSize() const { return size_; }
    // Fills every byte of the pixel area, padding included.
    void fill(unsigned char value);

private:
    ImageLayout layout_;
    int rowBytes_ = 0;
    unsigned char *mapping_ = nullptr;
    std::size_t mappingSize_ = 0;
    unsigned char *memory_ = nullptr;  // lowest address of the pixel area
    std::size_t size_ = 0;
    void *data_ = nullptr;
};

}  // namespace ofxhost
