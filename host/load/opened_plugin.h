#pragma once

// One plug-in of a binary opened as a host opens it before making
// instances: the binary loaded, the plug-in loaded and described, then
// described in the context it will be used in (the filter context when it
// has one, else its first).

#include <memory>
#include <string>

#include "load/plugin_binary.h"
#include "load/plugin_driver.h"

namespace ofxhost {

struct OpenedPlugin {
    std::unique_ptr<PluginBinary> binary;
    std::unique_ptr<Plugin> plugin;  // after the binary: unloaded before the binary closes
    std::string context;             // the context it was described in
};

// Throws HostError saying which step failed, with the plug-in's status.
OpenedPlugin openPlugin(const std::string &path, int index);

}  // namespace ofxhost
