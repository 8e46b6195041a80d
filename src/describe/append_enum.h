#pragma once

#include "property/property_set.h"

namespace OFX {

// Appends a text at the end of a host list property. The dimension is read
// every time, also when there is no text to write (a value without one).
inline void appendText(const PropertySet &props, const char *property, const char *text)
{
    const int n = props.getDimension(property, true);
    if (!text)
        return;
    props.setString(property, text, n, true);
}

}  // namespace OFX
