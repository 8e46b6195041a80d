#include <gtest/gtest.h>

#include "bound_host.h"
#include "describe/image_effect_descriptor.h"
#include "ofx/ofx_names.h"
#include "property/exceptions.h"
#include "suites/host_objects.h"

namespace Ex = OFX::Exception;
using ofxhost::EffectObject;

namespace {

class Descriptors : public BoundHost {
protected:
    OfxImageEffectHandle handle() { return reinterpret_cast<OfxImageEffectHandle>(&effect); }
    EffectObject effect{false, kOfxImageEffectContextFilter};
};

struct CountingInteract : OFX::InteractDescriptor {
    explicit CountingInteract(int &deaths) : deaths(deaths) {}
    ~CountingInteract() override { ++deaths; }
    OfxPluginEntryPoint *getMainEntry() const override { return entry; }
    static OfxStatus entry(const char *, const void *, OfxPropertySetHandle, OfxPropertySetHandle) { return 0; }
    int &deaths;
};

}  // namespace

TEST_F(Descriptors, ClipsAreDefinedOnceAndNamedPerClip)
{
    OFX::ImageEffectDescriptor d(handle());
    OFX::ClipDescriptor *source = d.defineClip("Source");
    EXPECT_EQ(d.defineClip("Source"), source);
    EXPECT_EQ(faults().count("clipDefine"), 1);
    d.defineClip("Output");
    EXPECT_EQ(d.clipRoIPropNames().at("Output"), "OfxImageClipPropRoI_Output");
    EXPECT_EQ(d.clipFrameRangePropNames().at("Output"), "OfxImageClipPropFrameRange_Output");
    EXPECT_EQ(d.clipDepthPropNames().at("Source"), "OfxImageClipPropDepth_Source");
    EXPECT_EQ(d.clipComponentsPropNames().at("Source"), "OfxImageClipPropComponents_Source");
    EXPECT_EQ(d.clipPARPropNames().at("Source"), "OfxImageClipPropPAR_Source");

    source->addSupportedComponent(OFX::ePixelComponentRGBA);
    source->addSupportedComponent(OFX::ePixelComponentAlpha);
    source->addSupportedComponent(OFX::ePixelComponentNone);
    source->setOptional(true);
    auto &props = effect.findClip("Source")->props;
    EXPECT_EQ(props.getStrings("OfxImageEffectPropSupportedComponents"),
              (std::vector<std::string>{"OfxImageComponentRGBA", "OfxImageComponentAlpha"}));
    EXPECT_EQ(props.getInt("OfxImageClipPropOptional"), 1);
}

TEST_F(Descriptors, AppendsFollowWhatTheHostHolds)
{
    effect.props.defineString("OfxImageEffectPropSupportedPixelDepths", {"OfxBitDepthHalf"}, true);
    OFX::ImageEffectDescriptor d(handle());
    faults().clearLog();
    d.addSupportedBitDepth(OFX::eBitDepthNone);
    d.addSupportedBitDepth(OFX::eBitDepthUnknown);
    d.addSupportedContext(OFX::eContextNone);
    EXPECT_EQ(faults().count("propGetDimension"), 3);
    EXPECT_EQ(faults().count("propSetString"), 0);
    d.addSupportedBitDepth(OFX::eBitDepthFloat);
    d.addSupportedBitDepth(OFX::eBitDepthFloat);
    d.addSupportedContext(OFX::eContextGeneral);
    EXPECT_EQ(effect.props.getStrings("OfxImageEffectPropSupportedPixelDepths"),
              (std::vector<std::string>{"OfxBitDepthHalf", "OfxBitDepthFloat", "OfxBitDepthFloat"}));
    EXPECT_EQ(effect.props.getStrings("OfxImageEffectPropSupportedContexts"),
              std::vector<std::string>{"OfxImageEffectContextGeneral"});
}

TEST_F(Descriptors, OptionalLabelsMayBeRefused)
{
    OFX::ImageEffectDescriptor d(handle());
    faults().addPropertyFault({"effect", "OfxPropShortLabel", kOfxStatErrUnknown});
    d.setLabels("L", "S", "Long");
    EXPECT_EQ(effect.props.getString("OfxPropLongLabel"), "Long");
    faults().addPropertyFault({"effect", "OfxPropLabel", kOfxStatErrValue});
    effect.props.defineString("OfxPropLongLabel", {"kept"});
    EXPECT_THROW(d.setLabels("L", "S", "again"), Ex::PropertyValueIllegalToHost);
    EXPECT_EQ(effect.props.getString("OfxPropLongLabel"), "kept");
}

TEST_F(Descriptors, FlagsAreWrittenAsInts)
{
    OFX::ImageEffectDescriptor d(handle());
    d.setSupportsTiles(false);
    d.setSupportsMultipleClipDepths(true);
    d.setPluginGrouping("Transform");
    EXPECT_EQ(effect.props.getInt("OfxImageEffectPropSupportsTiles"), 0);
    EXPECT_EQ(effect.props.getInt("OfxImageEffectPropMultipleClipDepths"), 1);
    EXPECT_EQ(effect.props.getString("OfxImageEffectPluginPropGrouping"), "Transform");
}

TEST_F(Descriptors, ARefusedClipDefinitionFailsWithTheHostStatus)
{
    OFX::ImageEffectDescriptor d(handle());
    faults().failCall("clipDefine", kOfxStatErrExists);
    StdoutCapture out;
    try {
        d.defineClip("Source");
        FAIL();
    } catch (const Ex::Suite &e) {
        EXPECT_EQ(e.status(), kOfxStatErrExists);
    }
}

TEST_F(Descriptors, OverlayWithoutHostSupportIsKeptButNotDeclared)
{
    int deaths = 0;
    {
        OFX::ImageEffectDescriptor d(handle());
        auto *overlay = new CountingInteract(deaths);
        d.setOverlayInteractDescriptor(overlay);
        d.setOverlayInteractDescriptor(overlay);
        EXPECT_EQ(deaths, 0);
        EXPECT_EQ(effect.props.getPointer("OfxImageEffectPluginPropOverlayInteractV1"), nullptr);
        d.setOverlayInteractDescriptor(new CountingInteract(deaths));
        EXPECT_EQ(deaths, 1);
    }
    EXPECT_EQ(deaths, 2);
}

TEST_F(Descriptors, ParametersAreDefinedOncePerName)
{
    OFX::ImageEffectDescriptor d(handle());
    auto *count = d.defineIntParam("splitCount");
    EXPECT_EQ(d.defineIntParam("splitCount"), count);
    EXPECT_EQ(faults().count("paramDefine"), 1);
    EXPECT_EQ(d.defineDoubleParam("splitCount"), nullptr);
    EXPECT_EQ(faults().count("paramDefine"), 1);
    auto *page = d.definePageParam("Controls");
    EXPECT_EQ(d.definePageParam("Controls"), page);
    EXPECT_EQ(d.findParam("Controls"), page);
    EXPECT_EQ(d.findParam("nothing"), nullptr);

    auto *angle = d.defineDoubleParam("splitAngle");
    auto *flag = d.defineBooleanParam("section1");
    page->addChild(*count);
    page->addChild(OFX::PageSkipRow);
    page->addChild(*angle);
    page->addChild(*flag);
    EXPECT_EQ(effect.params.find("Controls")->props.getStrings("OfxParamPropPageChild"),
              (std::vector<std::string>{"splitCount", "OfxParamPageSkipRow", "splitAngle", "section1"}));

    count->setDefault(2);
    count->setRange(1, 10);
    count->setDisplayRange(1, 10);
    count->setAnimates(true);
    angle->setDefault(0.5);
    angle->setRange(359.0, 0.0);  // written unchanged, not checked
    flag->setDefault(true);
    auto &cp = effect.params.find("splitCount")->props;
    EXPECT_EQ(cp.getInt("OfxParamPropMax"), 10);
    EXPECT_EQ(cp.getInt("OfxParamPropDisplayMin"), 1);
    EXPECT_EQ(effect.params.find("splitAngle")->props.getDouble("OfxParamPropMin"), 359.0);
    EXPECT_EQ(effect.params.find("section1")->props.getInt("OfxParamPropDefault"), 1);
    EXPECT_EQ(effect.params.find("section1")->type, "OfxParamTypeBoolean");
}

TEST_F(Descriptors, RefusedHintIsIgnoredRefusedRangeRaisesEarly)
{
    OFX::ImageEffectDescriptor d(handle());
    auto *count = d.defineIntParam("n");
    faults().addPropertyFault({"paramDescriptor", "OfxParamPropHint", kOfxStatErrUnknown});
    EXPECT_NO_THROW(count->setHint("h"));
    faults().addPropertyFault({"paramDescriptor", "OfxParamPropMin", kOfxStatErrUnsupported});
    EXPECT_THROW(count->setRange(1, 10), Ex::PropertyUnknownToHost);
    EXPECT_NE(effect.params.find("n")->props.getInt("OfxParamPropMax"), 10);
}

TEST_F(Descriptors, AFailedDefinitionDefinesNothing)
{
    OFX::ImageEffectDescriptor d(handle());
    faults().failCall("paramDefine", kOfxStatErrMemory);
    EXPECT_THROW(d.defineIntParam("n"), std::bad_alloc);
    EXPECT_EQ(d.findParam("n"), nullptr);
}

TEST(ParamTypeNames, TableAndFallback)
{
    EXPECT_STREQ(OFX::paramTypeName(OFX::ePageParam), "OfxParamTypePage");
    EXPECT_STREQ(OFX::paramTypeName(OFX::eGroupParam), "OfxParamTypeGroup");
    EXPECT_STREQ(OFX::paramTypeName(OFX::eDummyParam), "OfxParamTypeInteger");
    EXPECT_STREQ(OFX::paramTypeName(OFX::eIntParam), "OfxParamTypeInteger");
    EXPECT_STREQ(OFX::paramTypeName(static_cast<OFX::ParamTypeEnum>(16)), "OfxParamTypeInteger");
    EXPECT_STREQ(OFX::PageSkipColumn.name().c_str(), "OfxParamPageSkipColumn");
}
