#pragma once

// Image files to and from host images, through OpenImageIO. Host images
// keep the file's top-down row order by negative row bytes, so the first
// file row is the top of the OFX frame (its last row in y).

#include <memory>
#include <optional>
#include <string>

#include "host_image.h"

// Reads the first subimage as RGBA at the given depth (the file's own depth
// when none is given); RGB gains an opaque alpha, grey is spread to RGB.
std::unique_ptr<ofxhost::HostImage> readImage(const std::string &path, std::optional<ofxhost::Depth> depth);

// Writes through a temporary file in the same directory and a rename, so a
// failure never leaves a partly written OUTPUT behind. Formats without alpha
// get RGB.
void writeImage(const std::string &path, const ofxhost::HostImage &image);

// A blank image of the same layout.
std::unique_ptr<ofxhost::HostImage> blankLike(const ofxhost::HostImage &image);
