#include <gtest/gtest.h>

#include "bound_host.h"
#include "entry/action_readers.h"
#include "entry/plugin_factory.h"
#include "ofx/ofx_names.h"
#include "property/exceptions.h"
#include "suites/property_store.h"

using ofxhost::PropertyStore;

TEST(UniqueKey, IdentifierThenVersionDigits)
{
    EXPECT_EQ(OFX::makeUniqueKey("net.x.y.ja", 2, 1), "net.x.y.ja21");
    EXPECT_EQ(OFX::makeUniqueKey("X", 12, 3), "X123");
    EXPECT_EQ(OFX::makeUniqueKey("X", 1, 23), OFX::makeUniqueKey("X", 12, 3));
}

TEST(EnumTexts, ContextsAndReasons)
{
    EXPECT_EQ(OFX::contextFromString("OfxImageEffectContextGeneral"), OFX::eContextGeneral);
    EXPECT_EQ(OFX::contextFromString("OfxImageEffectContextRetimer"), OFX::eContextRetimer);
    EXPECT_THROW(OFX::contextFromString("OfxImageEffectContextgeneral"), std::invalid_argument);
    EXPECT_EQ(OFX::changeReasonFromString("OfxChangeTime"), OFX::eChangeTime);
    EXPECT_THROW(OFX::changeReasonFromString("OfxChangeTime "), std::invalid_argument);
    EXPECT_EQ(OFX::renderQualityFromString("OfxImageEffectPropRenderQualityPreview"), OFX::eRenderQualityPreview);
    EXPECT_EQ(OFX::renderQualityFromString(""), OFX::eRenderQualityUnset);
    EXPECT_EQ(OFX::pixelDepthFromString("OfxBitDepthHalf"), OFX::eBitDepthUnknown);
    EXPECT_EQ(OFX::componentsFromString("OfxImageComponentRGB"), OFX::ePixelComponentUnknown);
    EXPECT_EQ(OFX::pixelDepthToString(OFX::eBitDepthUnknown), nullptr);
    EXPECT_EQ(OFX::contextToString(static_cast<OFX::ContextEnum>(9)), nullptr);
}

class Readers : public BoundHost {};

TEST_F(Readers, RenderArgumentsInOrder)
{
    PropertyStore in("inArgs");
    in.defineDouble(kOfxPropTime, {3.5});
    in.defineDouble(kOfxImageEffectPropRenderScale, {0.5, 0.25});
    in.defineInt(kOfxImageEffectPropRenderWindow, {1, 2, 3, 4});
    in.defineString(kOfxImageEffectPropFieldToRender, {"OfxFieldLower"});
    auto args = OFX::readRenderArguments(OFX::PropertySet(in.handle()));
    EXPECT_EQ(args.time, 3.5);
    EXPECT_EQ(args.renderScale.y, 0.25);
    EXPECT_EQ(args.renderWindow.x2, 3);
    EXPECT_EQ(args.fieldToRender, OFX::eFieldLower);
    EXPECT_EQ(args.renderQuality, OFX::eRenderQualityUnset);
    EXPECT_EQ(args.viewsToRender, 0);

    in.defineString(kOfxImageEffectPropFieldToRender, {"OfxFieldUpper"});
    in.defineString(kOfxImageEffectPropRenderQuality, {"OfxImageEffectPropRenderQualityDraft"});
    args = OFX::readRenderArguments(OFX::PropertySet(in.handle()));
    EXPECT_EQ(args.fieldToRender, OFX::eFieldUpper);
    EXPECT_EQ(args.renderQuality, OFX::eRenderQualityDraft);

    in.defineString(kOfxImageEffectPropFieldToRender, {"OfxFieldupper"});
    args = OFX::readRenderArguments(OFX::PropertySet(in.handle()));
    EXPECT_EQ(args.fieldToRender, OFX::eFieldNone);
}

TEST_F(Readers, SequenceAndRegionArguments)
{
    PropertyStore in("inArgs");
    in.defineDouble(kOfxImageEffectPropFrameRange, {2, 9});
    in.defineDouble(kOfxImageEffectPropFrameStep, {0.5});
    in.defineDouble(kOfxImageEffectPropRenderScale, {1, 1});
    in.defineInt(kOfxPropIsInteractive, {7});
    auto begin = OFX::readBeginSequenceRenderArguments(OFX::PropertySet(in.handle()));
    EXPECT_EQ(begin.frameRange.max, 9.0);
    EXPECT_TRUE(begin.isInteractive);
    EXPECT_THROW(OFX::readRegionOfDefinitionArguments(OFX::PropertySet(in.handle())),
                 OFX::Exception::PropertyUnknownToHost);
}
