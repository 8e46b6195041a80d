#pragma once

// The effect's factory linked in-process and driven through its record's
// entry point by our host, for the fuzz targets.

#include <cstdio>
#include <memory>

#include "effect/zelvo_plugin_factory.h"
#include "entry/plugin_registry.h"
#include "faults.h"
#include "load/plugin_driver.h"
#include "suites/host.h"

namespace OFX {
inline void registerFactoriesForFuzzing()
{
    factoryList().push_back(&zelvoPluginFactory());
}
}  // namespace OFX

// Every input starts from a careful host with nothing armed, and tears its
// instance down the same way, so a finding replays from its saved input alone.
inline void resetHost()
{
    ofxhost::Host::instance().reset();
    ofxhost::Faults::instance().reset();
}

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
