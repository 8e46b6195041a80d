#include <gtest/gtest.h>

#include <memory>

#include "bound_host.h"
#include "instance/image_effect.h"
#include "null_effect.h"
#include "ofx/ofx_names.h"
#include "property/exceptions.h"
#include "render/host_image.h"
#include "suites/host_objects.h"

namespace Ex = OFX::Exception;
using namespace ofxhost;

namespace {

using TestEffect = NullEffect;

class Instances : public BoundHost {
protected:
    void SetUp() override
    {
        BoundHost::SetUp();
        effect.defineClip("Source");
        effect.defineClip("Output");
        for (auto [name, type] : {std::pair<const char *, const char *>{"count", kOfxParamTypeInteger},
                                  {"angle", kOfxParamTypeDouble},
                                  {"flag", kOfxParamTypeBoolean}}) {
            effect.params.params.emplace(name, std::make_unique<ParamObject>(name, type, true));
            effect.params.order.push_back(name);
        }
    }
    OfxImageEffectHandle handle() { return reinterpret_cast<OfxImageEffectHandle>(&effect); }
    EffectObject effect{true, kOfxImageEffectContextGeneral};
};

}  // namespace

TEST_F(Instances, PublishesItselfAndWithdrawsOnDestruction)
{
    auto instance = std::make_unique<TestEffect>(handle());
    EXPECT_EQ(effect.props.getPointer("OfxPropInstanceData"), instance.get());
    EXPECT_EQ(instance->context(), OFX::eContextGeneral);
    instance.reset();
    EXPECT_EQ(effect.props.getPointer("OfxPropInstanceData"), nullptr);
}

TEST_F(Instances, AFailedConstructionLeavesNoPointerBehind)
{
    effect.props.defineString("OfxImageEffectPropContext", {"OfxImageEffectContextSideways"});
    EXPECT_THROW(TestEffect instance(handle()), std::invalid_argument);
    EXPECT_EQ(effect.props.getPointer("OfxPropInstanceData"), nullptr);

    effect.props.defineString("OfxImageEffectPropContext", {"OfxImageEffectContextFilter"});
    faults().failCall("getParamSet", kOfxStatErrBadHandle);
    StdoutCapture out;
    EXPECT_THROW(TestEffect instance(handle()), Ex::Suite);
    EXPECT_EQ(effect.props.getPointer("OfxPropInstanceData"), nullptr);
}

TEST_F(Instances, ClipsAreFetchedOnce)
{
    TestEffect instance(handle());
    OFX::Clip *source = instance.getClip("Source");
    EXPECT_EQ(instance.getClip("Source"), source);
    EXPECT_EQ(faults().count("clipGetHandle"), 1);
    EXPECT_EQ(source->getPixelDepth(), OFX::eBitDepthNone);
    EXPECT_EQ(source->getPixelComponents(), OFX::ePixelComponentNone);
    StdoutCapture out;
    EXPECT_THROW(instance.getClip("Matte"), Ex::Suite);
}

TEST_F(Instances, AClipWithoutConnectedFailsWhenItHasNoDepth)
{
    TestEffect instance(handle());
    effect.findClip("Source")->props.remove("OfxImageClipPropConnected");
    EXPECT_THROW(instance.getClip("Source")->getPixelDepth(), Ex::PropertyUnknownToHost);
}

TEST_F(Instances, ImagesAreReadOnceAndReleased)
{
    TestEffect instance(handle());
    OFX::Clip *source = instance.getClip("Source");
    EXPECT_EQ(source->getImage(0.0), nullptr);

    ImageLayout layout;
    layout.depth = Depth::Short;
    layout.bounds = {-5, 3, 4, 9};
    layout.negativeRowBytes = true;
    HostImage pixels(layout);
    effect.findClip("Source")->connect(&pixels);
    EXPECT_EQ(source->getPixelDepth(), OFX::eBitDepthUShort);
    std::unique_ptr<OFX::Image> image(source->getImage(1.0));
    ASSERT_TRUE(image);
    EXPECT_EQ(image->pixelBytes(), 8);
    EXPECT_EQ(image->rowBytes(), -72);
    EXPECT_EQ(image->premultiplication(), OFX::eImagePreMultiplied);
    EXPECT_EQ(image->pixelAddress(-5, 3), pixels.pixel(-5, 3));
    EXPECT_EQ(image->pixelAddress(3, 8), pixels.pixel(3, 8));
    EXPECT_GT(image->pixelAddress(0, 3), image->pixelAddress(0, 4));  // rows fall as y grows
    EXPECT_EQ(image->pixelAddress(4, 8), nullptr);
    EXPECT_EQ(image->pixelAddress(3, 9), nullptr);
    EXPECT_EQ(image->pixelAddress(-6, 3), nullptr);
    EXPECT_EQ(Host::instance().imagesOut.load(), 1u);
    image.reset();
    EXPECT_EQ(Host::instance().imagesOut.load(), 0u);
}

TEST_F(Instances, AnImageThatCannotBeReadIsStillReleased)
{
    TestEffect instance(handle());
    ImageLayout layout;
    layout.bounds = {0, 0, 2, 2};
    HostImage pixels(layout);
    effect.findClip("Source")->connect(&pixels);
    quirks().premultiplication = "";
    EXPECT_THROW(instance.getClip("Source")->getImage(0.0), std::invalid_argument);
    EXPECT_EQ(Host::instance().imagesOut.load(), 0u);

    quirks().premultiplication = "OfxImageOpaque";
    quirks().omitUniqueIdentifier = true;
    EXPECT_THROW(instance.getClip("Source")->getImage(0.0), Ex::PropertyUnknownToHost);
    EXPECT_EQ(Host::instance().imagesOut.load(), 0u);
}

TEST_F(Instances, ImageFailuresOtherThanFailedRaise)
{
    TestEffect instance(handle());
    faults().failCall("clipGetImage", kOfxStatErrUnknown);
    StdoutCapture out;
    try {
        instance.getClip("Source")->getImage(0.0);
        FAIL();
    } catch (const Ex::Suite &e) {
        EXPECT_EQ(e.status(), kOfxStatErrUnknown);
    }
}

TEST(ImagePixelBytes, EveryDepthAndComponent)
{
    using namespace OFX;
    EXPECT_EQ(imagePixelBytes(ePixelComponentRGBA, eBitDepthUByte), 4);
    EXPECT_EQ(imagePixelBytes(ePixelComponentRGBA, eBitDepthUShort), 8);
    EXPECT_EQ(imagePixelBytes(ePixelComponentRGBA, eBitDepthFloat), 16);
    EXPECT_EQ(imagePixelBytes(ePixelComponentAlpha, eBitDepthUByte), 1);
    EXPECT_EQ(imagePixelBytes(ePixelComponentAlpha, eBitDepthFloat), 4);
    EXPECT_EQ(imagePixelBytes(ePixelComponentRGBA, eBitDepthUShortBGR), 4);
    EXPECT_EQ(imagePixelBytes(ePixelComponentNone, eBitDepthFloat), 0);
    EXPECT_EQ(imagePixelBytes(ePixelComponentUnknown, eBitDepthUByte), 0);
}

TEST_F(Instances, LargeImagesAreAddressedWithoutOverflow)
{
    // A 16384-row float image: row offsets beyond 2^31 bytes.
    PropertyStore props("image");
    static char base;
    props.definePointer("OfxImagePropData", {&base});
    props.defineInt("OfxImagePropRowBytes", {16384 * 16});
    props.defineDouble("OfxImagePropPixelAspectRatio", {1.0});
    props.defineString("OfxImageEffectPropComponents", {"OfxImageComponentRGBA"});
    props.defineString("OfxImageEffectPropPixelDepth", {"OfxBitDepthFloat"});
    props.defineString("OfxImageEffectPropPreMultiplication", {"OfxImageOpaque"});
    props.defineInt("OfxImagePropRegionOfDefinition", {0, 0, 16384, 16384});
    props.defineInt("OfxImagePropBounds", {0, 0, 16384, 16384});
    props.defineString("OfxImagePropField", {"OfxFieldSideways"});
    props.defineString("OfxImagePropUniqueIdentifier", {"big"});
    props.defineDouble("OfxImageEffectPropRenderScale", {1.0, 1.0});
    OFX::Image image(props.handle());
    EXPECT_EQ(image.field(), OFX::eFieldNone);
    auto *address = static_cast<char *>(image.pixelAddress(16383, 16383));
    EXPECT_EQ(address - &base, 16383LL * 16384 * 16 + 16383LL * 16);
}

TEST_F(Instances, ParametersAreFetchedOnceByType)
{
    TestEffect instance(handle());
    OFX::IntParam *count = instance.getIntParam("count");
    EXPECT_EQ(instance.getIntParam("count"), count);
    EXPECT_EQ(faults().count("paramGetHandle"), 1);
    EXPECT_EQ(faults().count("paramGetPropertySet"), 1);
    try {
        instance.getDoubleParam("count");
        FAIL();
    } catch (const Ex::TypeRequest &e) {
        EXPECT_STREQ(e.what(), "Fetching param and attempting to return the wrong type");
    }
    EXPECT_EQ(faults().count("paramGetHandle"), 1);

    try {
        instance.getIntParam("flag");
        FAIL();
    } catch (const Ex::TypeRequest &e) {
        EXPECT_STREQ(e.what(), "Parameter exists but is of the wrong type");
    }
    EXPECT_EQ(instance.findParam("flag"), nullptr);
    OFX::BooleanParam *flag = instance.getBooleanParam("flag");
    ASSERT_NE(flag, nullptr);

    effect.params.find("flag")->value = {2};
    bool on = false;
    flag->valueAt(0.0, on);
    EXPECT_TRUE(on);

    auto *angle = effect.params.find("angle");
    angle->keys[0.0] = {10.0};
    angle->keys[4.0] = {50.0};
    double a = 0;
    instance.getDoubleParam("angle")->valueAt(1.0, a);
    EXPECT_DOUBLE_EQ(a, 20.0);

    StdoutCapture out;
    EXPECT_THROW(instance.getIntParam("missing"), Ex::Suite);
    faults().failCall("paramGetValueAtTime", kOfxStatErrMemory);
    int c = 0;
    EXPECT_THROW(count->valueAt(0.0, c), std::bad_alloc);
}

TEST_F(Instances, AParameterWhosePropertiesFailIsNotCached)
{
    TestEffect instance(handle());
    faults().failCall("paramGetPropertySet", kOfxStatErrFatal);
    StdoutCapture out;
    EXPECT_THROW(instance.getIntParam("count"), Ex::Suite);
    EXPECT_EQ(instance.findParam("count"), nullptr);
}

TEST_F(Instances, AbortAsksTheHost)
{
    TestEffect instance(handle());
    EXPECT_FALSE(instance.abortRequested());
    quirks().abortAnswer = true;
    EXPECT_TRUE(instance.abortRequested());
}
