#include "fuzz_session.h"

namespace OFX {

void registerFactories()
{
    registerFactoriesForFuzzing();
}

}  // namespace OFX
