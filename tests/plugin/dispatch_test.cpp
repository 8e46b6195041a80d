// The dispatcher and the registry, driven through the exported entry points
// of a plug-in binary built on the support layer with a factory of our own.

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "faults.h"
#include "load/plugin_binary.h"
#include "load/plugin_driver.h"
#include "ofx/ofx_names.h"
#include "suites/host.h"

using namespace ofxhost;

namespace {

const char *const kFilter = "OfxImageEffectContextFilter";

class Dispatch : public testing::Test {
protected:
    void SetUp() override
    {
        Host::instance().reset();
        Faults::instance().reset();
        binary = std::make_unique<PluginBinary>(DISPATCH_PLUGIN_PATH);
        plugin = std::make_unique<Plugin>(binary->plugin(0));
    }
    void TearDown() override
    {
        instance.reset();
        plugin.reset();
    }

    void ready()
    {
        ASSERT_EQ(plugin->load(), kOfxStatOK);
        ASSERT_EQ(plugin->describe(), kOfxStatOK);
        ASSERT_EQ(plugin->describeInContext(kFilter), kOfxStatOK);
        instance = plugin->createInstance(kFilter);
        ASSERT_TRUE(instance);
    }

    OfxStatus call(const char *action, PropertyStore *in, PropertyStore *out)
    {
        return instance->action(action, in, out);
    }

    std::unique_ptr<PropertyStore> renderArgs(double time = 0.0)
    {
        auto in = std::make_unique<PropertyStore>("inArgs");
        in->defineDouble(kOfxPropTime, {time});
        in->defineDouble(kOfxImageEffectPropRenderScale, {1.0, 1.0});
        in->defineInt(kOfxImageEffectPropRenderWindow, {0, 0, 4, 4});
        in->defineString(kOfxImageEffectPropFieldToRender, {"OfxFieldNone"});
        return in;
    }

    void mode(int m) { instance->setValue("mode", {double(m)}); }

    std::unique_ptr<PluginBinary> binary;
    std::unique_ptr<Plugin> plugin;
    std::unique_ptr<Instance> instance;
};

struct Capture {
    Capture() { testing::internal::CaptureStdout(); }
    std::string take() { return testing::internal::GetCapturedStdout(); }
};

}  // namespace

TEST_F(Dispatch, RegistryHandsOutOneRecord)
{
    EXPECT_EQ(binary->count(), 1);
    EXPECT_EQ(binary->count(), 1);
    OfxPlugin *record = binary->rawPlugin(0);
    ASSERT_NE(record, nullptr);
    EXPECT_STREQ(record->pluginApi, "OfxImageEffectPluginAPI");
    EXPECT_EQ(record->apiVersion, 1);
    EXPECT_STREQ(record->pluginIdentifier, "org.zelvo.test.dispatch");
    EXPECT_EQ(record->pluginVersionMajor, 1u);
    EXPECT_EQ(record->pluginVersionMinor, 23u);
    EXPECT_NE(record->setHost, nullptr);
    EXPECT_NE(record->mainEntry, nullptr);
    EXPECT_EQ(binary->rawPlugin(0), record);
    EXPECT_EQ(binary->rawPlugin(1), nullptr);
    EXPECT_EQ(binary->rawPlugin(-1), nullptr);
}

TEST_F(Dispatch, UnloadReleasesTheRecordAndAKeptPointerStillWorks)
{
    OfxPlugin *before = binary->rawPlugin(0);
    ASSERT_EQ(plugin->load(), kOfxStatOK);
    ASSERT_EQ(plugin->unload(), kOfxStatOK);  // never described
    OfxPlugin *after = binary->rawPlugin(0);
    ASSERT_NE(after, nullptr);
    EXPECT_NE(after, before);
    EXPECT_STREQ(after->pluginIdentifier, before->pluginIdentifier);
    EXPECT_EQ(after->pluginVersionMinor, before->pluginVersionMinor);
    EXPECT_EQ(after->mainEntry, before->mainEntry);
    // A host that kept the old record loads through it again.
    EXPECT_EQ(before->mainEntry(kOfxActionLoad, nullptr, nullptr, nullptr), kOfxStatOK);
    EXPECT_EQ(before->mainEntry(kOfxActionUnload, nullptr, nullptr, nullptr), kOfxStatOK);
}

TEST_F(Dispatch, RecordsHandedOutStayValidOverManyUnloads)
{
    std::vector<OfxPlugin *> seen;
    for (int cycle = 0; cycle < 12; ++cycle) {
        OfxPlugin *record = binary->rawPlugin(0);
        if (!seen.empty()) {
            EXPECT_NE(record, seen.back());
        }
        seen.push_back(record);
        record->setHost(Host::instance().record());
        ASSERT_EQ(record->mainEntry(kOfxActionLoad, nullptr, nullptr, nullptr), kOfxStatOK);
        ASSERT_EQ(record->mainEntry(kOfxActionUnload, nullptr, nullptr, nullptr), kOfxStatOK);
    }
    for (OfxPlugin *old : seen) {
        EXPECT_STREQ(old->pluginIdentifier, "org.zelvo.test.dispatch");
        EXPECT_EQ(old->mainEntry(kOfxActionLoad, nullptr, nullptr, nullptr), kOfxStatOK);
        EXPECT_EQ(old->mainEntry(kOfxActionUnload, nullptr, nullptr, nullptr), kOfxStatOK);
    }
}

TEST_F(Dispatch, LoadWithoutAHostRecordIsABadHandle)
{
    OfxPlugin *raw = binary->rawPlugin(0);
    raw->setHost(nullptr);
    Capture out;
    EXPECT_EQ(raw->mainEntry(kOfxActionLoad, nullptr, nullptr, nullptr), kOfxStatErrBadHandle);
    EXPECT_EQ(out.take(), "Caught OFX::Exception::Suite\n");
}

TEST_F(Dispatch, AHostWithoutAMandatorySuiteIsRefused)
{
    Host::instance().quirks().disabledSuites.insert({"OfxMessageSuite", 1});
    Capture out;
    EXPECT_EQ(plugin->load(), kOfxStatErrMissingHostFeature);
    EXPECT_EQ(out.take(), "Caught OFX::Exception::HostInadequate\n");
}

TEST_F(Dispatch, UnknownNullAndLookalikeActionsReplyDefault)
{
    ready();
    for (const char *action : {"OfxActionLoa", "OfxActionLoadX", "ofxactionload", "OFXACTIONLOAD", "",
                               "OfxImageEffectActionRende", "Something"})
        EXPECT_EQ(plugin->action(action, nullptr, nullptr, nullptr), kOfxStatReplyDefault) << action;
    EXPECT_EQ(plugin->action(nullptr, nullptr, nullptr, nullptr), kOfxStatReplyDefault);
}

TEST_F(Dispatch, RequiredHandlesAreCheckedInOrder)
{
    ready();
    auto in = renderArgs();
    Capture out;
    EXPECT_EQ(call(kOfxImageEffectActionRender, nullptr, nullptr), kOfxStatErrBadHandle);
    EXPECT_EQ(out.take(), "Threw suite exception!\nCaught OFX::Exception::Suite\n");
    EXPECT_EQ(plugin->action(kOfxImageEffectActionRender, nullptr, in.get(), nullptr), kOfxStatErrBadHandle);
    PropertyStore spare("outArgs");
    EXPECT_EQ(call(kOfxImageEffectActionRender, in.get(), &spare), kOfxStatOK);
    EXPECT_EQ(call(kOfxImageEffectActionIsIdentity, in.get(), nullptr), kOfxStatErrBadHandle);
    EXPECT_EQ(plugin->action(kOfxActionLoad, nullptr, nullptr, nullptr), kOfxStatOK);
    EXPECT_EQ(plugin->action(kOfxActionDescribe, nullptr, nullptr, nullptr), kOfxStatErrBadHandle);
}

TEST_F(Dispatch, ErrorsBecomeStatusesWithTheirMessages)
{
    ready();
    auto in = renderArgs();
    mode(1);
    {
        Capture out;
        EXPECT_EQ(call(kOfxImageEffectActionRender, in.get(), nullptr), kOfxStatErrMemory);
        EXPECT_EQ(out.take(), "");
    }
    mode(2);
    {
        Capture out;
        EXPECT_EQ(call(kOfxImageEffectActionRender, in.get(), nullptr), kOfxStatFailed);
        EXPECT_EQ(out.take(), "Caught Unknown exception\n");
    }
    mode(3);
    {
        Capture out;
        EXPECT_EQ(call(kOfxImageEffectActionRender, in.get(), nullptr), kOfxStatErrFatal);
        EXPECT_EQ(out.take(), "Threw suite exception!\nCaught OFX::Exception::Suite\n");
    }
    mode(4);
    {
        Capture out;
        EXPECT_EQ(call(kOfxImageEffectActionRender, in.get(), nullptr), kOfxStatFailed);
        EXPECT_EQ(out.take(), "Caught Unknown exception\n");
    }
    mode(0);
    Faults::instance().addPropertyFault({"inArgs", kOfxPropTime, kOfxStatErrUnknown});
    Capture out;
    EXPECT_EQ(call(kOfxImageEffectActionRender, in.get(), nullptr), kOfxStatErrMissingHostFeature);
    EXPECT_EQ(out.take(), "Caught OFX::Exception::PropertyUnknownToHost\n");
}

TEST_F(Dispatch, RenderArgumentsTolerateMissingAndUnknownOptionalTexts)
{
    ready();
    auto in = renderArgs();
    in->defineString(kOfxImageEffectPropFieldToRender, {"ofxfieldlower"});
    EXPECT_EQ(call(kOfxImageEffectActionRender, in.get(), nullptr), kOfxStatOK);
    in->defineString(kOfxImageEffectPropRenderQuality, {"Nonsense"});
    EXPECT_EQ(call(kOfxImageEffectActionRender, in.get(), nullptr), kOfxStatOK);
}

TEST_F(Dispatch, IdentityReplies)
{
    ready();
    auto in = renderArgs(4.0);
    PropertyStore out("outArgs");
    out.defineString(kOfxPropName, {"untouched"});
    out.defineDouble(kOfxPropTime, {-1.0});
    EXPECT_EQ(call(kOfxImageEffectActionIsIdentity, in.get(), &out), kOfxStatReplyDefault);
    EXPECT_EQ(out.getString(kOfxPropName), "untouched");
    mode(11);
    EXPECT_EQ(call(kOfxImageEffectActionIsIdentity, in.get(), &out), kOfxStatReplyDefault);
    EXPECT_EQ(out.getDouble(kOfxPropTime), -1.0);
    mode(10);
    EXPECT_EQ(call(kOfxImageEffectActionIsIdentity, in.get(), &out), kOfxStatOK);
    EXPECT_EQ(out.getString(kOfxPropName), "Source");
    EXPECT_EQ(out.getDouble(kOfxPropTime), 5.0);
}

TEST_F(Dispatch, RegionReplies)
{
    ready();
    PropertyStore in("inArgs");
    in.defineDouble(kOfxPropTime, {0.0});
    in.defineDouble(kOfxImageEffectPropRenderScale, {1.0, 1.0});
    in.defineDouble(kOfxImageEffectPropRegionOfInterest, {10, 20, 30, 40});
    PropertyStore out("outArgs");
    out.defineDouble(kOfxImageEffectPropRegionOfDefinition, {0, 0, 0, 0});
    out.defineDouble("OfxImageClipPropRoI_Source", {0, 0, 0, 0});
    EXPECT_EQ(call(kOfxImageEffectActionGetRegionOfDefinition, &in, &out), kOfxStatReplyDefault);
    EXPECT_EQ(call(kOfxImageEffectActionGetRegionsOfInterest, &in, &out), kOfxStatReplyDefault);
    mode(20);
    EXPECT_EQ(call(kOfxImageEffectActionGetRegionOfDefinition, &in, &out), kOfxStatOK);
    EXPECT_EQ(out.getDouble(kOfxImageEffectPropRegionOfDefinition, 3), 4.0);
    mode(30);
    EXPECT_EQ(call(kOfxImageEffectActionGetRegionsOfInterest, &in, &out), kOfxStatOK);
    EXPECT_EQ(out.getDouble("OfxImageClipPropRoI_Source", 2), 30.0);
    mode(31);
    Capture console;
    EXPECT_EQ(call(kOfxImageEffectActionGetRegionsOfInterest, &in, &out), kOfxStatErrMissingHostFeature);
    EXPECT_EQ(console.take(), "Caught OFX::Exception::PropertyUnknownToHost\n");
}

TEST_F(Dispatch, FramesNeededSkipsTheOutput)
{
    ready();
    PropertyStore in("inArgs");
    in.defineDouble(kOfxPropTime, {0.0});
    PropertyStore out("outArgs");
    out.defineDouble("OfxImageClipPropFrameRange_Source", {}, true);
    out.defineDouble("OfxImageClipPropFrameRange_Output", {}, true);
    mode(40);
    EXPECT_EQ(call(kOfxImageEffectActionGetFramesNeeded, &in, &out), kOfxStatReplyDefault);
    EXPECT_EQ(out.dimension("OfxImageClipPropFrameRange_Output"), 0);
    mode(41);
    EXPECT_EQ(call(kOfxImageEffectActionGetFramesNeeded, &in, &out), kOfxStatOK);
    ASSERT_EQ(out.dimension("OfxImageClipPropFrameRange_Source"), 4);
    EXPECT_EQ(out.getDouble("OfxImageClipPropFrameRange_Source", 2), 2.0);
    EXPECT_EQ(out.dimension("OfxImageClipPropFrameRange_Output"), 0);
    mode(42);
    Capture console;
    EXPECT_EQ(call(kOfxImageEffectActionGetFramesNeeded, &in, &out), kOfxStatErrMissingHostFeature);
}

TEST_F(Dispatch, DefaultRepliesAndTimeDomain)
{
    ready();
    PropertyStore in("inArgs");
    in.defineDouble(kOfxImageEffectPropFrameRange, {0, 10});
    in.defineDouble(kOfxImageEffectPropFrameStep, {1});
    in.defineDouble(kOfxImageEffectPropRenderScale, {1, 1});
    in.defineInt(kOfxPropIsInteractive, {0});
    in.defineString(kOfxPropChangeReason, {"OfxChangeUserEdited"});
    PropertyStore out("outArgs");
    out.defineDouble(kOfxImageEffectPropFrameRange, {0, 0});
    EXPECT_EQ(call(kOfxImageEffectActionBeginSequenceRender, &in, nullptr), kOfxStatReplyDefault);
    EXPECT_EQ(call(kOfxImageEffectActionEndSequenceRender, &in, nullptr), kOfxStatReplyDefault);
    EXPECT_EQ(call(kOfxActionPurgeCaches, nullptr, nullptr), kOfxStatReplyDefault);
    EXPECT_EQ(call(kOfxActionSyncPrivateData, nullptr, nullptr), kOfxStatReplyDefault);
    EXPECT_EQ(call(kOfxActionBeginInstanceChanged, &in, nullptr), kOfxStatReplyDefault);
    EXPECT_EQ(call(kOfxActionEndInstanceChanged, &in, nullptr), kOfxStatReplyDefault);
    EXPECT_EQ(call(kOfxActionBeginInstanceEdit, nullptr, nullptr), kOfxStatReplyDefault);
    EXPECT_EQ(call(kOfxActionEndInstanceEdit, nullptr, nullptr), kOfxStatReplyDefault);
    EXPECT_EQ(call(kOfxImageEffectActionGetClipPreferences, nullptr, &out), kOfxStatReplyDefault);
    EXPECT_EQ(call(kOfxImageEffectActionInvokeAbout, nullptr, nullptr), kOfxStatReplyDefault);
    EXPECT_EQ(call(kOfxImageEffectActionInvokeHelp, nullptr, nullptr), kOfxStatReplyDefault);
    EXPECT_EQ(call(kOfxImageEffectActionGetTimeDomain, nullptr, &out), kOfxStatReplyDefault);
    mode(60);
    EXPECT_EQ(call(kOfxImageEffectActionInvokeHelp, nullptr, nullptr), kOfxStatOK);
    mode(50);
    EXPECT_EQ(call(kOfxImageEffectActionGetTimeDomain, nullptr, &out), kOfxStatOK);
    EXPECT_EQ(out.getDouble(kOfxImageEffectPropFrameRange, 1), 7.0);
}

TEST_F(Dispatch, InstanceChangedCallsTheRightNotification)
{
    ready();
    PropertyStore in("inArgs");
    in.defineString(kOfxPropChangeReason, {"OfxChangeTime"});
    in.defineDouble(kOfxPropTime, {0.0});
    in.defineDouble(kOfxImageEffectPropRenderScale, {1, 1});
    in.defineString(kOfxPropType, {"OfxTypeParameter"});
    in.defineString(kOfxPropName, {"mode"});
    auto reads = [] { return Faults::instance().count("paramGetValueAtTime"); };
    int before = reads();
    EXPECT_EQ(call(kOfxActionInstanceChanged, &in, nullptr), kOfxStatReplyDefault);
    EXPECT_EQ(reads() - before, 1);
    in.defineString(kOfxPropType, {"OfxTypeClip"});
    before = reads();
    EXPECT_EQ(call(kOfxActionInstanceChanged, &in, nullptr), kOfxStatReplyDefault);
    EXPECT_EQ(reads() - before, 2);
    in.defineString(kOfxPropType, {"OfxTypeImage"});
    before = reads();
    EXPECT_EQ(call(kOfxActionInstanceChanged, &in, nullptr), kOfxStatReplyDefault);
    EXPECT_EQ(reads() - before, 0);
    in.defineString(kOfxPropChangeReason, {"OfxChangeTimeX"});
    Capture console;
    EXPECT_EQ(call(kOfxActionInstanceChanged, &in, nullptr), kOfxStatFailed);
    EXPECT_EQ(console.take(), "Caught Unknown exception\n");
}

TEST_F(Dispatch, HandlesWithoutAnInstance)
{
    ready();
    EffectObject stranger(true, kFilter);
    auto in = renderArgs();
    Capture console;
    EXPECT_EQ(plugin->action(kOfxImageEffectActionRender, &stranger, in.get(), nullptr), kOfxStatErrBadHandle);
    EXPECT_EQ(plugin->action(kOfxActionPurgeCaches, &stranger, nullptr, nullptr), kOfxStatErrBadHandle);
    EXPECT_EQ(plugin->action(kOfxActionDestroyInstance, &stranger, nullptr, nullptr), kOfxStatOK);
    EXPECT_EQ(instance->destroy(), kOfxStatOK);
    EXPECT_EQ(call(kOfxActionPurgeCaches, nullptr, nullptr), kOfxStatErrBadHandle);
}

TEST_F(Dispatch, CreationFailuresLeaveNoInstance)
{
    ASSERT_EQ(plugin->load(), kOfxStatOK);
    ASSERT_EQ(plugin->describe(), kOfxStatOK);
    OfxStatus status = kOfxStatOK;
    Capture console;
    // Never described in this context: the host has no "mode" parameter.
    EXPECT_FALSE(plugin->createInstance("OfxImageEffectContextGeneral", &status));
    EXPECT_EQ(status, kOfxStatErrUnknown);
    ASSERT_EQ(plugin->describeInContext(kFilter), kOfxStatOK);
    Host::instance().quirks().paramTypeOverrides["mode"] = "OfxParamTypeDouble";
    EXPECT_FALSE(plugin->createInstance(kFilter, &status));
    EXPECT_EQ(status, kOfxStatFailed);
}

TEST_F(Dispatch, UnknownContextTextFailsDescribeInContext)
{
    ASSERT_EQ(plugin->load(), kOfxStatOK);
    Capture console;
    EXPECT_EQ(plugin->describeInContext("OfxImageEffectContextSideways"), kOfxStatFailed);
    EXPECT_EQ(plugin->describeInContext("OfxImageEffectContextRetimer"), kOfxStatOK);
}
