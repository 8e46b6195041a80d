#include "image_io.h"

#include <OpenImageIO/filesystem.h>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <filesystem>

#include "captured_stderr.h"
#include "cli_error.h"
#include "output_losses.h"
#include "whole_file.h"

namespace fs = std::filesystem;
using ofxhost::Depth;
using ofxhost::HostImage;

namespace {

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

// The first file row (the top) and the distance between file rows.
unsigned char *topRow(const HostImage &image)
{
    return image.pixel(image.bounds().x1, image.bounds().y2 - 1);
}

std::ptrdiff_t fileRowStride(const HostImage &image)
{
    return image.height() > 1 ? image.pixel(image.bounds().x1, image.bounds().y2 - 2) - topRow(image) : 0;
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

// Channel `from` of every pixel of `all` into channel `to` of the image, or
// back when `toImage` is false.
void moveChannel(std::vector<unsigned char> &all, int channels, int from, HostImage &image, int to, bool toImage)
{
    const int size = image.pixelBytes() / 4;
    const std::size_t fileRow = static_cast<std::size_t>(image.width()) * channels * size;
    unsigned char *const top = topRow(image);
    const std::ptrdiff_t stride = fileRowStride(image);
    for (int r = 0; r < image.height(); ++r) {
        unsigned char *file = all.data() + r * fileRow + static_cast<std::size_t>(from) * size;
        unsigned char *pixel = top + r * stride + to * size;
        for (int x = 0; x < image.width(); ++x, file += channels * size, pixel += image.pixelBytes())
            toImage ? std::memcpy(pixel, file, size) : std::memcpy(file, pixel, size);
    }
}

// The TIFF writer of this image library corrupts the file's main directory
// when it writes an Exif directory through an I/O proxy (an sRGB colour
// space or any Exif attribute asks for one); those stay out of TIFF files.
void dropExifDirectory(OIIO::ImageSpec &spec)
{
    std::vector<std::string> names;
    for (const OIIO::ParamValue &p : spec.extra_attribs) {
        const std::string name = p.name().string();
        if (name.rfind("Exif:", 0) == 0 || name.rfind("GPS:", 0) == 0 || name == "oiio:ColorSpace")
            names.push_back(name);
    }
    for (const std::string &name : names)
        spec.erase_attribute(name);
}

struct Failure {
    const std::string &verb, &path;
    const CapturedStderr &quiet;
    CliError operator()(const std::string &why) const
    {
        const std::string reason = firstLine(why.empty() ? quiet.text() : why);
        return CliError("cannot " + verb + " " + path + ": " + (reason.empty() ? "the image library failed" : reason));
    }
};

}  // namespace

const char *const kSafeFormats = "png, jpg, tif, exr, dpx, bmp, tga, hdr, ppm, gif, webp, jp2, iff";

FrameFile readFrame(const std::string &path, std::optional<Depth> depth, const ChannelChoice &choice)
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
    file.channels = mapChannels(s, choice, path);

    ofxhost::ImageLayout layout;
    layout.depth = depth ? *depth : depthOfFile(s.format);
    layout.bounds = boundsOf(s, path);
    layout.negativeRowBytes = true;  // rows in memory top down, as in the file
    file.rgba = std::make_unique<HostImage>(layout);
    HostImage &rgba = *file.rgba;
    const OIIO::TypeDesc type = typeOf(layout.depth);
    const ChannelMap &m = file.channels;
    if (m.direct(s.nchannels)) {
        if (!in->read_image(0, 0, 0, m.rendered(), type, topRow(rgba), rgba.pixelBytes(), fileRowStride(rgba)))
            throw fail(in->geterror());
    } else {
        file.all.resize(static_cast<std::size_t>(s.width) * s.height * s.nchannels * type.size());
        if (!in->read_image(0, 0, 0, s.nchannels, type, file.all.data()))
            throw fail(in->geterror());
        const int from[4] = {m.red, m.green, m.blue, m.alpha};
        for (int c = 0; c < m.rendered(); ++c)
            moveChannel(file.all, s.nchannels, from[c], rgba, c, true);
        if (m.grey && m.alpha >= 0)
            moveChannel(file.all, s.nchannels, m.alpha, rgba, 3, true);
        // Luminance files come back as RGB: nothing else of them is kept.
        if (m.grey)
            file.all.clear();
    }
    if (m.alpha < 0)
        fillOpaqueAlpha(rgba);
    return file;
}

void checkOutputFormat(const std::string &path)
{
    CapturedStderr quiet;
    auto out = OIIO::ImageOutput::create(path);
    if (!out)
        throw UsageError("cannot write " + path + ": unknown image format (use one of " + kSafeFormats + ")");
    // A writer that cannot encode into memory would write the file itself,
    // and those writers do not all report a short write.
    if (!out->supports("ioproxy"))
        throw UsageError("cannot write " + path + ": " + out->format_name() +
                         " files are not supported as output (use one of " + kSafeFormats + ")");
}

OIIO::TypeDesc parseOutputDepth(const std::string &text)
{
    if (text == "uint8")
        return OIIO::TypeDesc::UINT8;
    if (text == "uint16")
        return OIIO::TypeDesc::UINT16;
    if (text == "half")
        return OIIO::TypeDesc::HALF;
    if (text == "float")
        return OIIO::TypeDesc::FLOAT;
    throw UsageError("--out-depth must be uint8, uint16, half or float, not '" + text + "'");
}

std::string writeFrame(const std::string &path, FrameFile &input, const HostImage &rendered, const OutputChoice &choice)
{
    const std::string verb = "write";
    CapturedStderr quiet;
    const Failure fail{verb, path, quiet};
    auto out = OIIO::ImageOutput::create(path);
    if (!out)
        throw fail("unknown image format");
    std::vector<unsigned char> bytes;
    OIIO::Filesystem::IOVecOutput memory(bytes);
    if (!out->supports("ioproxy") || !out->set_ioproxy(&memory))
        throw fail(out->format_name() + std::string(" files cannot be written into memory"));

    OIIO::ImageSpec spec = input.spec;
    const ChannelMap &m = input.channels;
    const OIIO::TypeDesc type = typeOf(rendered.layout().depth);
    const void *data = nullptr;
    OIIO::stride_t xstride = OIIO::AutoStride, ystride = OIIO::AutoStride;
    if (input.all.empty()) {
        // Straight from the render: the input's red, green and blue, and an
        // alpha where the format holds one (hidden bands are transparent).
        std::vector<std::string> names = {"R", "G", "B"};
        if (!m.grey)
            names.assign(spec.channelnames.begin(), spec.channelnames.begin() + 3);
        const bool alpha = out->supports("alpha");
        if (alpha)
            names.push_back(m.alpha >= 0 && !m.grey ? spec.channelnames[3] : "A");
        if (static_cast<int>(names.size()) != spec.nchannels || m.grey)
            spec.channelformats.clear();
        spec.nchannels = static_cast<int>(names.size());
        spec.channelnames = names;
        spec.alpha_channel = alpha ? 3 : -1;
        data = topRow(rendered);
        xstride = rendered.pixelBytes();
        ystride = fileRowStride(rendered);
    } else {
        const int to[4] = {m.red, m.green, m.blue, m.alpha};
        for (int c = 0; c < m.rendered(); ++c)
            moveChannel(input.all, spec.nchannels, to[c], const_cast<HostImage &>(rendered), c, false);
        data = input.all.data();
    }
    if (choice.depth) {
        spec.set_format(*choice.depth);
        spec.channelformats.clear();
    }
    const bool sameFormat = input.format == out->format_name();
    if (!choice.compression.empty()) {
        spec.attribute("compression", choice.compression);
        const auto colon = choice.compression.find(':');
        if (colon != std::string::npos)
            spec.attribute("CompressionQuality", std::atoi(choice.compression.c_str() + colon + 1));
    } else if (!sameFormat) {
        spec.erase_attribute("compression");  // another format's name means nothing here
    }
    if (!out->supports("tiles"))
        spec.tile_width = spec.tile_height = spec.tile_depth = 0;
    if (std::string(out->format_name()) == "tiff")
        dropExifDirectory(spec);
    spec.attribute("oiio:UnassociatedAlpha", 1);
    if (!out->open(path, spec))
        throw fail(out->geterror());
    const bool written = out->write_image(type, data, xstride, ystride);
    const bool closed = out->close();
    // The writers' own results decide: some leave a message pending after
    // success (the TIFF writer's "Exif data" on every file), and a short
    // write cannot happen in memory.
    if (!written || !closed)
        throw fail(out->geterror());
    if (bytes.empty())
        throw fail("the image library wrote nothing");
    std::vector<std::string> kept = input.spec.channelnames;
    if (m.grey)  // luminance became red, green and blue
        kept = m.alpha >= 0 ? std::vector<std::string>{input.spec.channelnames[static_cast<std::size_t>(m.alpha)]}
                            : std::vector<std::string>{};
    // The flushed temporary file is read back before it replaces anything:
    // a writer that makes a file no reader can open must not win.
    std::string losses;
    writeWholeFile(path, bytes, [&](const std::string &written) {
        const std::optional<std::string> found = outputLosses(written, spec, input.spec, kept);
        if (!found)
            throw fail("the image library wrote a file it cannot read back");
        losses = *found;
    });
    return losses;
}

bool readsBackWhole(const std::string &path, const std::string &like)
{
    CapturedStderr quiet;
    auto in = OIIO::ImageInput::open(path);
    if (!in)
        return false;
    const OIIO::ImageSpec spec = in->spec();
    if (!like.empty()) {
        auto other = OIIO::ImageInput::open(like);
        if (other) {
            const OIIO::ImageSpec &o = other->spec();
            if (o.x != spec.x || o.y != spec.y || o.width != spec.width || o.height != spec.height)
                return false;
        }
    }
    if (spec.width <= 0 || spec.height <= 0 || spec.deep)
        return false;
    // A band of rows at a time: the decoder must reach the last one.
    const int rows = 64;
    std::vector<unsigned char> band(static_cast<std::size_t>(spec.width) * spec.nchannels * rows);
    for (int y = spec.y; y < spec.y + spec.height; y += rows) {
        const int end = std::min(y + rows, spec.y + spec.height);
        if (!in->read_scanlines(0, 0, y, end, 0, 0, spec.nchannels, OIIO::TypeDesc::UINT8, band.data()))
            return false;
    }
    return true;
}

void writeImage(const std::string &path, const HostImage &image)
{
    FrameFile card;
    card.spec = OIIO::ImageSpec(image.width(), image.height(), 4, typeOf(image.layout().depth));
    card.channels = {0, 1, 2, 3, false};
    card.format = "none";
    writeFrame(path, card, image, {});
}
