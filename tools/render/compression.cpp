#include "compression.h"

#include <OpenImageIO/imageio.h>

#include <map>
#include <regex>
#include <vector>

#include "captured_stderr.h"
#include "cli_error.h"

namespace {

// The names each writer of the accepted formats understands.
const std::map<std::string, std::vector<std::string>> &compressions()
{
    static const std::map<std::string, std::vector<std::string>> table = {
        {"openexr", {"none", "rle", "zip", "zips", "piz", "pxr24", "b44", "b44a", "dwaa", "dwab"}},
        {"tiff", {"none", "lzw", "zip", "ccittrle", "jpeg", "packbits"}},
        {"png", {"zip", "default", "filtered", "huffman", "rle", "fixed"}},
        {"jpeg", {"jpeg"}},
        {"webp", {"webp", "lossless"}},
        {"dpx", {"none", "rle"}},
        {"bmp", {"none", "rle4", "rle8"}},
        {"targa", {"none", "rle"}},
        {"hdr", {"rle"}},
        {"iff", {"none", "rle"}},
        {"pnm", {"none"}},
        {"gif", {"none"}},
        {"jpeg2000", {"none"}},
    };
    return table;
}

}  // namespace

void checkCompression(const std::string &outputPath, const std::string &choice)
{
    if (choice.empty())
        return;
    std::string format;
    {
        CapturedStderr quiet;
        auto out = OIIO::ImageOutput::create(outputPath);
        if (!out)
            return;  // the format itself is refused elsewhere
        format = out->format_name();
    }
    const std::string name = choice.substr(0, choice.find(':'));
    static const std::regex quality("^-?[0-9]+(\\.[0-9]+)?$");
    const auto colon = choice.find(':');
    if (colon != std::string::npos && !std::regex_match(choice.substr(colon + 1), quality))
        throw UsageError("--compression " + choice + ": the quality after ':' must be a number");
    auto known = compressions().find(format);
    if (known == compressions().end())
        throw UsageError("--compression " + choice + ": " + format + " files take no compression choice");
    std::string names;
    for (const std::string &n : known->second) {
        if (n == name)
            return;
        names += (names.empty() ? "" : ", ") + n;
    }
    throw UsageError("--compression " + choice + " is not a compression of " + format + " files (" + names + ")");
}

bool lossyCompression(const std::string &format, const std::string &name)
{
    if (format == "openexr")
        return name == "dwaa" || name == "dwab" || name == "b44" || name == "b44a" || name == "pxr24";
    if (format == "tiff")
        return name == "jpeg";
    // Radiance files keep 8-bit mantissas under a shared exponent.
    return format == "jpeg" || (format == "webp" && name != "lossless") || format == "gif" || format == "hdr";
}
