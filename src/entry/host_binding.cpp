#include "entry/host_binding.h"

#include "ofx/ofx_names.h"
#include "property/exceptions.h"
#include "property/property_set.h"

namespace OFX {

namespace {

HostDescription &description()
{
    static HostDescription d;
    return d;
}

bool descriptionRead = false;
int loads = 0;

template <class Suite>
const Suite *as(const void *p)
{
    return static_cast<const Suite *>(p);
}

}  // namespace

const HostDescription &hostDescription()
{
    return description();
}

bool hostDescriptionRead()
{
    return descriptionRead;
}

int loadCount()
{
    return loads;
}

const void *tryFetchSuite(const char *name, int version)
{
    OfxHost *host = hostSuites().hostPointer;
    if (!host || !host->fetchSuite)
        return nullptr;
    return host->fetchSuite(host->host, name, version);
}

const void *requireSuite(const char *name, int version)
{
    const void *suite = tryFetchSuite(name, version);
    if (!suite)
        throw Exception::HostInadequate(name);
    return suite;
}

void readHostDescription(const OfxHost &host)
{
    if (descriptionRead)
        return;
    descriptionRead = true;
    HostDescription &d = description();
    PropertySet p(host.host);
    d.name = p.getString(kOfxPropName, 0, true);
    d.isBackground = p.getInt(kOfxImageEffectHostPropIsBackground, 0, true) != 0;
    d.supportsOverlays = p.getInt(kOfxImageEffectPropSupportsOverlays, 0, true) != 0;
    d.supportsMultiResolution = p.getInt(kOfxImageEffectPropSupportsMultiResolution, 0, true) != 0;
    d.supportsTiles = p.getInt(kOfxImageEffectPropSupportsTiles, 0, true) != 0;
    d.temporalClipAccess = p.getInt(kOfxImageEffectPropTemporalClipAccess, 0, true) != 0;
    d.multipleClipDepths = p.getInt(kOfxImageEffectPropMultipleClipDepths, 0, true) != 0;
    d.supportsMultipleClipPARs = p.getInt(kOfxImageEffectPropSupportsMultipleClipPARs, 0, true) != 0;
    d.setableFrameRate = p.getInt(kOfxImageEffectPropSetableFrameRate, 0, true) != 0;
    d.setableFielding = p.getInt(kOfxImageEffectPropSetableFielding, 0, true) != 0;
    d.supportsStringAnimation = p.getInt(kOfxParamHostPropSupportsStringAnimation, 0, true) != 0;
    d.supportsCustomInteract = p.getInt(kOfxParamHostPropSupportsCustomInteract, 0, true) != 0;
    d.supportsChoiceAnimation = p.getInt(kOfxParamHostPropSupportsChoiceAnimation, 0, true) != 0;
    d.supportsBooleanAnimation = p.getInt(kOfxParamHostPropSupportsBooleanAnimation, 0, true) != 0;
    d.supportsCustomAnimation = p.getInt(kOfxParamHostPropSupportsCustomAnimation, 0, true) != 0;
    d.maxParameters = p.getInt(kOfxParamHostPropMaxParameters, 0, true);
    d.maxPages = p.getInt(kOfxParamHostPropMaxPages, 0, true);
    d.pageRowCount = p.getInt(kOfxParamHostPropPageRowColumnCount, 0, true);
    d.pageColumnCount = p.getInt(kOfxParamHostPropPageRowColumnCount, 1, true);

    int n = p.getDimension(kOfxImageEffectPropSupportedComponents, true);
    for (int i = 0; i < n; ++i)
        d.supportedComponents.push_back(
            componentsFromString(p.getString(kOfxImageEffectPropSupportedComponents, i, true)));
    n = p.getDimension(kOfxImageEffectPropSupportedContexts, true);
    for (int i = 0; i < n; ++i)
        d.supportedContexts.push_back(contextFromString(p.getString(kOfxImageEffectPropSupportedContexts, i, true)));
    n = p.getDimension(kOfxImageEffectPropSupportedPixelDepths, true);
    for (int i = 0; i < n; ++i)
        d.supportedPixelDepths.push_back(
            pixelDepthFromString(p.getString(kOfxImageEffectPropSupportedPixelDepths, i, true)));
}

void loadAction()
{
    ++loads;
    HostSuites &s = hostSuites();
    if (!s.hostPointer)
        throw Exception::Suite(kOfxStatErrBadHandle);
    if (loads != 1)
        return;

    s.imageEffectSuite = as<OfxImageEffectSuiteV1>(requireSuite("OfxImageEffectSuite", 1));
    s.propertySuite = as<OfxPropertySuiteV1>(requireSuite("OfxPropertySuite", 1));
    s.parameterSuite = as<OfxParameterSuiteV1>(requireSuite("OfxParameterSuite", 1));
    s.memorySuite = as<OfxMemorySuiteV1>(requireSuite("OfxMemorySuite", 1));
    s.multiThreadSuite = as<OfxMultiThreadSuiteV1>(requireSuite("OfxMultiThreadSuite", 1));
    s.messageSuite = as<OfxMessageSuiteV1>(requireSuite("OfxMessageSuite", 1));
    s.messageSuiteV2 = as<OfxMessageSuiteV2>(tryFetchSuite("OfxMessageSuite", 2));
    s.progressSuite = as<OfxProgressSuiteV1>(tryFetchSuite("OfxProgressSuite", 1));
    s.vegasProgressSuite = tryFetchSuite("OfxVegasProgressSuite", 1);
    s.timeLineSuite = as<OfxTimeLineSuiteV1>(tryFetchSuite("OfxTimeLineSuite", 1));
    s.vegasStereoscopicSuite = tryFetchSuite("OfxVegasStereoscopicImageEffectSuite", 1);
    s.vegasKeyframeSuite = tryFetchSuite("OfxVegasKeyframeSuite", 1);

    readHostDescription(*s.hostPointer);
    HostDescription &d = description();
    d.hasProgressSuite = s.progressSuite || s.vegasProgressSuite;
    d.hasTimeLineSuite = s.timeLineSuite != nullptr;
    d.hasMessageSuiteV2 = s.messageSuiteV2 != nullptr;

    if (d.supportsOverlays || d.supportsCustomInteract)
        s.interactSuite = as<OfxInteractSuiteV1>(requireSuite("OfxInteractSuite", 1));
    s.hwndInteractSuite = tryFetchSuite("OfxHWndInteractSuite", 1);
}

void unloadAction()
{
    // An unload without a matching load must not drive the count negative:
    // the next load would then never bind the host.
    if (loads > 0)
        --loads;
    if (loads != 0)
        return;
    HostSuites &s = hostSuites();
    s.imageEffectSuite = nullptr;
    s.propertySuite = nullptr;
    s.parameterSuite = nullptr;
    s.memorySuite = nullptr;
    s.multiThreadSuite = nullptr;
    s.messageSuite = nullptr;
    s.messageSuiteV2 = nullptr;
    s.interactSuite = nullptr;
    s.hwndInteractSuite = nullptr;
    s.vegasStereoscopicSuite = nullptr;
}

}  // namespace OFX
