#pragma once

// Process-wide pointers to the host's suites, filled by the load action and
// cleared by the last unload. Written only outside renders; read anywhere.

#include "ofx/ofx_core.h"
#include "ofx/ofx_suites.h"

namespace OFX {

struct HostSuites {
    OfxHost *hostPointer = nullptr;
    const OfxImageEffectSuiteV1 *imageEffectSuite = nullptr;
    const OfxPropertySuiteV1 *propertySuite = nullptr;
    const OfxParameterSuiteV1 *parameterSuite = nullptr;
    const OfxMemorySuiteV1 *memorySuite = nullptr;
    const OfxMultiThreadSuiteV1 *multiThreadSuite = nullptr;
    const OfxMessageSuiteV1 *messageSuite = nullptr;
    const OfxMessageSuiteV2 *messageSuiteV2 = nullptr;
    const OfxProgressSuiteV1 *progressSuite = nullptr;
    const void *vegasProgressSuite = nullptr;
    const OfxTimeLineSuiteV1 *timeLineSuite = nullptr;
    const void *vegasStereoscopicSuite = nullptr;
    const void *vegasKeyframeSuite = nullptr;
    const OfxInteractSuiteV1 *interactSuite = nullptr;
    const void *hwndInteractSuite = nullptr;
};

HostSuites &hostSuites();

}  // namespace OFX

#include "property/raise_status.h"

namespace OFX {

// A suite used before the load action bound it, or after the last unload, is
// answered as a bad handle instead of being called through null.
template <class Suite>
const Suite &boundSuite(const Suite *suite)
{
    if (!suite)
        raiseStatus(kOfxStatErrBadHandle);
    return *suite;
}

}  // namespace OFX
