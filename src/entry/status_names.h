#pragma once

#include "ofx/ofx_core.h"

namespace OFX {

// Printable name of a status code. Static text, never null, never allocates.
const char *statusName(OfxStatus status);

}  // namespace OFX
