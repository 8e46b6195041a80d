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

// Why the file is not whole; the channels are compared only when asked.
std::string faultOf(const std::string &path, const std::string &like, bool channels)
{
    CapturedStderr quiet;
    auto in = OIIO::ImageInput::open(path);
    if (!in) {
        OIIO::geterror();  // a pending message would surface in a later one
        return "not an image file";
    }
    const OIIO::ImageSpec got = in->spec();
    if (got.width <= 0 || got.height <= 0 || got.deep)
        return "holds no pixels";
    if (!like.empty()) {
        auto other = OIIO::ImageInput::open(like);
        if (other) {
            const OIIO::ImageSpec &input = other->spec();
            if (input.x != got.x || input.y != got.y || input.width != got.width || input.height != got.height)
                return "its data window " + window(got) + " is not the input's " + window(input);
            const std::string missing = channels ? missingChannels(path, got, input) : std::string();
            if (!missing.empty())
                return "lacks the input's channels " + missing;
        } else {
            OIIO::geterror();
        }
    }
    // A band of rows at a time: the decoder must reach the last one.
    const int rows = bandRows(got, 64);
    std::vector<unsigned char> band(static_cast<std::size_t>(got.width) * got.nchannels * rows);
    for (int y = got.y; y < got.y + got.height; y += rows) {
        const int end = std::min(y + rows, got.y + got.height);
        if (!readBand(*in, got, y, end, OIIO::TypeDesc::UINT8, band.data())) {
            in->geterror();
            return "cut short: row " + std::to_string(y - got.y) + " of " + std::to_string(got.height) +
                   " does not decode";
        }
    }
    return "";
}

}  // namespace

std::string wholeImageFault(const std::string &path, const std::string &like)
{
    return faultOf(path, like, true);
}

// A resumed render rewrites a frame only when it is not whole; the channels
// it would write are its own business.
bool readsBackWhole(const std::string &path, const std::string &like)
{
    return faultOf(path, like, false).empty();
}
