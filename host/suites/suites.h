#pragma once

// The function tables the host serves, one per suite and version.

#include "ofx/ofx_suites.h"

namespace ofxhost {

// multiThread fails for a larger count rather than try to start so many.
constexpr unsigned kMaxSpawnedThreads = 4096;

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
