#pragma once

#include <string>

#include "ofx/ofx_core.h"

namespace OFX {

// Turns a host status into the outcome callers rely on: returns for success
// and the reply codes, throws std::bad_alloc for kOfxStatErrMemory and
// Exception::Suite (after the console message) for anything else.
void raiseStatus(OfxStatus status);

// The same for a property-suite status, with the two property-specific
// errors: unknown/unsupported -> PropertyUnknownToHost, value -> ValueIllegal.
void raisePropertyStatus(OfxStatus status, const std::string &propertyName);

}  // namespace OFX
