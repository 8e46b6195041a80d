#include "environment.h"
#include "zelvo_fixture.h"

using ofxhost::EffectInfo;

TEST_F(ZelvoHost, TheHostSeesTheEffectAsDeclared)
{
    EXPECT_EQ(plugin->identifier(), "com.zelvo.sectionsplit.ja");
    EXPECT_EQ(plugin->versionMajor(), 2u);
    EXPECT_EQ(plugin->versionMinor(), 1u);
    EffectInfo info = plugin->info(kFilter);
    EXPECT_EQ(info.label, "Zelvo");
    EXPECT_EQ(info.shortLabel, "Zelvo");
    EXPECT_EQ(info.longLabel, "Zelvo");
    EXPECT_EQ(info.grouping, "Transform");
    EXPECT_EQ(info.description, "画面を複数セクションに分割（最適化版）");
    EXPECT_EQ(info.contexts, (std::vector<std::string>{kGeneral, kFilter}));
    EXPECT_EQ(info.depths, (std::vector<std::string>{"OfxBitDepthByte", "OfxBitDepthShort", "OfxBitDepthFloat"}));
    EXPECT_FALSE(info.singleInstance);
    EXPECT_FALSE(info.hostFrameThreading);
    EXPECT_TRUE(info.supportsMultiResolution);
    EXPECT_TRUE(info.supportsTiles);
    EXPECT_FALSE(info.temporalClipAccess);
    EXPECT_FALSE(info.fieldRenderTwiceAlways);
    EXPECT_TRUE(info.multipleClipPARs);
    EXPECT_TRUE(info.multipleClipDepths);
    auto &effect = plugin->descriptor()->props;
    EXPECT_EQ(effect.getString("OfxImageEffectPluginRenderThreadSafety"), "OfxImageEffectRenderInstanceSafe")
        << "no thread-safety value is declared: the host's default stands";
}

TEST_F(ZelvoHost, ClipsAndParametersInOrder)
{
    EffectInfo info = plugin->info(kFilter);
    ASSERT_EQ(info.clips.size(), 2u);
    EXPECT_EQ(info.clips[0].name, "Source");
    EXPECT_EQ(info.clips[0].components,
              (std::vector<std::string>{"OfxImageComponentRGBA", "OfxImageComponentAlpha"}));
    EXPECT_FALSE(info.clips[0].optional);
    EXPECT_FALSE(info.clips[0].isMask);
    EXPECT_TRUE(info.clips[0].supportsTiles);
    EXPECT_EQ(info.clips[1].name, "Output");
    EXPECT_EQ(info.clips[1].components, info.clips[0].components);

    ASSERT_EQ(info.params.size(), 13u);
    EXPECT_EQ(info.params[0].name, "Controls");
    EXPECT_EQ(info.params[0].type, "OfxParamTypePage");
    std::vector<std::string> children = {"splitCount", "splitAngle"};
    for (int d = 1; d <= 10; ++d)
        children.push_back("section" + std::to_string(d));
    EXPECT_EQ(info.params[0].pageChildren, children);

    const auto *count = info.param("splitCount");
    ASSERT_TRUE(count);
    EXPECT_EQ(count->type, "OfxParamTypeInteger");
    EXPECT_EQ(count->label, "分割数");
    EXPECT_EQ(count->shortLabel, "分割数");
    EXPECT_EQ(count->longLabel, "分割数");
    EXPECT_EQ(count->hint, "セクション数 (1-10)");
    EXPECT_EQ(count->defaults, std::vector<double>{2});
    EXPECT_EQ(count->min, std::vector<double>{1});
    EXPECT_EQ(count->max, std::vector<double>{10});
    EXPECT_EQ(count->displayMin, std::vector<double>{1});
    EXPECT_EQ(count->displayMax, std::vector<double>{10});
    EXPECT_TRUE(count->animates);

    const auto *angle = info.param("splitAngle");
    ASSERT_TRUE(angle);
    EXPECT_EQ(angle->type, "OfxParamTypeDouble");
    EXPECT_EQ(angle->label, "分割角度");
    EXPECT_EQ(angle->hint, "分割線の角度 (0-359)");
    EXPECT_EQ(angle->defaults, std::vector<double>{0.0});
    EXPECT_EQ(angle->max, std::vector<double>{359.0});
    EXPECT_EQ(angle->displayMax, std::vector<double>{359.0});
    EXPECT_EQ(plugin->contextDescriptor(kFilter)->params.find("splitAngle")->props.getString(
                  "OfxParamPropDoubleType"),
              "OfxParamDoubleTypePlain");

    for (int d = 1; d <= 10; ++d) {
        const auto *section = info.param("section" + std::to_string(d));
        ASSERT_TRUE(section) << d;
        EXPECT_EQ(section->type, "OfxParamTypeBoolean");
        EXPECT_EQ(section->defaults, std::vector<double>{1});
        EXPECT_TRUE(section->animates);
    }
    EXPECT_EQ(info.param("section10")->label, "セクション 10");
    EXPECT_EQ(info.param("section10")->longLabel, "セクション 10");
    EXPECT_EQ(info.param("section10")->hint, "セクション 10 の表示/非表示");
    EXPECT_EQ(info.param("section3")->label, "セクション 3");
}

TEST_F(ZelvoHost, EveryContextGetsTheSameClipsAndParameters)
{
    ASSERT_EQ(plugin->describeInContext(kGeneral), kOfxStatOK);
    ASSERT_EQ(plugin->describeInContext("OfxImageEffectContextPaint"), kOfxStatOK);
    EffectInfo filter = plugin->info(kFilter), general = plugin->info(kGeneral),
               paint = plugin->info("OfxImageEffectContextPaint");
    for (const EffectInfo *other : {&general, &paint}) {
        ASSERT_EQ(other->params.size(), filter.params.size());
        for (std::size_t i = 0; i < filter.params.size(); ++i) {
            EXPECT_EQ(other->params[i].name, filter.params[i].name);
            EXPECT_EQ(other->params[i].label, filter.params[i].label);
        }
        ASSERT_EQ(other->clips.size(), 2u);
    }
}

TEST_F(ZelvoHost, InstancesNeedTheirParameters)
{
    quirks().paramTypeOverrides["section4"] = "OfxParamTypeInteger";
    testing::internal::CaptureStdout();
    OfxStatus status = kOfxStatOK;
    EXPECT_FALSE(plugin->createInstance(kFilter, &status));
    EXPECT_EQ(status, kOfxStatFailed);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Caught Unknown exception\n");
    quirks().paramTypeOverrides.clear();
    EXPECT_TRUE(plugin->createInstance(kFilter, &status));
}

TEST_F(ZelvoHost, AnUnknownOpenCLChoiceIsReportedOnceAndActsAsTheDefault)
{
    const char *before = std::getenv("ZELVO_OPENCL");
    const std::string saved = before ? before : "";
    setEnvironment("ZELVO_OPENCL", "gpu\nplease");
    plugin->unload();
    testing::internal::CaptureStdout();
    EXPECT_EQ(plugin->load(), kOfxStatOK);
    plugin->unload();
    EXPECT_EQ(plugin->load(), kOfxStatOK);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Zelvo: ZELVO_OPENCL=gpu?please is not gpu, any or off; using gpu\n");
    if (before)
        setEnvironment("ZELVO_OPENCL", saved.c_str());
    else
        clearEnvironment("ZELVO_OPENCL");
}
