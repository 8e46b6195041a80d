#pragma once

// The effect as declared at describe time: effect-wide properties, clips and
// (through the base) parameters. Kept by the dispatcher until unload; later
// actions read the per-clip property names derived when clips were defined.

#include <map>
#include <memory>
#include <string>

#include "describe/clip_descriptor.h"
#include "describe/interact_descriptor.h"
#include "describe/param_set_descriptor.h"
#include "property/enums.h"

namespace OFX {

using ClipPropNames = std::map<std::string, std::string>;

class ImageEffectDescriptor : public ParamSetDescriptor {
public:
    explicit ImageEffectDescriptor(OfxImageEffectHandle handle);
    ~ImageEffectDescriptor() override;

    OfxImageEffectHandle effectHandle() const { return effectHandle_; }
    const PropertySet &effectProperties() const { return effectProperties_; }

    void setLabels(const std::string &label, const std::string &shortLabel, const std::string &longLabel);
    // "true" or "false" for OpenCL buffers; a host that has not heard of
    // the property is left alone.
    void setOpenCLRenderSupported(bool value);
    // The same for OpenCL images ("OfxImageEffectPropOpenCLSupported").
    void setOpenCLImagesSupported(bool value);
    void setPluginGrouping(const std::string &grouping);
    void setPluginDescription(const std::string &description);
    void setSingleInstance(bool value);
    void setHostFrameThreading(bool value);
    void setSupportsMultiResolution(bool value);
    void setSupportsTiles(bool value);
    void setTemporalClipAccess(bool value);
    void setFieldRenderTwiceAlways(bool value);
    void setSupportsMultipleClipPARs(bool value);
    void setSupportsMultipleClipDepths(bool value);
    void addSupportedContext(ContextEnum context);
    void addSupportedBitDepth(PixelDepthEnum depth);

    // The clip of that name, defined through the host on first request only.
    ClipDescriptor *defineClip(const std::string &name);

    // Takes ownership; replacing a stored one destroys it (unless it is the same).
    virtual void setOverlayInteractDescriptor(InteractDescriptor *descriptor);
    virtual void setHWndInteractDescriptor(InteractDescriptor *descriptor);

    const ClipPropNames &clipComponentsPropNames() const { return clipComponentsPropNames_; }
    const ClipPropNames &clipDepthPropNames() const { return clipDepthPropNames_; }
    const ClipPropNames &clipPARPropNames() const { return clipPARPropNames_; }
    const ClipPropNames &clipRoIPropNames() const { return clipRoIPropNames_; }
    const ClipPropNames &clipFrameRangePropNames() const { return clipFrameRangePropNames_; }

private:
    void setFlag(const char *property, bool value);

    OfxImageEffectHandle effectHandle_;
    PropertySet effectProperties_;
    std::map<std::string, std::unique_ptr<ClipDescriptor>> definedClips_;
    ClipPropNames clipComponentsPropNames_;
    ClipPropNames clipDepthPropNames_;
    ClipPropNames clipPARPropNames_;
    ClipPropNames clipRoIPropNames_;
    ClipPropNames clipFrameRangePropNames_;
    InteractDescriptor *overlayInteract_ = nullptr;
    InteractDescriptor *hwndInteract_ = nullptr;
};

}  // namespace OFX
