#include <iostream>
#include <regex>

#include "cli_error.h"
#include "commands.h"
#include "frame_pattern.h"
#include "host.h"
#include "image_io.h"
#include "param_values.h"
#include "plugin_locator.h"
#include "progress.h"
#include "status_text.h"

namespace {

std::optional<ofxhost::Depth> parseDepth(const std::string &depth)
{
    if (depth.empty())
        return std::nullopt;
    if (depth == "8")
        return ofxhost::Depth::Byte;
    if (depth == "16")
        return ofxhost::Depth::Short;
    if (depth == "float" || depth == "32")
        return ofxhost::Depth::Float;
    throw CliError("--depth must be 8, 16 or float, not '" + depth + "'");
}

void parseFrames(const std::string &frames, int &first, int &last)
{
    static const std::regex range("^\\s*(-?[0-9]+)\\s*(?:-\\s*(-?[0-9]+))?\\s*$");
    std::smatch m;
    if (!std::regex_match(frames, m, range))
        throw CliError("--frames needs A-B, not '" + frames + "'");
    first = std::stoi(m[1].str());
    last = m[2].matched ? std::stoi(m[2].str()) : first;
    if (last < first)
        throw CliError("--frames " + frames + " ends before it starts");
}

}  // namespace

int renderCommand(const RenderOptions &o, const char *argv0)
{
    const std::optional<ofxhost::Depth> depth = parseDepth(o.depth);
    int first = 0, last = 0;
    if (!o.frames.empty())
        parseFrames(o.frames, first, last);
    if (first != last && !isFramePattern(o.output))
        throw CliError("rendering frames " + o.frames + " needs an OUTPUT pattern with # or %04d");

    LoadedPlugin loaded = loadPlugin(locatePlugin(o.plugin, argv0));
    const ofxhost::EffectInfo info = loaded.plugin->info(loaded.context);
    std::vector<ParamSetting> settings;
    for (const std::string &text : o.params)
        settings.push_back(parseParamSetting(text, info));

    if (o.threads)
        ofxhost::Host::instance().quirks().reportedCpus = o.threads;
    OfxStatus status = kOfxStatOK;
    std::unique_ptr<ofxhost::Instance> instance = loaded.plugin->createInstance(loaded.context, &status);
    if (!instance)
        throw CliError("the plug-in refused to create an instance: " + statusText(status));
    for (const auto &setting : settings)
        applyParamSetting(*instance, setting);

    Progress progress(last - first + 1);
    for (int frame = first; frame <= last; ++frame) {
        const std::string in = frameFileName(o.input, frame);
        const std::string out = frameFileName(o.output, frame);
        std::unique_ptr<ofxhost::HostImage> source = readImage(in, depth);
        std::unique_ptr<ofxhost::HostImage> result = blankLike(*source);
        instance->connect("Source", source.get());
        instance->connect("Output", result.get());
        status = instance->render(static_cast<double>(frame), source->bounds());
        instance->connect("Source", nullptr);
        instance->connect("Output", nullptr);
        if (status != kOfxStatOK)
            throw CliError("render of frame " + std::to_string(frame) + " failed: " + statusText(status));
        writeImage(out, *result);
        progress.frameDone();
    }
    return 0;
}
