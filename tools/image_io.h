#pragma once

// Image files to and from host images, through OpenImageIO. Host images
// keep the file's top-down row order by negative row bytes, so the first
// file row is the top of the OFX frame (its last row in y). The image
// library's own diagnostics are folded into the one-line errors.

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "host_image.h"

// The output formats whose writers encode into memory, for messages.
extern const char *const kSafeFormats;

// Reads the first subimage as RGBA at the given depth (the file's own depth
// when none is given); RGB gains an opaque alpha, grey is spread to RGB.
std::unique_ptr<ofxhost::HostImage> readImage(const std::string &path, std::optional<ofxhost::Depth> depth);

// Throws UsageError unless the path's extension names a format that can be
// written whole (its writer encodes into memory).
void checkOutputFormat(const std::string &path);

// The file's bytes, encoded in memory in the format of the path's
// extension; formats without alpha get RGB. Nothing touches the disk.
std::vector<unsigned char> encodeImage(const std::string &path, const ofxhost::HostImage &image);

// Encodes, then puts the file in place whole or not at all (writeWholeFile).
void writeImage(const std::string &path, const ofxhost::HostImage &image);

// A blank image of the same layout.
std::unique_ptr<ofxhost::HostImage> blankLike(const ofxhost::HostImage &image);
