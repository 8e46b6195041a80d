// The plug-in binary's only exported symbols. They build the registry on
// demand; nothing thrown while doing so may reach the host.

#include "entry/plugin_registry.h"

// The two entry points are the binary's only exports on every system: the
// rest is hidden (Linux: visibility and a version script; Windows: only
// what is marked for export leaves a DLL).
#ifdef _WIN32
#define OFX_EXPORT extern "C" __declspec(dllexport)
#else
#define OFX_EXPORT extern "C" __attribute__((visibility("default")))
#endif

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
