// The module's plug-ins, in the order the host lists them.

#include "effect/zelvo_plugin_factory.h"
#include "entry/plugin_registry.h"

namespace OFX {

void registerFactories()
{
    factoryList().push_back(&zelvoPluginFactory());
}

}  // namespace OFX
