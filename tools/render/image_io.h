#pragma once

// Image files to and from host images, through OpenImageIO.
//
// A frame keeps what the file says of itself: the data window is the
// image's bounds (rows flipped into OFX's bottom-up order about the display
// window), and the output gets the same windows, channels, pixel types and
// metadata, as far as its format holds them. The image library's own
// diagnostics are folded into the one-line errors.

#include <OpenImageIO/imageio.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "channel_map.h"
#include "render/host_image.h"
#include "stream_hash.h"
#include "whole_file.h"

// The output formats whose writers encode through our checked writer, for messages.
extern const char *const kSafeFormats;

struct FrameFile {
    OIIO::ImageSpec spec;    // the file's own: windows, channels, pixel types, metadata
    std::string format;      // the file format's name ("openexr", "png", ...)
    ChannelMap channels;
    std::unique_ptr<ofxhost::HostImage> rgba;  // what the plug-in renders from
    // Every channel, interleaved in file order with rows top first, when the
    // file has channels besides the rendered ones: they are written back
    // unchanged, in `allType`, which holds each of them exactly.
    std::vector<unsigned char> all;
    OIIO::TypeDesc allType;
    int mipLevels = 1;   // the output keeps the first
    bool cmyk = false;   // inks the image library turned into RGB on reading
};

struct OutputChoice {
    std::optional<OIIO::TypeDesc> depth;  // the input's pixel types when not given
    std::string compression;              // NAME or NAME:QUALITY; the input's when the format is the same
};

// Reads the first subimage at the given render depth (by default the file's
// own, half and wider become float). An image whose pixels would need more
// than `maxBytes` of memory is refused before anything is allocated, and so
// is a file of several parts (multi-part EXR).
// `onDevice`: the frame also goes to an OpenCL device (a GPU host), and its
// copy there counts against the limit too.
FrameFile readFrame(const std::string &path, std::optional<ofxhost::Depth> depth, const ChannelChoice &choice,
                    std::uint64_t maxBytes, bool onDevice = false);

// The default of that limit: half of this machine's memory.
std::uint64_t defaultImageLimitBytes();

// Throws UsageError unless the path's extension names a format that can be
// written whole (its writer encodes through an I/O proxy).
void checkOutputFormat(const std::string &path);

// An output being written while the frame renders: strips of the rendered
// RGBA go in from the top of the frame down, each encoded at once through a
// checked writer into a temporary file (whole_file.h), the input's other
// channels with them as they were. finish() reads the file back (its header,
// and for lossless formats every pixel) before it replaces anything.
class FrameWriter {
public:
    FrameWriter(const std::string &path, FrameFile &input, ofxhost::Depth renderDepth, const OutputChoice &choice);
    ~FrameWriter();
    FrameWriter(const FrameWriter &) = delete;
    FrameWriter &operator=(const FrameWriter &) = delete;

    // Rows per strip: whole tiles for a tiled output.
    int stripRows() const { return stripRows_; }
    // The next strip: the frame's full width, rows just below the last strip.
    void write(const ofxhost::HostImage &strip);
    // Returns what the output does not hold of the input, or "".
    std::string finish();

private:
    void verify(const std::string &written, std::string &losses);

    std::string path_;
    FrameFile &input_;
    WholeFile file_;
    std::unique_ptr<FileProxy> proxy_;
    std::unique_ptr<OIIO::ImageOutput> out_;
    OIIO::ImageSpec spec_;
    OIIO::TypeDesc type_;   // of the data handed to the writer
    int stripRows_ = 64;
    int nextRow_ = 0;       // file rows written so far
    bool tiled_ = false;
    bool whole_ = false;    // the writer takes the image in one piece
    bool checkPixels_ = false;
    void closeBand();
    // Of every byte handed to the writer, a hash per band of stripRows_
    // file rows, so that the read-back can decode its bands in parallel.
    std::vector<std::uint64_t> bandHashes_;
    StreamHash band_;
    int bandRowsDone_ = 0;
    std::vector<std::string> kept_;  // the input's channels the output should have
};

// A plain RGBA image at its own depth, whole or not at all (the test card).
void writeImage(const std::string &path, const ofxhost::HostImage &image);

// The file opens as an image and every one of its pixels decodes; when
// `like` names an image, the two have the same data window.
bool readsBackWhole(const std::string &path, const std::string &like);

// Why the file is not a whole output of `like` (when not empty): it does
// not open as an image, a row does not decode, its data window is not the
// input's, or it lacks a channel of the input that its format could hold.
// Empty when it is whole.
std::string wholeImageFault(const std::string &path, const std::string &like);

// The pixels of a written file read back in `type`, as a hash per band of
// `bandRows` rows from the top, decoded on several threads, each with a
// reader of its own (the caller captures the libraries' messages). False,
// with the library's reason, when the file cannot be read whole.
bool readBackBands(const std::string &path, int bandRows, OIIO::TypeDesc type, std::vector<std::uint64_t> &hashes,
                   std::string &error);

// "uint8", "uint16", "half" or "float" into a pixel type; UsageError otherwise.
OIIO::TypeDesc parseOutputDepth(const std::string &text);
