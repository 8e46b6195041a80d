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
#include "load/plugin_binary.h"
#include "load/plugin_driver.h"
#include "reference_rule.h"
#include "render/host_image.h"
#include "suites/host.h"

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

