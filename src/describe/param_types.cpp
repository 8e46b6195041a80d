#include "describe/param_types.h"

#include "ofx/ofx_names.h"

namespace OFX {

const char *paramTypeName(ParamTypeEnum type)
{
    switch (type) {
    case eStringParam: return kOfxParamTypeString;
    case eIntParam: return kOfxParamTypeInteger;
    case eInt2DParam: return kOfxParamTypeInteger2D;
    case eInt3DParam: return kOfxParamTypeInteger3D;
    case eDoubleParam: return kOfxParamTypeDouble;
    case eDouble2DParam: return kOfxParamTypeDouble2D;
    case eDouble3DParam: return kOfxParamTypeDouble3D;
    case eRGBParam: return kOfxParamTypeRGB;
    case eRGBAParam: return kOfxParamTypeRGBA;
    case eBooleanParam: return kOfxParamTypeBoolean;
    case eChoiceParam: return kOfxParamTypeChoice;
    case eCustomParam: return kOfxParamTypeCustom;
    case eGroupParam: return kOfxParamTypeGroup;
    case ePageParam: return kOfxParamTypePage;
    case ePushButtonParam: return kOfxParamTypePushButton;
    default: return kOfxParamTypeInteger;
    }
}

}  // namespace OFX
