// The plug-in binary's only exported symbols. They build the registry on
// demand; nothing thrown while doing so may reach the host.

#include "entry/plugin_registry.h"

#define OFX_EXPORT extern "C" __attribute__((visibility("default")))

OFX_EXPORT int OfxGetNumberOfPlugins(void)
{
    try {
        return OFX::getNumberOfPlugins();
    } catch (...) {
        return 0;
    }
}

OFX_EXPORT OfxPlugin *OfxGetPlugin(int nth)
{
    try {
        return OFX::getPlugin(nth);
    } catch (...) {
        return nullptr;
    }
}
