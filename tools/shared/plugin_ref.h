#pragma once

#include <string>

// One plug-in of a binary: the bundle or binary path, and the index that
// OfxGetPlugin knows it by (a binary may hold several).
struct PluginRef {
    std::string path;
    int index = 0;
};
