#pragma once

#include "ofx/ofx_suites.h"

namespace ofxhost {

// The host's property suite, over PropertyStore, honouring Faults.
const OfxPropertySuiteV1 *propertySuite();

}  // namespace ofxhost
