#pragma once

#include "faults.h"

// Records a suite call and answers it with an injected status when a test
// asked for one.
#define HOST_CALL(name)                                         \
    ::ofxhost::Faults::instance().record(name);                 \
    if (auto injected = ::ofxhost::Faults::instance().callFault(name)) \
        return *injected;
