#pragma once

// Image files to and from host images, through OpenImageIO.
//
// A frame keeps what the file says of itself: the data window is the
// image's bounds (rows flipped into OFX's bottom-up order about the display
// window), and the output gets the same windows, channels, pixel types and
// metadata, as far as its format holds them. The image library's own
// diagnostics are folded into the one-line errors.

#include <OpenImageIO/imageio.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "channel_map.h"
#include "host_image.h"

// The output formats whose writers encode into memory, for messages.
extern const char *const kSafeFormats;

struct FrameFile {
    OIIO::ImageSpec spec;    // the file's own: windows, channels, pixel types, metadata
    std::string format;      // the file format's name ("openexr", "png", ...)
    ChannelMap channels;
    std::unique_ptr<ofxhost::HostImage> rgba;  // what the plug-in renders from
    // Every channel at the render depth, interleaved, when the file has
    // channels besides the rendered ones; they are written back unchanged.
    std::vector<unsigned char> all;
};

struct OutputChoice {
    std::optional<OIIO::TypeDesc> depth;  // the input's pixel types when not given
    std::string compression;              // NAME or NAME:QUALITY; the input's when the format is the same
};

// Reads the first subimage at the given render depth (by default the file's
// own, half and wider become float).
FrameFile readFrame(const std::string &path, std::optional<ofxhost::Depth> depth, const ChannelChoice &choice);

// Throws UsageError unless the path's extension names a format that can be
// written whole (its writer encodes into memory).
void checkOutputFormat(const std::string &path);

// Writes the rendered RGBA in the input's place, the input's other
// channels as they were, in the format of the path's extension: encoded in
// memory, then put in place whole or not at all (writeWholeFile) once the
// flushed file has been read back. `input.all` receives the rendered
// channels. Returns what the output does not hold of the input, or "".
std::string writeFrame(const std::string &path, FrameFile &input, const ofxhost::HostImage &rendered,
                       const OutputChoice &choice);

// The file opens as an image and every one of its pixels decodes; when
// `like` names an image, the two have the same data window.
bool readsBackWhole(const std::string &path, const std::string &like);

// A plain RGBA image at its own depth, whole or not at all (the test card).
void writeImage(const std::string &path, const ofxhost::HostImage &image);

// "uint8", "uint16", "half" or "float" into a pixel type; UsageError otherwise.
OIIO::TypeDesc parseOutputDepth(const std::string &text);
