#pragma once

// The section split effect's instance: binds its two clips and twelve
// parameters, and renders on the OpenCL device when it can, on the CPU
// otherwise. It answers the regions of interest so that tiled hosts hand it
// the whole source; every other action keeps the base's default reply.

#include <memory>

#include "device/device_render.h"
#include "instance/image_effect.h"

class ZelvoProcessorBase;

class ZelvoPlugin : public OFX::ImageEffect {
public:
    explicit ZelvoPlugin(OfxImageEffectHandle handle);
    ~ZelvoPlugin() override;

    void render(const OFX::RenderArguments &args) override;
    void getRegionsOfInterest(const OFX::RegionsOfInterestArguments &args,
                              OFX::RegionOfInterestSetter &rois) override;

private:
    bool renderOpenCL(const OFX::RenderArguments &args);
    // On a GPU host's buffers and queue; any failure is a GPU status.
    void renderOnHostDevice(const OFX::RenderArguments &args);
    void setupAndProcess(ZelvoProcessorBase &processor, const OFX::RenderArguments &args);
    // Ten flags at the render time; a missing parameter reads as visible.
    void readSectionFlags(double time, bool flags[]) const;

    OFX::Clip *dstClip = nullptr;
    OFX::Clip *srcClip = nullptr;
    OFX::IntParam *splitCountParam = nullptr;
    OFX::DoubleParam *splitAngleParam = nullptr;
    OFX::BooleanParam *sectionParams[10] = {};
    Zelvo::OwnDevice openCL;
    bool useOpenCL = true;
};
