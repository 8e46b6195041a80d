#include "suites/host.h"

#include <cstring>
#include <string>

#include "faults.h"
#include "ofx/ofx_names.h"
#include "ofx/ofx_suites.h"
#include "suites/suites.h"

namespace ofxhost {

namespace {

const void *fetchSuiteThunk(OfxPropertySetHandle host, const char *name, int version) noexcept
{
    try {
        Host &h = Host::instance();
        if (host != h.properties().handle())
            return nullptr;
        return h.fetchSuite(name, version);
    } catch (...) {
        return nullptr;  // as for a suite this host does not have
    }
}

}  // namespace

Host &Host::instance()
{
    static Host host;
    return host;
}

Host::Host()
{
    record_.host = properties_.handle();
    record_.fetchSuite = fetchSuiteThunk;
    defineProperties();
}

void Host::reset()
{
    quirks_ = Quirks();
    for (const auto &name : properties_.names())
        properties_.remove(name);
    defineProperties();
    currentTime_ = 0.0;
    mostRendersAtOnce = 0;
    instancesCreated = 0;
}

void Host::defineProperties()
{
    PropertyStore &p = properties_;
    p.defineString(kOfxPropType, {kOfxTypeImageEffectHost});
    p.defineString(kOfxPropName, {"org.zelvo.host"});
    p.defineString(kOfxPropLabel, {"Zelvo host"});
    p.defineInt(kOfxPropAPIVersion, {1, 4});
    p.defineInt(kOfxPropVersion, {1, 0, 0});
    p.defineString(kOfxPropVersionLabel, {"1.0"});
    p.defineInt(kOfxImageEffectHostPropIsBackground, {1});
    p.defineInt(kOfxImageEffectPropSupportsOverlays, {0});
    p.defineInt(kOfxImageEffectPropSupportsMultiResolution, {1});
    p.defineInt(kOfxImageEffectPropSupportsTiles, {1});
    p.defineInt(kOfxImageEffectPropTemporalClipAccess, {1});
    p.defineString(kOfxImageEffectPropSupportedComponents, {kOfxImageComponentRGBA, kOfxImageComponentAlpha});
    p.defineString(kOfxImageEffectPropSupportedContexts, {kOfxImageEffectContextFilter, kOfxImageEffectContextGeneral});
    p.defineString(kOfxImageEffectPropSupportedPixelDepths, {kOfxBitDepthByte, kOfxBitDepthShort, kOfxBitDepthFloat});
    p.defineInt(kOfxImageEffectPropMultipleClipDepths, {0});
#ifdef ZELVO_HOST_OPENCL
    p.defineString(kOfxImageEffectPropOpenCLRenderSupported, {"true"});
    p.defineString(kOfxImageEffectPropOpenCLSupported, {"true"});
#else
    p.defineString(kOfxImageEffectPropOpenCLRenderSupported, {"false"});
    p.defineString(kOfxImageEffectPropOpenCLSupported, {"false"});
#endif
    p.defineInt(kOfxImageEffectPropSupportsMultipleClipPARs, {0});
    p.defineInt(kOfxImageEffectPropSetableFrameRate, {0});
    p.defineInt(kOfxImageEffectPropSetableFielding, {0});
    p.defineInt(kOfxParamHostPropSupportsCustomInteract, {0});
    p.defineInt(kOfxParamHostPropSupportsStringAnimation, {1});
    p.defineInt(kOfxParamHostPropSupportsChoiceAnimation, {1});
    p.defineInt(kOfxParamHostPropSupportsBooleanAnimation, {1});
    p.defineInt(kOfxParamHostPropSupportsCustomAnimation, {0});
    p.defineInt(kOfxParamHostPropMaxParameters, {-1});
    p.defineInt(kOfxParamHostPropMaxPages, {0});
    p.defineInt(kOfxParamHostPropPageRowColumnCount, {0, 0});
}

const void *Host::fetchSuite(const char *name, int version)
{
    Faults::instance().record("fetchSuite", std::string(name ? name : "(null)") + " " + std::to_string(version));
    if (!name || quirks_.disabledSuites.count({name, version}))
        return nullptr;
    const std::string n = name;
    if (n == kOfxPropertySuite && version == 1) return propertySuiteTable();
    if (n == kOfxImageEffectSuite && version == 1) return imageEffectSuiteTable();
    if (n == kOfxParameterSuite && version == 1) return parameterSuiteTable();
    if (n == kOfxMemorySuite && version == 1) return memorySuiteTable();
    if (n == kOfxMultiThreadSuite && version == 1) return multiThreadSuiteTable();
    if (n == kOfxMessageSuite && version == 1) return messageSuiteV1Table();
    if (n == kOfxMessageSuite && version == 2) return messageSuiteV2Table();
    if (n == kOfxProgressSuite && version == 1) return progressSuiteV1Table();
    if (n == kOfxProgressSuite && version == 2) return progressSuiteV2Table();
    if (n == kOfxTimeLineSuite && version == 1) return timeLineSuiteTable();
    if (n == kOfxInteractSuite && version == 1) return interactSuiteTable();
    return nullptr;
}

}  // namespace ofxhost
