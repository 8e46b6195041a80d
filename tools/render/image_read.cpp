// Reading frames: the file's data window as the image's bounds, the
// rendered channels at the render depth, every other channel in a type that
// holds it exactly, and no allocation before the size is known to fit.

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <filesystem>
#include <new>

#include "image_io.h"
#include "pixel_rows.h"

namespace fs = std::filesystem;
using ofxhost::Depth;
using ofxhost::HostImage;

namespace {

Depth depthOfFile(const OIIO::TypeDesc &format)
{
    if (format == OIIO::TypeDesc::UINT8 || format == OIIO::TypeDesc::INT8)
        return Depth::Byte;
    if (format == OIIO::TypeDesc::UINT16 || format == OIIO::TypeDesc::INT16)
        return Depth::Short;
    return Depth::Float;
}

// The data window in OFX coordinates: y up, mirrored about the display
// window, so that the frame sits where a host would put it.
OfxRectI boundsOf(const OIIO::ImageSpec &s, const std::string &path)
{
    const long long top = s.full_width > 0 && s.full_height > 0 ? static_cast<long long>(s.full_y) + s.full_height
                                                                 : static_cast<long long>(s.y) + s.height;
    const long long x1 = s.x, x2 = static_cast<long long>(s.x) + s.width;
    const long long y1 = top - (static_cast<long long>(s.y) + s.height), y2 = top - s.y;
    for (long long v : {x1, x2, y1, y2})
        if (v < INT_MIN || v > INT_MAX)
            throw CliError("cannot read " + path + ": its data window lies outside the coordinates of a frame");
    return {static_cast<int>(x1), static_cast<int>(y1), static_cast<int>(x2), static_cast<int>(y2)};
}

void fillOpaqueAlpha(HostImage &image)
{
    const int size = image.pixelBytes() / 4;
    for (int y = image.bounds().y1; y < image.bounds().y2; ++y) {
        unsigned char *p = image.pixel(image.bounds().x1, y) + 3 * size;
        for (int x = 0; x < image.width(); ++x, p += image.pixelBytes()) {
            if (size == 1)
                *p = 255;
            else if (size == 2)
                std::memcpy(p, "\xff\xff", 2);
            else {
                const float one = 1.0f;
                std::memcpy(p, &one, 4);
            }
        }
    }
}

// The narrowest type that holds every channel of the file exactly, and at
// least the render depth: carried channels keep their values whatever depth
// the plug-in renders in.
OIIO::TypeDesc carriedType(const OIIO::ImageSpec &s, const OIIO::TypeDesc &render)
{
    auto wider = [](const OIIO::TypeDesc &t, const OIIO::TypeDesc &than) {
        return t.size() > than.size() || (t.is_floating_point() && !than.is_floating_point());
    };
    OIIO::TypeDesc type = render;
    if (s.channelformats.empty())
        return wider(s.format, type) ? OIIO::TypeDesc::FLOAT : type;
    for (const OIIO::TypeDesc &f : s.channelformats)
        if (wider(f, type))
            type = OIIO::TypeDesc::FLOAT;
    return type;
}

std::string megabytes(std::uint64_t bytes)
{
    return std::to_string((bytes + (1u << 20) - 1) >> 20) + " MB";
}

}  // namespace

std::uint64_t defaultImageLimitBytes()
{
    const long pages = sysconf(_SC_PHYS_PAGES), size = sysconf(_SC_PAGE_SIZE);
    if (pages <= 0 || size <= 0)
        return 8ULL << 30;
    return static_cast<std::uint64_t>(pages) * static_cast<std::uint64_t>(size) / 2;
}

FrameFile readFrame(const std::string &path, std::optional<Depth> depth, const ChannelChoice &choice,
                    std::uint64_t maxBytes, bool onDevice)
{
    std::error_code ec;
    if (!fs::exists(path, ec))
        throw CliError("input not found: " + path);
    const std::string verb = "read";
    CapturedStderr quiet;
    const Failure fail{verb, path, quiet};
    // The system's reason first: the image library only says it could not open.
    const int probe = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (probe < 0)
        throw fail(std::strerror(errno));
    close(probe);
    // Pixels pass through as stored: no premultiplication on the way in.
    OIIO::ImageSpec config;
    config.attribute("oiio:UnassociatedAlpha", 1);
    auto in = OIIO::ImageInput::open(path, &config);
    if (!in)
        throw fail(OIIO::geterror());
    FrameFile file;
    file.spec = in->spec();
    file.format = in->format_name();
    const OIIO::ImageSpec &s = file.spec;
    if (s.deep)
        throw fail("deep images are not supported");
    if (s.width <= 0 || s.height <= 0 || s.depth > 1)
        throw fail(s.depth > 1 ? "volume images are not frames" : "the image has no pixels");
    if (in->seek_subimage(1, 0))
        throw fail("files of several parts (multi-part EXR) are not supported; split the part to render first");
    while (in->seek_subimage(0, file.mipLevels))
        ++file.mipLevels;
    if (!in->seek_subimage(0, 0))
        throw fail(in->geterror());
    file.cmyk = s.get_string_attribute("tiff:ColorSpace") == "CMYK";
    file.channels = mapChannels(s, choice, path);

    ofxhost::ImageLayout layout;
    layout.depth = depth ? *depth : depthOfFile(s.format);
    layout.bounds = boundsOf(s, path);
    layout.negativeRowBytes = true;  // rows in memory top down, as in the file
    const OIIO::TypeDesc type = typeOf(layout.depth);
    const ChannelMap &m = file.channels;
    const bool direct = m.direct(s.nchannels);
    const bool carried = !direct && !m.grey;
    file.allType = carried ? carriedType(s, type) : type;

    // What the pixels take, known before a byte is allocated: the source,
    // every channel when some are carried, and one strip of the output.
    const std::uint64_t pixels = static_cast<std::uint64_t>(s.width) * static_cast<std::uint64_t>(s.height);
    std::uint64_t need = pixels * 4 * type.size();
    if (!direct)
        need += pixels * static_cast<std::uint64_t>(s.nchannels) * (m.grey ? type.size() : file.allType.size());
    // On a GPU host the source has a copy on the device, as has each strip.
    if (onDevice)
        need += pixels * 4 * type.size() + static_cast<std::uint64_t>(s.width) * 64 * 4 * type.size();
    if (need > maxBytes)
        throw fail("its " + std::to_string(s.width) + "x" + std::to_string(s.height) + " pixels need " +
                   megabytes(need) + (onDevice ? " with their copy on the OpenCL device" : "") +
                   ", more than the limit of " + megabytes(maxBytes) + " (--max-image-mb)");
    try {
        file.rgba = std::make_unique<HostImage>(layout);
        if (!direct)
            file.all.resize(static_cast<std::size_t>(pixels * static_cast<std::uint64_t>(s.nchannels) *
                                                      file.allType.size()));
    } catch (const std::bad_alloc &) {
        throw fail("not enough memory for its " + std::to_string(s.width) + "x" + std::to_string(s.height) +
                   " pixels");
    }
    HostImage &rgba = *file.rgba;
    if (direct) {
        if (!in->read_image(0, 0, 0, m.rendered(), type, topRow(rgba), rgba.pixelBytes(), fileRowStride(rgba)))
            throw fail(in->geterror());
    } else {
        if (!in->read_image(0, 0, 0, s.nchannels, file.allType, file.all.data()))
            throw fail(in->geterror());
        const int from[4] = {m.red, m.green, m.blue, m.grey ? -1 : m.alpha};
        const int size = static_cast<int>(type.size());
        for (int c = 0; c < m.rendered(); ++c) {
            if (from[c] < 0)
                continue;
            if (file.allType == type) {
                moveChannel(file.all, s.nchannels, from[c], rgba, 0, c, true);
            } else if (!in->read_image(0, 0, from[c], from[c] + 1, type, topRow(rgba) + c * size, rgba.pixelBytes(),
                                       fileRowStride(rgba))) {
                // Straight from the file at the render depth: the library's
                // own conversion, as for a file without carried channels.
                throw fail(in->geterror());
            }
        }
        if (m.grey && m.alpha >= 0)
            moveChannel(file.all, s.nchannels, m.alpha, rgba, 0, 3, true);
        // Luminance files come back as RGB: nothing else of them is kept.
        if (m.grey)
            file.all.clear();
    }
    if (m.alpha < 0)
        fillOpaqueAlpha(rgba);
    return file;
}
