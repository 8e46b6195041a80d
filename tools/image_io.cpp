#include "image_io.h"

#include <OpenImageIO/imagebuf.h>
#include <OpenImageIO/imagebufalgo.h>
#include <OpenImageIO/imageio.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>

#include "cli_error.h"

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

std::unique_ptr<HostImage> readImage(const std::string &path, std::optional<Depth> depth)
{
    std::error_code ec;
    if (!fs::exists(path, ec))
        throw CliError("input not found: " + path);
    // Pixels pass through as stored: no premultiplication on the way in.
    OIIO::ImageSpec config;
    config.attribute("oiio:UnassociatedAlpha", 1);
    OIIO::ImageBuf file(path, 0, 0, nullptr, &config);
    if (!file.init_spec(path, 0, 0))
        throw CliError("cannot read " + path + ": " + file.geterror());
    const Depth d = depth ? *depth : depthOfFile(file.spec().format);
    if (!file.read(0, 0, true, typeOf(d)))
        throw CliError("cannot read " + path + ": " + file.geterror());
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
        throw CliError("cannot convert " + path + " to RGBA: " + rgba.geterror());

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
            throw CliError("cannot read pixels of " + path + ": " + rgba.geterror());
    }
    return image;
}

std::unique_ptr<HostImage> blankLike(const HostImage &image)
{
    return std::make_unique<HostImage>(image.layout());
}

void writeImage(const std::string &path, const HostImage &image)
{
    const fs::path target(path);
    const fs::path temp = target.parent_path() /
                          ("." + target.stem().string() + ".zelvo-" + std::to_string(getpid()) +
                           target.extension().string());
    auto out = OIIO::ImageOutput::create(path);
    if (!out)
        throw CliError("cannot write " + path + ": unknown image format");
    const bool alpha = out->supports("alpha");
    out.reset();

    const int w = image.width(), h = image.height();
    const OIIO::TypeDesc type = typeOf(image.layout().depth);
    OIIO::ImageBuf buf(OIIO::ImageSpec(w, h, 4, type));
    if (w > 0 && h > 0) {
        const int pixelBytes = image.pixelBytes();
        const void *top = image.pixel(0, h - 1);
        // Rows from the top of the frame down, whatever the image's own order.
        const std::ptrdiff_t down = image.pixel(0, 0) - image.pixel(0, std::min(1, h - 1));
        buf.set_pixels(OIIO::ROI(0, w, 0, h, 0, 1, 0, 4), type, top, pixelBytes, h > 1 ? down : 0);
    }
    OIIO::ImageBuf written = alpha ? buf : OIIO::ImageBufAlgo::channels(buf, 3, {});
    // ... nor on the way out.
    written.specmod().attribute("oiio:UnassociatedAlpha", 1);
    std::error_code ec;
    if (!written.write(temp.string(), type)) {
        fs::remove(temp, ec);
        throw CliError("cannot write " + path + ": " + written.geterror());
    }
    fs::rename(temp, target, ec);
    if (ec) {
        fs::remove(temp, ec);
        throw CliError("cannot write " + path + ": " + ec.message());
    }
}
