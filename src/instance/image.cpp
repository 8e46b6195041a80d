#include "instance/image.h"

#include <cstddef>
#include <stdexcept>

#include "entry/host_suites.h"
#include "ofx/ofx_names.h"

namespace OFX {

PremultEnum premultFromString(const std::string &text)
{
    if (text == kOfxImageOpaque)
        return eImageOpaque;
    if (text == kOfxImagePreMultiplied)
        return eImagePreMultiplied;
    if (text == kOfxImageUnPreMultiplied)
        return eImageUnPreMultiplied;
    throw std::invalid_argument(text);
}

int imagePixelBytes(ComponentsEnum components, PixelDepthEnum depth)
{
    int count = components == ePixelComponentRGBA ? 4 : components == ePixelComponentAlpha ? 1 : 0;
    switch (depth) {
    case eBitDepthUByte: return count;
    case eBitDepthUShort: return count * 2;
    case eBitDepthFloat: return count * 4;
    default: return count;
    }
}

namespace {

void releaseToHost(OfxPropertySetHandle handle)
{
    if (const OfxImageEffectSuiteV1 *suite = hostSuites().imageEffectSuite)
        suite->clipReleaseImage(handle);
}

// The host handed the image over: it goes back even if reading it fails.
class ReleaseUnlessKept {
public:
    explicit ReleaseUnlessKept(OfxPropertySetHandle handle) : handle_(handle) {}
    ~ReleaseUnlessKept()
    {
        if (handle_)
            releaseToHost(handle_);
    }
    void keep() { handle_ = nullptr; }

private:
    OfxPropertySetHandle handle_;
};

}  // namespace

Image::Image(OfxPropertySetHandle handle) : properties_(handle)
{
    ReleaseUnlessKept guard(handle);
    readProperties();
    guard.keep();
}

void Image::readProperties()
{
    const PropertySet &p = properties_;
    // A GPU host that lends an OpenCL image may leave the data and the row
    // bytes unset (the image keeps its own layout); any other image has both.
    openCLImage_ = p.getPointer(kOfxImageEffectPropOpenCLImage, 0, false);
    const bool needed = openCLImage_ == nullptr;
    pixelData_ = p.getPointer(kOfxImagePropData, 0, needed);
    rowBytes_ = p.getInt(kOfxImagePropRowBytes, 0, needed);
    pixelAspectRatio_ = p.getDouble(kOfxImagePropPixelAspectRatio, 0, true);
    components_ = componentsFromString(p.getString(kOfxImageEffectPropComponents, 0, true));
    pixelDepth_ = pixelDepthFromString(p.getString(kOfxImageEffectPropPixelDepth, 0, true));
    pixelBytes_ = imagePixelBytes(components_, pixelDepth_);
    premultiplication_ = premultFromString(p.getString(kOfxImageEffectPropPreMultiplication, 0, true));
    regionOfDefinition_.x1 = p.getInt(kOfxImagePropRegionOfDefinition, 0, true);
    regionOfDefinition_.y1 = p.getInt(kOfxImagePropRegionOfDefinition, 1, true);
    regionOfDefinition_.x2 = p.getInt(kOfxImagePropRegionOfDefinition, 2, true);
    regionOfDefinition_.y2 = p.getInt(kOfxImagePropRegionOfDefinition, 3, true);
    bounds_.x1 = p.getInt(kOfxImagePropBounds, 0, true);
    bounds_.y1 = p.getInt(kOfxImagePropBounds, 1, true);
    bounds_.x2 = p.getInt(kOfxImagePropBounds, 2, true);
    bounds_.y2 = p.getInt(kOfxImagePropBounds, 3, true);
    field_ = fieldFromStringLenient(p.getString(kOfxImagePropField, 0, true));
    uniqueIdentifier_ = p.getString(kOfxImagePropUniqueIdentifier, 0, true);
    // One host leaves the render scale off the images of its thumbnails; the
    // render's own arguments carry it, so an image without it is still an
    // image (taken at full scale), not a failed render.
    renderScale_.x = p.getDouble(kOfxImageEffectPropRenderScale, 0, false);
    renderScale_.y = p.getDouble(kOfxImageEffectPropRenderScale, 1, false);
    if (!(renderScale_.x > 0.0) || !(renderScale_.y > 0.0))
        renderScale_ = OfxPointD{1.0, 1.0};
}

Image::~Image()
{
    releaseToHost(properties_.handle());
}

void *Image::pixelAddress(int x, int y) const
{
    if (x < bounds_.x1 || x >= bounds_.x2 || y < bounds_.y1 || y >= bounds_.y2)
        return nullptr;
    if (pixelBytes_ == 0)
        return nullptr;
    // 32-bit products overflow for large images; keep them pointer-sized.
    const std::ptrdiff_t row = static_cast<std::ptrdiff_t>(static_cast<long long>(y) - bounds_.y1) * rowBytes_;
    const std::ptrdiff_t column = static_cast<std::ptrdiff_t>(static_cast<long long>(x) - bounds_.x1) * pixelBytes_;
    return static_cast<char *>(pixelData_) + row + column;
}

}  // namespace OFX
