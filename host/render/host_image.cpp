#include "render/host_image.h"

#include <cstring>
#include <new>
#include <stdexcept>

#include "ofx/ofx_names.h"
#include "platform.h"

namespace ofxhost {

int bytesPerComponent(Depth depth)
{
    switch (depth) {
    case Depth::Byte: return 1;
    case Depth::Short:
    case Depth::Half: return 2;
    case Depth::Float: break;
    }
    return 4;
}

int componentCount(Components components)
{
    return components == Components::RGBA ? 4 : 1;
}

const char *depthText(Depth depth)
{
    switch (depth) {
    case Depth::Byte: return kOfxBitDepthByte;
    case Depth::Short: return kOfxBitDepthShort;
    case Depth::Half: return kOfxBitDepthHalf;
    case Depth::Float: break;
    }
    return kOfxBitDepthFloat;
}

const char *componentsText(Components components)
{
    return components == Components::RGBA ? kOfxImageComponentRGBA : kOfxImageComponentAlpha;
}

HostImage::HostImage(const ImageLayout &layout) : layout_(layout)
{
    if (width() < 0 || height() < 0 || layout.rowPadding < 0)
        throw std::invalid_argument("image bounds must not be inverted");
    const long long stride = static_cast<long long>(width()) * pixelBytes() + layout.rowPadding;
    if (stride > 0x7fffffffLL)
        throw std::invalid_argument("image rows too wide");
    rowBytes_ = static_cast<int>(stride);
    size_ = static_cast<std::size_t>(stride) * static_cast<std::size_t>(height());

    const std::size_t page = platform::pageSize();
    const std::size_t body = (size_ + page - 1) / page * page;
    mappingSize_ = body + 2 * page;
    void *map = platform::reservePages(mappingSize_);
    if (!map)
        throw std::bad_alloc();
    mapping_ = static_cast<unsigned char *>(map);
    if (body > 0 && !platform::openPages(mapping_ + page, body)) {
        platform::releasePages(mapping_, mappingSize_);
        throw std::bad_alloc();
    }
    // Fresh pages come zeroed from the system (mmap, VirtualAlloc): a pass
    // to clear them would only touch every page twice.
    memory_ = layout.guardAtStart ? mapping_ + page : mapping_ + page + (body - size_);

    if (layout.negativeRowBytes && height() > 0) {
        data_ = memory_ + static_cast<std::size_t>(stride) * static_cast<std::size_t>(height() - 1);
        rowBytes_ = -rowBytes_;
    } else {
        data_ = memory_;
    }
}

HostImage::HostImage(const ImageLayout &layout, void *data, int rowBytes) : layout_(layout), rowBytes_(rowBytes)
{
    const long long stride = rowBytes < 0 ? -static_cast<long long>(rowBytes) : rowBytes;
    const long long row = static_cast<long long>(width()) * pixelBytes();
    if (width() < 0 || height() < 0 || stride < row)
        throw std::invalid_argument("lent rows must hold the image's width");
    layout_.negativeRowBytes = rowBytes < 0;
    layout_.rowPadding = static_cast<int>(stride - row);
    size_ = static_cast<std::size_t>(stride) * static_cast<std::size_t>(height());
    data_ = data;
    memory_ = static_cast<unsigned char *>(data);
    if (rowBytes < 0 && height() > 0)
        memory_ -= static_cast<std::size_t>(stride) * static_cast<std::size_t>(height() - 1);
}

HostImage::~HostImage()
{
    if (mapping_)
        platform::releasePages(mapping_, mappingSize_);
}

int HostImage::pixelBytes() const
{
    return bytesPerComponent(layout_.depth) * componentCount(layout_.components);
}

unsigned char *HostImage::pixel(int x, int y) const
{
    const OfxRectI &b = layout_.bounds;
    if (x < b.x1 || x >= b.x2 || y < b.y1 || y >= b.y2)
        return nullptr;
    return static_cast<unsigned char *>(data_) + static_cast<std::ptrdiff_t>(y - b.y1) * rowBytes_ +
           static_cast<std::ptrdiff_t>(x - b.x1) * pixelBytes();
}

void HostImage::fill(unsigned char value)
{
    // Between a lent image's rows lie bytes of the caller's, not ours.
    if (borrowed()) {
        for (int y = layout_.bounds.y1; width() > 0 && y < layout_.bounds.y2; ++y)
            std::memset(pixel(layout_.bounds.x1, y), value, static_cast<std::size_t>(width()) * pixelBytes());
        return;
    }
    if (size_ > 0)
        std::memset(memory_, value, size_);
}

}  // namespace ofxhost
