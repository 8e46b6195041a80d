#include <cmath>

#include "cli_error.h"
#include "commands.h"
#include "image_io.h"
#include "render/host_image.h"

// A colourful 8-bit test card: ramps, a grid and a disc, so that bands and
// their edges are easy to see.
int testcardCommand(const std::string &output, int width, int height)
{
    if (width < 1 || height < 1 || width > 16384 || height > 16384)
        throw UsageError("--width and --height must lie in 1..16384");
    checkOutputFormat(output);
    ofxhost::ImageLayout layout;
    layout.bounds = {0, 0, width, height};
    ofxhost::HostImage card(layout);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            unsigned char *p = card.pixel(x, y);
            const double u = (x + 0.5) / width, v = (y + 0.5) / height;
            const double dx = u - 0.5, dy = (v - 0.5) * height / width;
            const bool disc = dx * dx + dy * dy < 0.06;
            const bool grid = (x % 40 == 0) || (y % 40 == 0);
            p[0] = static_cast<unsigned char>(grid ? 255 : 255 * u);
            p[1] = static_cast<unsigned char>(grid ? 255 : 255 * v);
            p[2] = static_cast<unsigned char>(grid ? 255 : disc ? 230 : 255 * (1 - u));
            p[3] = 255;
        }
    writeImage(output, card);
    return 0;
}
