#pragma once

#include <cstdint>

namespace OFX {

// Parameter types of the standard; 0 is used only by the page-layout markers.
enum ParamTypeEnum : std::uint32_t {
    eDummyParam = 0,
    eStringParam = 1,
    eIntParam = 2,
    eInt2DParam = 3,
    eInt3DParam = 4,
    eDoubleParam = 5,
    eDouble2DParam = 6,
    eDouble3DParam = 7,
    eRGBParam = 8,
    eRGBAParam = 9,
    eBooleanParam = 10,
    eChoiceParam = 11,
    eCustomParam = 12,
    eGroupParam = 13,
    ePageParam = 14,
    ePushButtonParam = 15,
};

// The type string the host knows; any value outside 1..15 gives the integer type's.
const char *paramTypeName(ParamTypeEnum type);

}  // namespace OFX
