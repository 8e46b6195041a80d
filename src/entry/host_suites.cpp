#include "entry/host_suites.h"

namespace OFX {

HostSuites &hostSuites()
{
    static HostSuites suites;
    return suites;
}

}  // namespace OFX
