#pragma once

#include <memory>
#include <optional>
#include <string>

#include "plugin_binary.h"
#include "plugin_driver.h"

// A loaded, described plug-in ready for instances.
struct LoadedPlugin {
    std::unique_ptr<ofxhost::PluginBinary> binary;
    std::unique_ptr<ofxhost::Plugin> plugin;
    std::string context;  // the context it was described in
};

// The Zelvo bundle built or installed beside this tool, if there is one.
std::optional<std::string> pluginBesideTool(const char *argv0);

// PLUGIN is a bundle or binary path, or an identifier found on the search
// path; empty means the plug-in built or installed beside this tool.
std::string locatePlugin(const std::string &plugin, const char *argv0);
LoadedPlugin loadPlugin(const std::string &path);
