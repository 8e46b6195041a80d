#pragma once

// Test fixture: the built Zelvo.ofx loaded through our host, described, with
// one instance ready to render.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "faults.h"
#include "host.h"
#include "host_image.h"
#include "plugin_binary.h"
#include "plugin_driver.h"

class ZelvoHost : public testing::Test {
protected:
    static constexpr const char *kFilter = "OfxImageEffectContextFilter";
    static constexpr const char *kGeneral = "OfxImageEffectContextGeneral";

    void SetUp() override
    {
        ofxhost::Host::instance().reset();
        ofxhost::Faults::instance().reset();
        binary = std::make_unique<ofxhost::PluginBinary>(ZELVO_PLUGIN_PATH);
        ASSERT_EQ(binary->count(), 1);
        plugin = std::make_unique<ofxhost::Plugin>(binary->plugin(0));
        ASSERT_EQ(plugin->load(), kOfxStatOK);
        ASSERT_EQ(plugin->describe(), kOfxStatOK);
        ASSERT_EQ(plugin->describeInContext(kFilter), kOfxStatOK);
    }
    void TearDown() override
    {
        instance.reset();
        plugin.reset();
        binary.reset();
    }

    ofxhost::Instance &create()
    {
        instance = plugin->createInstance(kFilter);
        EXPECT_TRUE(instance);
        return *instance;
    }

    void setSections(unsigned visibleMask)
    {
        for (int i = 0; i < 10; ++i)
            instance->setValue("section" + std::to_string(i + 1), {(visibleMask >> i) & 1u ? 1.0 : 0.0});
    }

    static ofxhost::Quirks &quirks() { return ofxhost::Host::instance().quirks(); }

    // The render path of this run: with ZELVO_OPENCL=any the plug-in sets up
    // OpenCL on any device (PoCL's CPU device where there is no GPU), and an
    // 8-bit RGBA output with a source of its layout is drawn there; with off
    // every frame is drawn on the CPU over the host's threads.
    static bool openCLPath()
    {
        const char *choice = std::getenv("ZELVO_OPENCL");
        return choice && std::string(choice) == "any";
    }

    std::unique_ptr<ofxhost::PluginBinary> binary;
    std::unique_ptr<ofxhost::Plugin> plugin;
    std::unique_ptr<ofxhost::Instance> instance;
};

// The section rule written out plainly, pixel by pixel, as the reference.
inline int referenceSection(int w, int h, double angle, int count, int u, int v)
{
    if (!std::isfinite((-angle * 3.141592653589793) / 180.0))
        angle = 0.0;
    if (count > 10)
        count = 10;
    const double rad = (-angle * 3.141592653589793) / 180.0;
    const float c = static_cast<float>(std::cos(rad));
    const float s = static_cast<float>(std::sin(rad));
    const float cx = static_cast<float>(w) * 0.5f;
    const float cy = static_cast<float>(h) * 0.5f;
    const float a = std::fabs(cy * s);
    const float b = std::fabs(cx * c);
    const float maxDist = a + b;
    const float inv = maxDist > 0.001f ? 1.0f / (maxDist + maxDist) : 0.0f;
    const float px = static_cast<float>(u) - cx;
    const float py = static_cast<float>(v) - cy;
    const float pc = px * c;
    const float ps = py * s;
    const float position = pc + ps;
    const float sum = position + maxDist;
    const float normalized = sum * inv;
    const float scaled = normalized * static_cast<float>(count);
    int section = static_cast<int>(scaled);
    if (section < 0)
        section = 0;
    else if (section >= count)
        section = count - 1;
    return section;
}
