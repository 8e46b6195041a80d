#include "image_io.h"

#include <OpenImageIO/imagebuf.h>
#include <OpenImageIO/imagebufalgo.h>
#include <OpenImageIO/filesystem.h>
#include <OpenImageIO/imageio.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>

#include "captured_stderr.h"
#include "cli_error.h"
#include "whole_file.h"

namespace fs = std::filesystem;
using ofxhost::Depth;
using ofxhost::HostImage;

namespace {

OIIO::TypeDesc typeOf(Depth depth)
{
    return depth == Depth::Byte ? OIIO::TypeDesc::UINT8 : depth == Depth::Short ? OIIO::TypeDesc::UINT16
                                                                                  : OIIO::TypeDesc::FLOAT;
}

Depth depthOfFile(const OIIO::TypeDesc &format)
{
    if (format == OIIO::TypeDesc::UINT8 || format == OIIO::TypeDesc::INT8)
        return Depth::Byte;
    if (format == OIIO::TypeDesc::UINT16 || format == OIIO::TypeDesc::INT16)
        return Depth::Short;
    return Depth::Float;
}

}  // namespace

const char *const kSafeFormats = "png, jpg, tif, exr, dpx, bmp, tga, hdr, ppm, gif, webp, jp2, iff";

std::unique_ptr<HostImage> readImage(const std::string &path, std::optional<Depth> depth)
{
    std::error_code ec;
    if (!fs::exists(path, ec))
        throw CliError("input not found: " + path);
    // Pixels pass through as stored: no premultiplication on the way in.
    OIIO::ImageSpec config;
    config.attribute("oiio:UnassociatedAlpha", 1);
    CapturedStderr quiet;
    auto fail = [&](const std::string &why) -> CliError {
        const std::string reason = firstLine(why.empty() ? quiet.text() : why);
        return CliError("cannot read " + path + ": " + (reason.empty() ? "the image library failed" : reason));
    };
    OIIO::ImageBuf file(path, 0, 0, nullptr, &config);
    if (!file.init_spec(path, 0, 0))
        throw fail(file.geterror());
    if (file.spec().width <= 0 || file.spec().height <= 0)
        throw fail("the image has no pixels");
    const Depth d = depth ? *depth : depthOfFile(file.spec().format);
    if (!file.read(0, 0, true, typeOf(d)))
        throw fail(file.geterror());
    const int n = file.nchannels();
    int order[4];
    float fill[4] = {0, 0, 0, 1};
    if (n >= 3) {
        int o[4] = {0, 1, 2, n >= 4 ? 3 : -1};
        std::copy(o, o + 4, order);
    } else if (n == 2) {
        int o[4] = {0, 0, 0, 1};
        std::copy(o, o + 4, order);
    } else {
        int o[4] = {0, 0, 0, -1};
        std::copy(o, o + 4, order);
    }
    OIIO::ImageBuf rgba = OIIO::ImageBufAlgo::channels(file, 4, order, fill);
    if (rgba.has_error())
        throw fail("cannot convert to RGBA: " + firstLine(rgba.geterror()));

    const OIIO::ImageSpec &format = rgba.spec();
    ofxhost::ImageLayout layout;
    layout.depth = d;
    layout.bounds = {0, 0, format.width, format.height};
    layout.negativeRowBytes = true;
    auto image = std::make_unique<HostImage>(layout);
    if (format.width > 0 && format.height > 0) {
        // The top row of the file is the last row of the frame.
        void *top = image->pixel(0, format.height - 1);
        if (!rgba.get_pixels(OIIO::ROI(format.x, format.x + format.width, format.y, format.y + format.height, 0, 1, 0, 4),
                             typeOf(d), top, OIIO::AutoStride, -image->rowBytes()))
            throw fail(rgba.geterror());
    }
    return image;
}

std::unique_ptr<HostImage> blankLike(const HostImage &image)
{
    return std::make_unique<HostImage>(image.layout());
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

std::vector<unsigned char> encodeImage(const std::string &path, const HostImage &image)
{
    const int w = image.width(), h = image.height();
    if (w <= 0 || h <= 0)
        throw CliError("cannot write " + path + ": the image has no pixels");
    CapturedStderr quiet;
    auto fail = [&](const std::string &why) -> CliError {
        const std::string reason = firstLine(why.empty() ? quiet.text() : why);
        return CliError("cannot write " + path + ": " + (reason.empty() ? "the image library failed" : reason));
    };
    auto out = OIIO::ImageOutput::create(path);
    if (!out)
        throw fail("unknown image format");
    std::vector<unsigned char> bytes;
    OIIO::Filesystem::IOVecOutput memory(bytes);
    if (!out->supports("ioproxy") || !out->set_ioproxy(&memory))
        throw fail(out->format_name() + std::string(" files cannot be written into memory"));

    const OIIO::TypeDesc type = typeOf(image.layout().depth);
    const int channels = out->supports("alpha") ? 4 : 3;
    OIIO::ImageSpec spec(w, h, channels, type);
    // Pixels pass through as rendered, without premultiplication.
    spec.attribute("oiio:UnassociatedAlpha", 1);
    if (!out->open(path, spec))
        throw fail(out->geterror());
    // Rows from the top of the frame down, whatever the image's own order;
    // a three-channel writer reads the first three of every four.
    const std::ptrdiff_t down = h > 1 ? image.pixel(0, h - 2) - image.pixel(0, h - 1) : 0;
    const bool written = out->write_image(type, image.pixel(0, h - 1), image.pixelBytes(), down);
    const bool closed = out->close();
    // The writers' own results decide: some leave a message pending after
    // success (the TIFF writer's "Exif data" on every file), and a short
    // write cannot happen in memory.
    if (!written || !closed)
        throw fail(out->geterror());
    if (bytes.empty())
        throw fail("the image library wrote nothing");
    return bytes;
}

void writeImage(const std::string &path, const HostImage &image)
{
    writeWholeFile(path, encodeImage(path, image));
}
