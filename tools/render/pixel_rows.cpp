#include "pixel_rows.h"

#include <algorithm>
#include <cstring>

using ofxhost::Depth;
using ofxhost::HostImage;

OIIO::TypeDesc typeOf(Depth depth)
{
    switch (depth) {
    case Depth::Byte: return OIIO::TypeDesc::UINT8;
    case Depth::Short: return OIIO::TypeDesc::UINT16;
    case Depth::Half: return OIIO::TypeDesc::HALF;
    case Depth::Float: break;
    }
    return OIIO::TypeDesc::FLOAT;
}

unsigned char *topRow(const HostImage &image)
{
    return image.pixel(image.bounds().x1, image.bounds().y2 - 1);
}

std::ptrdiff_t fileRowStride(const HostImage &image)
{
    return image.height() > 1 ? image.pixel(image.bounds().x1, image.bounds().y2 - 2) - topRow(image) : 0;
}

void moveChannel(std::vector<unsigned char> &all, int channels, int from, HostImage &image, int firstRow, int to,
                 bool toImage)
{
    const std::size_t size = static_cast<std::size_t>(image.pixelBytes() / 4);
    const std::size_t fileRow = static_cast<std::size_t>(image.width()) * static_cast<std::size_t>(channels) * size;
    unsigned char *const top = topRow(image);
    const std::ptrdiff_t stride = fileRowStride(image);
    for (int r = 0; r < image.height(); ++r) {
        unsigned char *file = all.data() + static_cast<std::size_t>(firstRow + r) * fileRow + static_cast<std::size_t>(from) * size;
        unsigned char *pixel = top + r * stride + static_cast<std::ptrdiff_t>(to) * static_cast<std::ptrdiff_t>(size);
        for (int x = 0; x < image.width(); ++x, file += channels * size, pixel += image.pixelBytes())
            toImage ? std::memcpy(pixel, file, size) : std::memcpy(file, pixel, size);
    }
}

int bandRows(const OIIO::ImageSpec &spec, int rows)
{
    return spec.tile_width > 0 && spec.tile_height > 0 ? std::max(1, rows / spec.tile_height) * spec.tile_height
                                                       : rows;
}

bool readBand(OIIO::ImageInput &in, const OIIO::ImageSpec &spec, int y1, int y2, OIIO::TypeDesc type, void *data)
{
    if (spec.tile_width > 0 && spec.tile_height > 0)
        return in.read_tiles(0, 0, spec.x, spec.x + spec.width, y1, y2, spec.z, spec.z + std::max(1, spec.depth), 0,
                             spec.nchannels, type, data);
    return in.read_scanlines(0, 0, y1, y2, 0, 0, spec.nchannels, type, data);
}

CliError Failure::operator()(const std::string &why) const
{
    const std::string reason = firstLine(why.empty() ? quiet.text() : why);
    return CliError("cannot " + verb + " " + path + ": " + (reason.empty() ? "the image library failed" : reason));
}
