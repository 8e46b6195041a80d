// Draws the plug-in's 128x128 icon: four bands across 30 degrees, the second
// and fourth hidden, over a colour ramp.

#include <OpenImageIO/imagebuf.h>

#include <cmath>
#include <cstdio>

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: zelvo_make_icon OUT.png\n");
        return 2;
    }
    const int n = 128;
    OIIO::ImageBuf icon(OIIO::ImageSpec(n, n, 4, OIIO::TypeDesc::UINT8));
    const double c = std::cos(30.0 * M_PI / 180.0), s = std::sin(30.0 * M_PI / 180.0);
    for (int y = 0; y < n; ++y)
        for (int x = 0; x < n; ++x) {
            const double t = ((x - n / 2.0) * c - (y - n / 2.0) * s) / (n * 0.72) + 0.5;
            const int band = std::max(0, std::min(3, static_cast<int>(t * 4)));
            float px[4] = {0, 0, 0, 0};
            if (band % 2 == 0) {
                px[0] = x / float(n);
                px[1] = 0.4f + 0.5f * y / float(n);
                px[2] = 1.0f - x / float(n);
                px[3] = 1.0f;
            }
            icon.setpixel(x, y, px);
        }
    return icon.write(argv[1]) ? 0 : 1;
}
