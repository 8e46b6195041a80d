#include <gtest/gtest.h>

#include <algorithm>

#include "bound_host.h"
#include "property/exceptions.h"

namespace Ex = OFX::Exception;

namespace {

class HostBinding : public BoundHost {
protected:
    HostBinding() { bindOnSetUp = false; }

    std::vector<std::string> fetches() const
    {
        std::vector<std::string> out;
        for (const auto &line : faults().log())
            if (line.rfind("fetchSuite ", 0) == 0)
                out.push_back(line.substr(11));
        return out;
    }
};

}  // namespace

TEST_F(HostBinding, FetchesEverySuiteInOrderAndReadsTheHostBetween)
{
    faults().setLogging(true);
    OFX::loadAction();
    std::vector<std::string> expected = {"OfxImageEffectSuite 1", "OfxPropertySuite 1", "OfxParameterSuite 1",
                                         "OfxMemorySuite 1", "OfxMultiThreadSuite 1", "OfxMessageSuite 1",
                                         "OfxMessageSuite 2", "OfxProgressSuite 1", "OfxVegasProgressSuite 1",
                                         "OfxTimeLineSuite 1", "OfxVegasStereoscopicImageEffectSuite 1",
                                         "OfxVegasKeyframeSuite 1", "OfxHWndInteractSuite 1"};
    EXPECT_EQ(fetches(), expected);
    auto log = faults().log();
    auto keyframe = std::find(log.begin(), log.end(), "fetchSuite OfxVegasKeyframeSuite 1");
    auto hwnd = std::find(log.begin(), log.end(), "fetchSuite OfxHWndInteractSuite 1");
    auto name = std::find(log.begin(), log.end(), "propGetString OfxPropName");
    EXPECT_TRUE(keyframe < name && name < hwnd);

    const auto &d = OFX::hostDescription();
    EXPECT_EQ(d.name, "org.zelvo.host");
    EXPECT_TRUE(d.isBackground);
    EXPECT_EQ(d.maxParameters, -1);
    EXPECT_EQ(d.supportedContexts, (std::vector<OFX::ContextEnum>{OFX::eContextFilter, OFX::eContextGeneral}));
    EXPECT_EQ(d.supportedPixelDepths.size(), 3u);
    EXPECT_TRUE(d.hasProgressSuite && d.hasTimeLineSuite && d.hasMessageSuiteV2);
    EXPECT_EQ(OFX::hostSuites().interactSuite, nullptr);
    EXPECT_EQ(OFX::hostSuites().hwndInteractSuite, nullptr);
}

TEST_F(HostBinding, AMissingMandatorySuiteStopsTheLoadThere)
{
    quirks().disabledSuites.insert({"OfxMultiThreadSuite", 1});
    faults().setLogging(true);
    try {
        OFX::loadAction();
        FAIL();
    } catch (const Ex::HostInadequate &e) {
        EXPECT_STREQ(e.what(), "OfxMultiThreadSuite");
    }
    EXPECT_EQ(fetches().size(), 5u);
    const auto &s = OFX::hostSuites();
    EXPECT_TRUE(s.imageEffectSuite && s.propertySuite && s.parameterSuite && s.memorySuite);
    EXPECT_EQ(s.messageSuite, nullptr);
    EXPECT_FALSE(OFX::hostDescriptionRead());
    EXPECT_TRUE(OFX::hostDescription().name.empty());
}

TEST_F(HostBinding, OptionalSuitesMayBeMissing)
{
    quirks().disabledSuites = {{"OfxMessageSuite", 2}, {"OfxProgressSuite", 1}, {"OfxTimeLineSuite", 1}};
    OFX::loadAction();
    EXPECT_FALSE(OFX::hostDescription().hasMessageSuiteV2);
    EXPECT_FALSE(OFX::hostDescription().hasProgressSuite);
    EXPECT_FALSE(OFX::hostDescription().hasTimeLineSuite);
    EXPECT_NE(OFX::hostSuites().messageSuite, nullptr);
}

TEST_F(HostBinding, LoadsCountAndOnlyTheLastUnloadReleases)
{
    OFX::loadAction();
    faults().setLogging(true);
    OFX::loadAction();
    EXPECT_EQ(OFX::loadCount(), 2);
    EXPECT_TRUE(faults().log().empty());
    OFX::unloadAction();
    EXPECT_NE(OFX::hostSuites().propertySuite, nullptr);
    OFX::unloadAction();
    const auto &s = OFX::hostSuites();
    EXPECT_EQ(s.propertySuite, nullptr);
    EXPECT_EQ(s.imageEffectSuite, nullptr);
    EXPECT_EQ(s.messageSuiteV2, nullptr);
    EXPECT_NE(s.progressSuite, nullptr);  // kept on purpose
    EXPECT_NE(s.timeLineSuite, nullptr);
    EXPECT_NE(s.hostPointer, nullptr);

    // Load again: every suite is fetched anew, the host is not read again.
    ofxhost::Host::instance().properties().defineString("OfxPropName", {"renamed"});
    faults().clearLog();
    OFX::loadAction();
    EXPECT_EQ(fetches().size(), 13u);
    EXPECT_EQ(faults().count("propGetInt"), 0);
    EXPECT_EQ(OFX::hostDescription().name, "org.zelvo.host");
}

TEST_F(HostBinding, UnloadWithoutLoadDoesNotBreakTheNextLoad)
{
    OFX::unloadAction();
    EXPECT_EQ(OFX::loadCount(), 0);
    OFX::loadAction();
    EXPECT_NE(OFX::hostSuites().propertySuite, nullptr);
}

TEST_F(HostBinding, WithoutAHostRecordTheLoadIsABadHandle)
{
    OFX::hostSuites().hostPointer = nullptr;
    StdoutCapture out;
    try {
        OFX::loadAction();
        FAIL();
    } catch (const Ex::Suite &e) {
        EXPECT_EQ(e.status(), kOfxStatErrBadHandle);
    }
    EXPECT_EQ(out.take(), "");
    EXPECT_EQ(OFX::loadCount(), 1);
}

TEST_F(HostBinding, AnUnknownHostPropertyFailsTheLoad)
{
    faults().addPropertyFault({"host", "OfxParamHostPropSupportsCustomAnimation", kOfxStatErrUnknown});
    try {
        OFX::loadAction();
        FAIL();
    } catch (const Ex::PropertyUnknownToHost &e) {
        EXPECT_STREQ(e.what(), "OfxParamHostPropSupportsCustomAnimation");
    }
    EXPECT_TRUE(OFX::hostDescriptionRead());
    EXPECT_TRUE(OFX::hostDescription().supportsBooleanAnimation);
    EXPECT_EQ(OFX::hostDescription().maxParameters, 0);
}

TEST_F(HostBinding, ComponentAndContextTexts)
{
    auto &host = ofxhost::Host::instance().properties();
    host.defineString("OfxImageEffectPropSupportedComponents", {"OfxImageComponentRGB", "OfxImageComponentAlpha"});
    OFX::loadAction();
    EXPECT_EQ(OFX::hostDescription().supportedComponents,
              (std::vector<OFX::ComponentsEnum>{OFX::ePixelComponentUnknown, OFX::ePixelComponentAlpha}));
}

TEST_F(HostBinding, AnUnknownContextTextIsAGeneralFailure)
{
    ofxhost::Host::instance().properties().defineString("OfxImageEffectPropSupportedContexts", {"Sideways"});
    EXPECT_THROW(OFX::loadAction(), std::invalid_argument);
}

TEST_F(HostBinding, InteractSuiteIsRequiredOnlyWithOverlaysOrCustomInteracts)
{
    ofxhost::Host::instance().properties().defineInt("OfxParamHostPropSupportsCustomInteract", {1});
    quirks().disabledSuites.insert({"OfxInteractSuite", 1});
    EXPECT_THROW(OFX::loadAction(), Ex::HostInadequate);
}

TEST_F(HostBinding, WithOverlaysTheInteractSuiteIsFetched)
{
    ofxhost::Host::instance().properties().defineInt("OfxImageEffectPropSupportsOverlays", {1});
    OFX::loadAction();
    EXPECT_NE(OFX::hostSuites().interactSuite, nullptr);
}
