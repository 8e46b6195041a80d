// Writing frames as they render: strips encoded at once into a checked
// temporary file, the file read back before it replaces anything.

#include <algorithm>
#include <cstring>

#include "compression.h"
#include "image_io.h"
#include "output_losses.h"
#include "pixel_rows.h"

using ofxhost::Depth;
using ofxhost::HostImage;

namespace {

constexpr int kStripRows = 64;

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

}  // namespace

const char *const kSafeFormats = "png, jpg, tif, exr, dpx, bmp, tga, hdr, ppm, gif, webp, jp2, iff";

void checkOutputFormat(const std::string &path)
{
    CapturedStderr quiet;
    auto out = OIIO::ImageOutput::create(path);
    if (!out)
        throw UsageError("cannot write " + path + ": unknown image format (use one of " + kSafeFormats + ")");
    // A writer that cannot write through our checked writer would write the
    // file itself, and those writers do not all report a short write.
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

FrameWriter::FrameWriter(const std::string &path, FrameFile &input, Depth renderDepth, const OutputChoice &choice)
    : path_(path), input_(input), file_(path)
{
    const std::string verb = "write";
    CapturedStderr quiet;
    const Failure fail{verb, path, quiet};
    out_ = OIIO::ImageOutput::create(path);
    if (!out_)
        throw fail("unknown image format");
    proxy_ = std::make_unique<FileProxy>(file_);
    if (!out_->supports("ioproxy") || !out_->set_ioproxy(proxy_.get()))
        throw fail(out_->format_name() + std::string(" files cannot be written through a checked writer"));

    spec_ = input.spec;
    const ChannelMap &m = input.channels;
    if (input.all.empty()) {
        // Straight from the render: the input's red, green and blue, and an
        // alpha where the format holds one (hidden bands are transparent).
        std::vector<std::string> names = {"R", "G", "B"};
        if (!m.grey)
            names.assign(spec_.channelnames.begin(), spec_.channelnames.begin() + 3);
        const bool alpha = out_->supports("alpha");
        if (alpha)
            names.push_back(m.alpha >= 0 && !m.grey ? spec_.channelnames[3] : "A");
        if (static_cast<int>(names.size()) != spec_.nchannels || m.grey)
            spec_.channelformats.clear();
        spec_.nchannels = static_cast<int>(names.size());
        spec_.channelnames = names;
        spec_.alpha_channel = alpha ? 3 : -1;
        type_ = typeOf(renderDepth);
    } else {
        type_ = input.allType;
    }
    if (choice.depth) {
        spec_.set_format(*choice.depth);
        spec_.channelformats.clear();
    }
    const std::string format = out_->format_name();
    const bool sameFormat = input.format == format;
    if (!choice.compression.empty()) {
        spec_.attribute("compression", choice.compression);
        const auto colon = choice.compression.find(':');
        if (colon != std::string::npos)
            spec_.attribute("CompressionQuality", std::atoi(choice.compression.c_str() + colon + 1));
    } else if (!sameFormat) {
        spec_.erase_attribute("compression");  // another format's name means nothing here
    }
    // Inks were turned into RGB on reading; the output says RGB.
    spec_.erase_attribute("tiff:ColorSpace");
    spec_.erase_attribute("tiff:PhotometricInterpretation");
    // One level is written: a file must not promise the others.
    spec_.erase_attribute("openexr:levelmode");
    spec_.erase_attribute("openexr:roundingmode");
    spec_.erase_attribute("textureformat");  // the EXR writer makes a MIP-map of a texture
    if (!out_->supports("tiles"))
        spec_.tile_width = spec_.tile_height = spec_.tile_depth = 0;
    if (format == "tiff")
        dropExifDirectory(spec_);
    // The input's alpha association travels with its pixels: the attribute
    // is the input's own (unassociated files say so), never forced.
    tiled_ = spec_.tile_width > 0 && spec_.tile_height > 0;
    stripRows_ = tiled_ ? std::max(1, kStripRows / spec_.tile_height) * spec_.tile_height : kStripRows;
    // The IFF writer takes only whole images.
    whole_ = format == "iff";
    if (whole_)
        stripRows_ = std::max(1, spec_.height);
    if (!out_->open(path, spec_)) {
        if (!proxy_->failure().empty())
            throw CliError(proxy_->failure());
        throw fail(out_->geterror());
    }

    kept_ = input.spec.channelnames;
    if (m.grey)  // luminance became red, green and blue
        kept_ = m.alpha >= 0 ? std::vector<std::string>{input.spec.channelnames[static_cast<std::size_t>(m.alpha)]}
                             : std::vector<std::string>{};
    // Pixels are compared after writing where nothing may change them: a
    // lossless compression and one pixel type throughout.
    const std::string compression = spec_.get_string_attribute("compression");
    checkPixels_ = !lossyCompression(format, compression.substr(0, compression.find(':'))) &&
                   spec_.channelformats.empty() && spec_.format == type_;
}

// A writer given up on (the render failed) closes what it began; its
// library's complaint about an unfinished file is not the user's news.
FrameWriter::~FrameWriter()
{
    CapturedStderr quiet;
    out_.reset();
}

void FrameWriter::write(const HostImage &strip)
{
    const std::string verb = "write";
    CapturedStderr quiet;
    const Failure fail{verb, path_, quiet};
    const int rows = strip.height(), width = strip.width();
    const int nch = spec_.nchannels;
    const std::size_t rowBytes = static_cast<std::size_t>(width) * static_cast<std::size_t>(nch) * type_.size();
    const unsigned char *data = nullptr;
    OIIO::stride_t xstride = OIIO::AutoStride, ystride = OIIO::AutoStride;
    if (input_.all.empty()) {
        data = topRow(strip);
        xstride = strip.pixelBytes();
        ystride = fileRowStride(strip);
    } else {
        // The rendered channels go into the input's rows in place of its
        // own; the carried ones stay as they were read.
        const ChannelMap &m = input_.channels;
        const int to[4] = {m.red, m.green, m.blue, m.alpha};
        const OIIO::TypeDesc rendered = typeOf(strip.layout().depth);
        HostImage &image = const_cast<HostImage &>(strip);
        for (int c = 0; c < m.rendered(); ++c) {
            if (to[c] < 0)
                continue;
            if (rendered == type_) {
                moveChannel(input_.all, nch, to[c], image, nextRow_, c, false);
                continue;
            }
            const std::size_t csize = rendered.size(), asize = type_.size();
            for (int r = 0; r < rows; ++r) {
                const unsigned char *from = topRow(strip) + r * fileRowStride(strip) + c * static_cast<int>(csize);
                unsigned char *into = input_.all.data() + static_cast<std::size_t>(nextRow_ + r) * rowBytes +
                                      static_cast<std::size_t>(to[c]) * asize;
                for (int x = 0; x < width; ++x, from += strip.pixelBytes(), into += nch * asize)
                    OIIO::convert_pixel_values(rendered, from, type_, into, 1);
            }
        }
        data = input_.all.data() + static_cast<std::size_t>(nextRow_) * rowBytes;
    }
    const int y1 = spec_.y + nextRow_, y2 = y1 + rows;
    const bool written = whole_   ? out_->write_image(type_, data, xstride, ystride)
                         : tiled_ ? out_->write_tiles(spec_.x, spec_.x + width, y1, y2, 0, 1, type_, data, xstride,
                                                      ystride)
                                  : out_->write_scanlines(y1, y2, 0, type_, data, xstride, ystride);
    if (!written && !proxy_->failure().empty())
        throw CliError(proxy_->failure());
    if (!written)
        throw fail(out_->geterror());
    if (checkPixels_) {
        const std::ptrdiff_t step = ystride == OIIO::AutoStride ? static_cast<std::ptrdiff_t>(rowBytes) : ystride;
        for (int r = 0; r < rows; ++r) {
            const unsigned char *row = data + r * step;
            if (xstride == OIIO::AutoStride || xstride == static_cast<OIIO::stride_t>(nch * type_.size())) {
                band_.add(row, rowBytes);
            } else {
                for (int x = 0; x < width; ++x)
                    band_.add(row + x * xstride, static_cast<std::size_t>(nch) * type_.size());
            }
            if (++bandRowsDone_ == stripRows_)
                closeBand();
        }
    }
    nextRow_ += rows;
}

std::string FrameWriter::finish()
{
    const std::string verb = "write";
    CapturedStderr quiet;
    const Failure fail{verb, path_, quiet};
    const bool closed = out_->close();
    // The writers' own results decide: some leave a message pending after
    // success (the TIFF writer's "Exif data" on every file).
    if (!proxy_->failure().empty())
        throw CliError(proxy_->failure());
    if (!closed)
        throw fail(out_->geterror());
    if (proxy_->size() == 0)
        throw fail("the image library wrote nothing");
    std::string losses;
    file_.commit([&](const std::string &written) { verify(written, losses); });
    return losses;
}

// The flushed temporary file is read back before it replaces anything: a
// writer that makes a file no reader can open, or other pixels than it was
// given, must not win.
void FrameWriter::verify(const std::string &written, std::string &losses)
{
    const std::string verb = "write";
    CapturedStderr quiet;
    const Failure fail{verb, path_, quiet};
    const std::optional<std::string> found = outputLosses(written, spec_, input_.spec, kept_);
    if (!found)
        throw fail("the image library wrote a file it cannot read back");
    std::vector<std::string> notes;
    if (!found->empty())
        notes.push_back(*found);
    const std::string format = out_->format_name();
    const std::string compression = spec_.get_string_attribute("compression");
    if (lossyCompression(format, compression.substr(0, compression.find(':'))))
        notes.push_back("loses detail to " + (compression.empty() ? format : compression) + " compression");
    if (input_.mipLevels > 1)
        notes.push_back("keeps the first of " + std::to_string(input_.mipLevels) + " MIP levels");
    if (input_.cmyk)
        notes.push_back("keeps RGB of CMYK");
    for (const std::string &n : notes)
        losses += (losses.empty() ? "" : "; ") + n;
    if (!checkPixels_)
        return;
    OIIO::ImageSpec config;
    config.attribute("oiio:UnassociatedAlpha", 1);
    auto in = OIIO::ImageInput::open(written, &config);
    if (!in)
        throw fail("the image library wrote a file it cannot read back");
    const OIIO::ImageSpec &got = in->spec();
    // A writer that converts the alpha's association, or drops channels,
    // changes the values on purpose; those are said in the losses. (An
    // output without alpha has no association to convert.)
    if (got.nchannels != spec_.nchannels || got.width != spec_.width || got.height != spec_.height ||
        (spec_.alpha_channel >= 0 &&
         got.get_int_attribute("oiio:UnassociatedAlpha") != spec_.get_int_attribute("oiio:UnassociatedAlpha")))
        return;
    if (bandRowsDone_ > 0)
        closeBand();
    in.reset();
    std::vector<std::uint64_t> bands;
    std::string error;
    if (!readBackBands(written, stripRows_, type_, bands, error))
        throw fail("the image library wrote a file it cannot read back: " + error);
    if (bands != bandHashes_)
        throw fail("the " + format + " writer wrote other pixels than it was given");
}

void FrameWriter::closeBand()
{
    bandHashes_.push_back(band_.value());
    band_ = StreamHash();
    bandRowsDone_ = 0;
}

void writeImage(const std::string &path, const HostImage &image)
{
    FrameFile card;
    card.spec = OIIO::ImageSpec(image.width(), image.height(), 4, typeOf(image.layout().depth));
    card.channels = {0, 1, 2, 3, false};
    card.format = "none";
    FrameWriter writer(path, card, image.layout().depth, {});
    writer.write(image);
    writer.finish();
}
