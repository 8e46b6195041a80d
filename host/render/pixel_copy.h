#pragma once

// Moving pixels between the host's images, as a host moves them between its
// cache and the images it lends a plug-in. Every function addresses pixels
// by their coordinates, so images of either row order meet correctly.

#include "ofx/ofx_core.h"
#include "render/host_image.h"

namespace ofxhost {

OfxRectI intersection(const OfxRectI &a, const OfxRectI &b);
bool isEmpty(const OfxRectI &r);
bool sameRect(const OfxRectI &a, const OfxRectI &b);
// Canonical to pixel coordinates at a render scale, rounded outward.
OfxRectI toPixels(const OfxRectD &canonical, double scale);
OfxRectD toCanonical(const OfxRectI &pixels, double scale);

// The region's pixels (within both images) from one image into another of
// the same pixel size.
void copyPixels(const HostImage &from, HostImage &to, const OfxRectI &region);
// Every pixel of `to` from the pixel of `from` under its centre at the
// scale (nearest, clamped to the edge); both of the same pixel size.
void samplePixels(const HostImage &from, HostImage &to, double scale);
// A pattern of bytes from the coordinates, for images whose depth no
// conversion is asked for.
void fillPattern(HostImage &image);

// The bytes outside the window, row padding included, still hold the value.
bool holdsOutside(const HostImage &image, const OfxRectI &window, unsigned char value);

}  // namespace ofxhost
