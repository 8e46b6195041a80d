#include "render/host_profiles.h"

#include <sstream>

namespace ofxhost {

namespace {

RenderHabits proxyHabits(double scale, bool scaleOnImages, int tile = 0)
{
    RenderHabits h;
    h.renderScale = scale;
    h.renderScaleOnImages = scaleOnImages;
    h.tileWidth = h.tileHeight = tile;
    return h;
}

RenderHabits topDownHabits(int tileWidth, int tileHeight)
{
    RenderHabits h = tiledHabits(tileWidth, tileHeight);
    h.topDown = true;
    return h;
}

RenderHabits oversizedHabits(int tileWidth, int tileHeight, int margin)
{
    RenderHabits h = tiledHabits(tileWidth, tileHeight);
    h.oversizedOutput = true;
    h.sourceMargin = margin;
    return h;
}

RenderHabits depthHabits(Depth depth, bool source, bool output)
{
    RenderHabits h;
    if (source)
        h.sourceDepth = depth;
    if (output)
        h.outputDepth = depth;
    return h;
}

std::vector<RenderHabits> wrongDepths()
{
    std::vector<RenderHabits> out;
    for (Depth d : {Depth::Byte, Depth::Short, Depth::Half, Depth::Float}) {
        out.push_back(depthHabits(d, true, true));
        out.push_back(depthHabits(d, true, false));
        out.push_back(depthHabits(d, false, true));
    }
    return out;
}

RenderHabits sequenceHabits(bool shortLived, unsigned atOnce)
{
    RenderHabits h;
    h.shortLivedInstances = shortLived;
    h.framesAtOnce = atOnce;
    return h;
}

}  // namespace

RenderHabits tiledHabits(int tileWidth, int tileHeight)
{
    RenderHabits h;
    h.tileWidth = tileWidth;
    h.tileHeight = tileHeight;
    return h;
}

std::string RenderHabits::describe() const
{
    std::ostringstream s;
    auto part = [&s](const std::string &text) { s << (s.tellp() > 0 ? ", " : "") << text; };
    if (tiled()) {
        if (tileWidth == 0)
            part("strips " + std::to_string(tileHeight) + " rows high");
        else if (tileHeight == 0)
            part("strips " + std::to_string(tileWidth) + " columns wide");
        else
            part("tiles " + std::to_string(tileWidth) + "x" + std::to_string(tileHeight));
    }
    if (renderScale != 1.0)
        part("render scale " + std::to_string(renderScale).substr(0, 4));
    if (!renderScaleOnImages)
        part("no render scale on the images");
    if (topDown)
        part("rows top down");
    if (oversizedOutput)
        part("the whole frame's output image");
    if (sourceMargin > 0)
        part("sources " + std::to_string(sourceMargin) + " pixels beyond the region of interest");
    if (sourceDepth && outputDepth && *sourceDepth == *outputDepth) {
        part(std::string("source and output in ") + depthText(*sourceDepth));
    } else {
        if (sourceDepth)
            part(std::string("source in ") + depthText(*sourceDepth));
        if (outputDepth)
            part(std::string("output in ") + depthText(*outputDepth));
    }
    if (shortLivedInstances)
        part("an instance for each frame");
    if (framesAtOnce > 1)
        part(std::to_string(framesAtOnce) + " frames at once");
    if (openCL)
        part(deviceMemory == DeviceMemory::Buffers  ? "images in OpenCL buffers"
             : deviceMemory == DeviceMemory::Images ? "images in OpenCL images"
                                                    : "images in OpenCL images of integer channels");
    if (openCL && deviceQueue != 0)
        part("on queue " + std::to_string(deviceQueue));
    return s.tellp() > 0 ? s.str() : "whole frames";
}

const std::vector<HostProfile> &hostProfiles()
{
    static const std::vector<HostProfile> profiles = {
        {"tiled",
         "node-based compositors render a frame as tiles or strips, one after another or, for a plug-in that "
         "declares itself fully thread-safe, at the same time; each source covers the region of interest the "
         "effect asked for within the clip's region of definition, or only the render window when it does not "
         "answer",
         {tiledHabits(16, 16), tiledHabits(0, 7), tiledHabits(5, 0), tiledHabits(23, 9), tiledHabits(0, 1),
          topDownHabits(16, 16)}},
        {"proxy",
         "viewers at proxy resolution render at scale 0.5 or 0.25, with images, windows and regions scaled as "
         "the standard says; one host leaves the render scale off the images of its thumbnails",
         {proxyHabits(0.5, true), proxyHabits(0.25, true), proxyHabits(0.5, true, 8), proxyHabits(0.25, false)}},
        {"top-down",
         "an open-source compositor hands images whose rows run top down in memory (negative row bytes)",
         {topDownHabits(0, 0), topDownHabits(13, 11)}},
        {"short-lived",
         "a grading application creates an instance for each frame, renders it once and destroys it",
         {sequenceHabits(true, 1)}},
        {"frames-at-once",
         "applications with background rendering render several frames of one instance on several threads at "
         "once, as far as the plug-in's render thread safety allows",
         {sequenceHabits(false, 4)}},
        {"wrong-depth",
         "an editing application hands source or output images in a depth the plug-in did not declare; the "
         "plug-in must refuse them with a failure status and write nothing",
         wrongDepths()},
        {"oversized",
         "hosts that keep whole frames hand an output image larger than the render window and sources larger "
         "than the region of interest",
         {oversizedHabits(16, 16, 5), oversizedHabits(0, 9, 2)}},
    };
    return profiles;
}

const HostProfile *findHostProfile(const std::string &name)
{
    for (const HostProfile &p : hostProfiles())
        if (p.name == name)
            return &p;
    return nullptr;
}

}  // namespace ofxhost
