#pragma once

// Which channels of a file are the red, green, blue and alpha the plug-in
// renders. They are found by name: R, G, B and A (any case), or those of a
// layer (--layer diffuse: diffuse.R, ...), or named by the user in that
// order (--channels N.x,N.y,N.z[,N.w]). A file of luminance (Y, optionally
// with A) is rendered as grey RGB. Any other set of channels is refused with
// the names found, never guessed.

#include <OpenImageIO/imageio.h>

#include <string>
#include <vector>

struct ChannelChoice {
    std::string layer;                  // empty: no layer
    std::vector<std::string> names;     // explicit R, G, B[, A]; empty: by name
};

struct ChannelMap {
    int red = -1, green = -1, blue = -1, alpha = -1;  // file channel indices; alpha -1: none (opaque)
    bool grey = false;                                 // red is luminance, spread to green and blue

    int rendered() const { return alpha < 0 ? 3 : 4; }
    // The rendered channels are the file's first ones in order, and it has
    // no others: the pixels can go straight between file and render.
    bool direct(int fileChannels) const;
    bool isRendered(int channel) const;
};

// Throws UsageError naming the file's channels when the choice finds none.
ChannelMap mapChannels(const OIIO::ImageSpec &spec, const ChannelChoice &choice, const std::string &path);

// "--channels" text into names.
std::vector<std::string> splitChannelNames(const std::string &text);
