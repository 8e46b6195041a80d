#pragma once

#include <memory>
#include <optional>
#include <string>

#include "load/opened_plugin.h"
#include "plugin_ref.h"

// A loaded, described plug-in ready for instances.
using LoadedPlugin = ofxhost::OpenedPlugin;

// The Zelvo bundle built or installed beside this tool, if there is one.
std::optional<std::string> pluginBesideTool(const char *argv0);

// PLUGIN is a bundle or binary path (its first plug-in), or an identifier
// found on the search path (that plug-in of its binary); empty means the
// plug-in built or installed beside this tool.
PluginRef locatePlugin(const std::string &plugin, const char *argv0);

// Loads and describes the plug-in in this process. Loading runs under a
// time limit: a plug-in that does not finish ends the tool with one line.
LoadedPlugin loadPlugin(const PluginRef &plugin);

// The longest a plug-in may take to load and describe itself: 60 s, or the
// seconds in ZELVO_LOAD_SECONDS (1 to 86400).
int loadSeconds();
