#pragma once

// The enumerations shared across the support layer and their host texts.
// Texts are compared whole, byte for byte. A value without a text maps to
// nullptr, and writers then write nothing.

#include <cstdint>
#include <string>

namespace OFX {

enum ContextEnum : std::uint32_t {
    eContextNone = 0,
    eContextGenerator = 1,
    eContextFilter = 2,
    eContextTransition = 3,
    eContextPaint = 4,
    eContextGeneral = 5,
    eContextRetimer = 6,
};

enum PixelDepthEnum : std::uint32_t {
    eBitDepthNone = 0,
    eBitDepthUByte = 1,
    eBitDepthUShort = 2,
    eBitDepthFloat = 3,
    eBitDepthUnknown = 4,
    eBitDepthUByteBGR = 5,
    eBitDepthUShortBGR = 6,
    eBitDepthFloatBGR = 7,
};

enum ComponentsEnum : std::uint32_t {
    ePixelComponentNone = 0,
    ePixelComponentRGBA = 1,
    ePixelComponentAlpha = 2,
    ePixelComponentUnknown = 3,
};

enum FieldEnum : std::uint32_t {
    eFieldNone = 0,
    eFieldBoth = 1,
    eFieldLower = 2,
    eFieldUpper = 3,
};

// Strict: an unknown text throws std::invalid_argument carrying the text.
ContextEnum contextFromString(const std::string &text);
const char *contextToString(ContextEnum context);

// Lenient: an unknown text reads as eBitDepthUnknown / ePixelComponentUnknown.
PixelDepthEnum pixelDepthFromString(const std::string &text);
const char *pixelDepthToString(PixelDepthEnum depth);
ComponentsEnum componentsFromString(const std::string &text);
const char *componentsToString(ComponentsEnum components);

// Strict reading throws std::invalid_argument; lenient reads any other text as none.
FieldEnum fieldFromString(const std::string &text);
FieldEnum fieldFromStringLenient(const std::string &text);

}  // namespace OFX
