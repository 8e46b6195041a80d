#pragma once

// The effect's factory linked in-process and driven through its record's
// entry point by our host, for the fuzz targets.

#include <cstdio>
#include <memory>

#include "effect/zelvo_plugin_factory.h"
#include "entry/plugin_registry.h"
#include "faults.h"
#include "host.h"
#include "plugin_driver.h"

namespace OFX {
inline void registerFactoriesForFuzzing()
{
    factoryList().push_back(&zelvoPluginFactory());
}
}  // namespace OFX

struct FuzzSession {
    FuzzSession()
    {
        // The plug-in's console lines would only slow the fuzzer down.
        if (!std::freopen("/dev/null", "w", stdout))
            std::perror("freopen");
        plugin = std::make_unique<ofxhost::Plugin>(OFX::getPlugin(0));
        plugin->load();
        plugin->describe();
        plugin->describeInContext("OfxImageEffectContextFilter");
    }
    std::unique_ptr<ofxhost::Plugin> plugin;
};
