#pragma once

// The typed records that instance actions receive instead of raw property
// sets. Plain values owned by the caller for one call.

#include <cstdint>
#include <string>

#include "ofx/ofx_core.h"
#include "property/enums.h"
#include "property/property_set.h"

namespace OFX {

enum ChangeReason : std::uint32_t {
    eChangeUserEdit = 0,
    eChangePluginEdit = 1,
    eChangeTime = 2,
};

enum RenderQuality : std::uint32_t {
    eRenderQualityUnset = 0,
    eRenderQualityDraft = 1,
    eRenderQualityPreview = 2,
    eRenderQualityGood = 3,
    eRenderQualityBest = 4,
};

struct RenderArguments {
    double time = 0.0;
    OfxPointD renderScale{1.0, 1.0};
    OfxRectI renderWindow{0, 0, 0, 0};
    FieldEnum fieldToRender = eFieldNone;
    int viewsToRender = 0;
    int renderView = 0;
    RenderQuality renderQuality = eRenderQualityUnset;
    // A GPU host's render: the images live on its device and the work goes
    // on its OpenCL queue. Both read quietly: older hosts have neither.
    bool openCLEnabled = false;
    void *openCLQueue = nullptr;
};

struct BeginSequenceRenderArguments {
    OfxRangeD frameRange{0.0, 0.0};
    double frameStep = 0.0;
    bool isInteractive = false;
    OfxPointD renderScale{1.0, 1.0};
};

struct EndSequenceRenderArguments {
    bool isInteractive = false;
    OfxPointD renderScale{1.0, 1.0};
};

struct RegionOfDefinitionArguments {
    double time = 0.0;
    OfxPointD renderScale{1.0, 1.0};
};

struct RegionsOfInterestArguments {
    double time = 0.0;
    OfxPointD renderScale{1.0, 1.0};
    OfxRectD regionOfInterest{0.0, 0.0, 0.0, 0.0};
};

struct FramesNeededArguments {
    double time = 0.0;
};

struct InstanceChangedArguments {
    ChangeReason reason = eChangeUserEdit;
    double time = 0.0;
    OfxPointD renderScale{1.0, 1.0};
};

struct VegasKeyframeUpliftArguments {
    PropertySet keyframeSet;
    std::string guid;
    int keyframeCount = 0;
    void *data = nullptr;
    int dataLength = 0;
};

}  // namespace OFX
