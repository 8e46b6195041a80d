#pragma once

// Arrays as a scripting language holds images (height x width x 4, row 0 on
// top, strides in bytes of any sign) and the host's images over them.

#include <cstdint>
#include <memory>

#include "render/host_image.h"

namespace zelvopy {

struct ArrayView {
    void *data = nullptr;  // element [0][0][0]
    std::int64_t height = 0, width = 0;
    std::int64_t rowStride = 0, pixelStride = 0, channelStride = 0;  // in bytes
    ofxhost::Depth depth = ofxhost::Depth::Byte;

    int itemBytes() const { return ofxhost::bytesPerComponent(depth); }
    // Each row's pixels packed and aligned, rows at least a row apart and
    // no further than OFX's row bytes reach: lent as they lie.
    bool lendable() const;
    // The bytes the array's elements span.
    std::uintptr_t lowest() const;
    std::uintptr_t highest() const;  // one past the last byte
};

bool overlap(const ArrayView &a, const ArrayView &b);

// The array's own memory as an image of bounds (0, 0, width, height),
// row 0 the top row; only for a lendable array.
std::unique_ptr<ofxhost::HostImage> lendArray(const ArrayView &array);
// A packed copy of the array in the host's memory.
std::unique_ptr<ofxhost::HostImage> copyArray(const ArrayView &array);
// The image's pixels into the array, row 0 from the image's top row.
void copyIntoArray(const ofxhost::HostImage &image, const ArrayView &array);

}  // namespace zelvopy
