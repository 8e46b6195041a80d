#include "array_image.h"

#include <climits>
#include <cstring>
#include <stdexcept>

namespace zelvopy {

namespace {

// The address of pixel (column, row) of the array, row 0 on top.
unsigned char *at(const ArrayView &a, std::int64_t column, std::int64_t row)
{
    return static_cast<unsigned char *>(a.data) + row * a.rowStride + column * a.pixelStride;
}

ofxhost::ImageLayout layoutOf(const ArrayView &a)
{
    if (a.width > INT_MAX || a.height > INT_MAX)
        throw std::invalid_argument("images are at most 2147483647 pixels wide and high");
    ofxhost::ImageLayout layout;
    layout.depth = a.depth;
    layout.bounds = {0, 0, static_cast<int>(a.width), static_cast<int>(a.height)};
    return layout;
}

// Copies one pixel's channels between a packed image and the array.
template <bool IntoArray>
void movePixels(const ArrayView &a, unsigned char *packedRow, std::int64_t row)
{
    const int item = a.itemBytes();
    if (a.pixelStride == 4 * item && a.channelStride == item) {
        IntoArray ? std::memcpy(at(a, 0, row), packedRow, static_cast<std::size_t>(a.width) * 4 * item)
                  : std::memcpy(packedRow, at(a, 0, row), static_cast<std::size_t>(a.width) * 4 * item);
        return;
    }
    for (std::int64_t x = 0; x < a.width; ++x)
        for (int c = 0; c < 4; ++c) {
            unsigned char *element = at(a, x, row) + c * a.channelStride;
            unsigned char *packed = packedRow + (x * 4 + c) * item;
            IntoArray ? std::memcpy(element, packed, item) : std::memcpy(packed, element, item);
        }
}

}  // namespace

bool ArrayView::lendable() const
{
    const std::int64_t item = itemBytes();
    const std::int64_t row = width * 4 * item;
    const std::int64_t stride = height > 1 ? (rowStride < 0 ? -rowStride : rowStride) : row;
    const bool packed = width <= 1 || pixelStride == 4 * item;
    return packed && channelStride == item && reinterpret_cast<std::uintptr_t>(data) % item == 0 &&
           stride % item == 0 && stride >= row && stride <= INT_MAX;
}

std::uintptr_t ArrayView::lowest() const
{
    std::int64_t offset = 0;
    for (const auto &[count, stride] : {std::pair{height, rowStride}, {width, pixelStride}, {std::int64_t(4), channelStride}})
        if (stride < 0)
            offset += (count - 1) * stride;
    return reinterpret_cast<std::uintptr_t>(data) + offset;
}

std::uintptr_t ArrayView::highest() const
{
    std::int64_t offset = itemBytes();
    for (const auto &[count, stride] : {std::pair{height, rowStride}, {width, pixelStride}, {std::int64_t(4), channelStride}})
        if (stride > 0)
            offset += (count - 1) * stride;
    return reinterpret_cast<std::uintptr_t>(data) + offset;
}

bool overlap(const ArrayView &a, const ArrayView &b)
{
    if (a.height == 0 || a.width == 0 || b.height == 0 || b.width == 0)
        return false;
    return a.lowest() < b.highest() && b.lowest() < a.highest();
}

std::unique_ptr<ofxhost::HostImage> lendArray(const ArrayView &a)
{
    const ofxhost::ImageLayout layout = layoutOf(a);
    // OFX's data is the bottom-left pixel: the array's last row.
    const std::int64_t rowBytes = a.height > 1 ? -a.rowStride : -(a.width * 4 * a.itemBytes());
    return std::make_unique<ofxhost::HostImage>(layout, at(a, 0, a.height > 0 ? a.height - 1 : 0),
                                                static_cast<int>(rowBytes));
}

std::unique_ptr<ofxhost::HostImage> copyArray(const ArrayView &a)
{
    ofxhost::ImageLayout layout = layoutOf(a);
    layout.negativeRowBytes = true;  // top row first in memory, as in the array
    auto image = std::make_unique<ofxhost::HostImage>(layout);
    for (std::int64_t row = 0; row < a.height; ++row)
        movePixels<false>(a, image->pixel(0, static_cast<int>(a.height - 1 - row)), row);
    return image;
}

void copyIntoArray(const ofxhost::HostImage &image, const ArrayView &a)
{
    for (std::int64_t row = 0; row < a.height; ++row)
        movePixels<true>(a, image.pixel(0, static_cast<int>(a.height - 1 - row)), row);
}

}  // namespace zelvopy
