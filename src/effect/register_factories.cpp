// The module's plug-ins, in the order the host lists them.

#include "entry/plugin_registry.h"

namespace OFX {

void registerFactories()
{
}

}  // namespace OFX
