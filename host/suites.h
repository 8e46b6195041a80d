#pragma once

// The function tables the host serves, one per suite and version.

#include "ofx/ofx_suites.h"

namespace ofxhost {

const OfxPropertySuiteV1 *propertySuiteTable();
const OfxImageEffectSuiteV1 *imageEffectSuiteTable();
const OfxParameterSuiteV1 *parameterSuiteTable();
const OfxMemorySuiteV1 *memorySuiteTable();
const OfxMultiThreadSuiteV1 *multiThreadSuiteTable();
const OfxMessageSuiteV1 *messageSuiteV1Table();
const OfxMessageSuiteV2 *messageSuiteV2Table();
const OfxProgressSuiteV1 *progressSuiteV1Table();
const OfxProgressSuiteV2 *progressSuiteV2Table();
const OfxTimeLineSuiteV1 *timeLineSuiteTable();
const OfxInteractSuiteV1 *interactSuiteTable();

}  // namespace ofxhost
