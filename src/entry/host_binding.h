#pragma once

// Binding to the host: the load action fetches the host's suites (in a fixed
// order) and reads its description once; the last unload releases them.

#include <string>
#include <vector>

#include "entry/host_suites.h"
#include "property/enums.h"

namespace OFX {

// What the host says of itself, read once per process at the first load.
struct HostDescription {
    std::string name;
    bool isBackground = false;
    bool supportsOverlays = false;
    bool supportsMultiResolution = false;
    bool supportsTiles = false;
    bool temporalClipAccess = false;
    bool multipleClipDepths = false;
    bool supportsMultipleClipPARs = false;
    bool setableFrameRate = false;
    bool setableFielding = false;
    bool supportsStringAnimation = false;
    bool supportsCustomInteract = false;
    bool supportsChoiceAnimation = false;
    bool supportsBooleanAnimation = false;
    bool supportsCustomAnimation = false;
    int maxParameters = 0;
    int maxPages = 0;
    int pageRowCount = 0;
    int pageColumnCount = 0;
    std::vector<ComponentsEnum> supportedComponents;
    std::vector<ContextEnum> supportedContexts;
    std::vector<PixelDepthEnum> supportedPixelDepths;
    bool hasProgressSuite = false;
    bool hasTimeLineSuite = false;
    bool hasMessageSuiteV2 = false;
};

const HostDescription &hostDescription();
bool hostDescriptionRead();
int loadCount();

void loadAction();
void unloadAction();
void readHostDescription(const OfxHost &host);
const void *requireSuite(const char *name, int version);
const void *tryFetchSuite(const char *name, int version);

}  // namespace OFX
