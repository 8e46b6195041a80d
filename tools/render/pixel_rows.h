#pragma once

// What reading and writing frames share: pixel types, the file's row order
// over a host image, and the one-line failures that fold in the image
// library's own message.

#include <OpenImageIO/imageio.h>

#include <cstddef>
#include <string>
#include <vector>

#include "captured_stderr.h"
#include "cli_error.h"
#include "render/host_image.h"

OIIO::TypeDesc typeOf(ofxhost::Depth depth);

// The first file row (the top of the frame) and the distance between file rows.
unsigned char *topRow(const ofxhost::HostImage &image);
std::ptrdiff_t fileRowStride(const ofxhost::HostImage &image);

// Channel `from` of `all` (`channels` interleaved per pixel, rows top first,
// components of the image's size) into channel `to` of the image, or back
// when `toImage` is false. The image's top row is row `firstRow` of `all`.
void moveChannel(std::vector<unsigned char> &all, int channels, int from, ofxhost::HostImage &image, int firstRow,
                 int to, bool toImage);

// Rows of bands of about `rows` each, whole tiles for a tiled file; and one
// band of every channel at `type`, by scanlines or tiles as the file is laid
// out (this image library faults reading scanlines of some tiled files).
int bandRows(const OIIO::ImageSpec &spec, int rows);
bool readBand(OIIO::ImageInput &in, const OIIO::ImageSpec &spec, int y1, int y2, OIIO::TypeDesc type, void *data);

// "cannot VERB PATH: REASON", the reason the given one or the library's.
struct Failure {
    const std::string &verb, &path;
    const CapturedStderr &quiet;
    CliError operator()(const std::string &why) const;
};
