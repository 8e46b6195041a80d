#include "property/enums.h"

#include <stdexcept>

#include "ofx/ofx_names.h"

namespace OFX {

namespace {

const char *const contextTexts[] = {nullptr,
                                    kOfxImageEffectContextGenerator,
                                    kOfxImageEffectContextFilter,
                                    kOfxImageEffectContextTransition,
                                    kOfxImageEffectContextPaint,
                                    kOfxImageEffectContextGeneral,
                                    kOfxImageEffectContextRetimer};

const char *const depthTexts[] = {kOfxBitDepthNone, kOfxBitDepthByte,    kOfxBitDepthShort,
                                  kOfxBitDepthFloat, nullptr,            kOfxBitDepthByteBGR,
                                  kOfxBitDepthShortBGR, kOfxBitDepthFloatBGR};

const char *const componentTexts[] = {kOfxImageComponentNone, kOfxImageComponentRGBA, kOfxImageComponentAlpha,
                                      nullptr};

const char *const fieldTexts[] = {kOfxImageFieldNone, kOfxImageFieldBoth, kOfxImageFieldLower,
                                  kOfxImageFieldUpper};

template <std::size_t N>
int indexOf(const char *const (&texts)[N], const std::string &text)
{
    for (std::size_t i = 0; i < N; ++i)
        if (texts[i] && text == texts[i])
            return static_cast<int>(i);
    return -1;
}

}  // namespace

ContextEnum contextFromString(const std::string &text)
{
    int i = indexOf(contextTexts, text);
    if (i < 0)
        throw std::invalid_argument(text);
    return static_cast<ContextEnum>(i);
}

const char *contextToString(ContextEnum context)
{
    return context >= eContextGenerator && context <= eContextRetimer ? contextTexts[context] : nullptr;
}

PixelDepthEnum pixelDepthFromString(const std::string &text)
{
    int i = indexOf(depthTexts, text);
    return i < 0 ? eBitDepthUnknown : static_cast<PixelDepthEnum>(i);
}

const char *pixelDepthToString(PixelDepthEnum depth)
{
    // None and Unknown are not declared to hosts.
    if (depth == eBitDepthNone || depth > eBitDepthFloatBGR)
        return nullptr;
    return depthTexts[depth];
}

ComponentsEnum componentsFromString(const std::string &text)
{
    int i = indexOf(componentTexts, text);
    return i < 0 ? ePixelComponentUnknown : static_cast<ComponentsEnum>(i);
}

const char *componentsToString(ComponentsEnum components)
{
    if (components == ePixelComponentNone || components > ePixelComponentUnknown)
        return nullptr;
    return componentTexts[components];
}

FieldEnum fieldFromString(const std::string &text)
{
    int i = indexOf(fieldTexts, text);
    if (i < 0)
        throw std::invalid_argument(text);
    return static_cast<FieldEnum>(i);
}

FieldEnum fieldFromStringLenient(const std::string &text)
{
    int i = indexOf(fieldTexts, text);
    return i < 0 ? eFieldNone : static_cast<FieldEnum>(i);
}

}  // namespace OFX
