// Whether an output on disk is a whole image of its frame: what resuming a
// render and checking a finished sequence rely on.

#include <algorithm>

#include "image_io.h"
#include "pixel_rows.h"

namespace {

std::string window(const OIIO::ImageSpec &s)
{
    return std::to_string(s.width) + "x" + std::to_string(s.height) + " at " + std::to_string(s.x) + "," +
           std::to_string(s.y);
}

bool has(const std::vector<std::string> &names, const std::string &name)
{
    return std::find(names.begin(), names.end(), name) != names.end();
}

// The input's channels the output lacks though its format could hold them:
// luminance becomes red, green and blue; formats of a fixed channel set
// (PNG, JPEG, ...) hold only those, and alpha only where the format has one.
std::string missingChannels(const std::string &path, const OIIO::ImageSpec &got, const OIIO::ImageSpec &input)
{
    auto format = OIIO::ImageOutput::create(path);
    const bool anyChannels = format && format->supports("nchannels");
    const bool alpha = format && format->supports("alpha");
    const bool rgb = has(got.channelnames, "R") && has(got.channelnames, "G") && has(got.channelnames, "B");
    std::string missing;
    for (int c = 0; c < input.nchannels; ++c) {
        const std::string &name = input.channelnames[static_cast<std::size_t>(c)];
        if (has(got.channelnames, name) || ((name == "Y" || name == "y") && rgb))
            continue;
        const bool isAlpha = c == input.alpha_channel || name == "A" || name == "a";
        const bool isColour = name == "R" || name == "G" || name == "B" || name == "r" || name == "g" || name == "b";
        if ((isAlpha && alpha) || anyChannels || isColour)
            missing += (missing.empty() ? "" : ",") + name;
    }
    return missing;
}

}  // namespace

std::string wholeImageFault(const std::string &path, const std::string &like)
{
    CapturedStderr quiet;
    auto in = OIIO::ImageInput::open(path);
    if (!in) {
        OIIO::geterror();  // a pending message would surface in a later one
        return "not an image file";
    }
    const OIIO::ImageSpec spec = in->spec();
    if (spec.width <= 0 || spec.height <= 0 || spec.deep)
        return "holds no pixels";
    if (!like.empty()) {
        auto other = OIIO::ImageInput::open(like);
        if (other) {
            const OIIO::ImageSpec &o = other->spec();
            if (o.x != spec.x || o.y != spec.y || o.width != spec.width || o.height != spec.height)
                return "its data window " + window(spec) + " is not the input's " + window(o);
            const std::string missing = missingChannels(path, spec, o);
            if (!missing.empty())
                return "lacks the input's channels " + missing;
        } else {
            OIIO::geterror();
        }
    }
    // A band of rows at a time: the decoder must reach the last one.
    const int rows = bandRows(spec, 64);
    std::vector<unsigned char> band(static_cast<std::size_t>(spec.width) * spec.nchannels * rows);
    for (int y = spec.y; y < spec.y + spec.height; y += rows) {
        const int end = std::min(y + rows, spec.y + spec.height);
        if (!readBand(*in, spec, y, end, OIIO::TypeDesc::UINT8, band.data())) {
            in->geterror();
            return "cut short: row " + std::to_string(y - spec.y) + " of " + std::to_string(spec.height) +
                   " does not decode";
        }
    }
    return "";
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
    in.reset();
    // The same decode as a check's, without the channels: a resumed render
    // rewrites a frame only when it is not whole.
    return wholeImageFault(path, "").empty();
}
