#include "output_losses.h"


#include <algorithm>
#include <cstring>

namespace {

// Attributes that describe the file rather than the picture: the library's
// own notes and what each format records of its layout.
bool describesTheFile(const std::string &name)
{
    static const char *const prefixes[] = {"oiio:", "openexr:chunkCount", "openexr:version", "tiff:", "png:", "jpeg:",
                                           "bmp:", "targa:", "dpx:", "IPTC:", "Exif:", "planarconfig", "screenWindow", "compression",
                                           "CompressionQuality", "PixelAspectRatio", "XResolution", "YResolution",
                                           "ResolutionUnit"};
    for (const char *p : prefixes)
        if (name.compare(0, std::strlen(p), p) == 0)
            return true;
    return false;
}

std::string joined(const std::vector<std::string> &names, std::size_t most)
{
    std::string s;
    for (std::size_t i = 0; i < names.size() && i < most; ++i)
        s += (i ? ", " : "") + names[i];
    if (names.size() > most)
        s += " and " + std::to_string(names.size() - most) + " more";
    return s;
}

}  // namespace

std::optional<std::string> outputLosses(const std::string &file,
                         const OIIO::ImageSpec &asked, const OIIO::ImageSpec &input,
                         const std::vector<std::string> &inputChannels)
{
    // Opened by its content: the file's name has no image extension yet.
    OIIO::ImageSpec got;
    auto reader = OIIO::ImageInput::open(file);
    if (!reader) {
        OIIO::geterror();  // a pending message would surface in a later one
        return std::nullopt;
    }
    got = reader->spec();
    reader.reset();

    std::vector<std::string> losses;
    if (got.format != asked.format)
        losses.push_back(std::string("keeps ") + got.format.c_str() + " of " + asked.format.c_str());
    std::vector<std::string> channels;
    for (const std::string &name : inputChannels)
        if (std::find(got.channelnames.begin(), got.channelnames.end(), name) == got.channelnames.end())
            channels.push_back(name);
    if (!channels.empty())
        losses.push_back("drops channels " + joined(channels, 6));
    if (got.x != asked.x || got.y != asked.y || got.width != asked.width || got.height != asked.height)
        losses.push_back("drops the data window");
    else if (got.full_x != asked.full_x || got.full_y != asked.full_y || got.full_width != asked.full_width ||
             got.full_height != asked.full_height)
        losses.push_back("drops the display window");
    std::vector<std::string> metadata;
    for (const OIIO::ParamValue &p : input.extra_attribs) {
        const std::string name = p.name().string();
        if (!describesTheFile(name) && !got.find_attribute(name))
            metadata.push_back(name);
    }
    if (!metadata.empty())
        losses.push_back("drops metadata " + joined(metadata, 4));
    std::string text;
    for (const std::string &l : losses)
        text += (text.empty() ? "" : "; ") + l;
    return text;
}
