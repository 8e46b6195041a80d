#pragma once

// An image fetched from a clip. Every property is read once at construction;
// deleting the image hands it back to the host.

#include <cstdint>
#include <string>

#include "ofx/ofx_core.h"
#include "property/enums.h"
#include "property/property_set.h"

namespace OFX {

enum PremultEnum : std::uint32_t {
    eImageOpaque = 0,
    eImagePreMultiplied = 1,
    eImageUnPreMultiplied = 2,
};

// Strict: any other text throws std::invalid_argument.
PremultEnum premultFromString(const std::string &text);

class Image {
public:
    // Takes over the handle: it is released to the host when the image is
    // deleted, and also when construction itself fails.
    explicit Image(OfxPropertySetHandle handle);
    virtual ~Image();
    Image(const Image &) = delete;
    Image &operator=(const Image &) = delete;

    // Address of pixel (x, y) of the bounds, or null outside them or when the
    // pixel size is unknown. Computed in pointer-sized arithmetic.
    void *pixelAddress(int x, int y) const;

    const PropertySet &properties() const { return properties_; }
    void *pixelData() const { return pixelData_; }
    // The cl_mem of an OpenCL image a GPU host lent; null for any other image.
    void *openCLImage() const { return openCLImage_; }
    ComponentsEnum components() const { return components_; }
    int rowBytes() const { return rowBytes_; }
    int pixelBytes() const { return pixelBytes_; }
    PixelDepthEnum pixelDepth() const { return pixelDepth_; }
    PremultEnum premultiplication() const { return premultiplication_; }
    const OfxRectI &regionOfDefinition() const { return regionOfDefinition_; }
    const OfxRectI &bounds() const { return bounds_; }
    double pixelAspectRatio() const { return pixelAspectRatio_; }
    FieldEnum field() const { return field_; }
    const std::string &uniqueIdentifier() const { return uniqueIdentifier_; }
    const OfxPointD &renderScale() const { return renderScale_; }

private:
    void readProperties();

    PropertySet properties_;
    void *pixelData_ = nullptr;
    void *openCLImage_ = nullptr;
    ComponentsEnum components_ = ePixelComponentNone;
    int rowBytes_ = 0;
    int pixelBytes_ = 0;
    PixelDepthEnum pixelDepth_ = eBitDepthNone;
    PremultEnum premultiplication_ = eImageOpaque;
    OfxRectI regionOfDefinition_{0, 0, 0, 0};
    OfxRectI bounds_{0, 0, 0, 0};
    double pixelAspectRatio_ = 1.0;
    FieldEnum field_ = eFieldNone;
    std::string uniqueIdentifier_;
    OfxPointD renderScale_{1.0, 1.0};
};

// Bytes of one pixel by the image's own rule: component count (RGBA 4,
// Alpha 1, else 0) times bytes per component (Byte 1, Short 2, Float 4,
// else the count stands).
int imagePixelBytes(ComponentsEnum components, PixelDepthEnum depth);

}  // namespace OFX
