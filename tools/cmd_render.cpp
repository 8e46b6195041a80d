#include <climits>

#include "clean_stop.h"
#include "cli_error.h"
#include "commands.h"
#include "frame_pattern.h"
#include "frame_range.h"
#include "host.h"
#include "image_io.h"
#include "param_values.h"
#include "plugin_locator.h"
#include "progress.h"
#include "status_text.h"
#include "whole_file.h"

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
    throw UsageError("--depth must be 8, 16 or float, not '" + depth + "'");
}

// Rendering over an input would destroy it: the output must not be the
// directory entry of this frame's input, nor of any input of the range.
void refuseOverwritingInput(const std::string &inputPattern, const std::string &out, const FrameRange &range)
{
    const std::string entry = entryPath(out);
    const std::optional<long long> frame = frameOfFileName(entryPath(inputPattern), entry);
    const bool isInput = isFramePattern(inputPattern)
                             ? frame && *frame >= range.first && *frame <= range.last
                             : entry == entryPath(inputPattern);
    if (isInput)
        throw UsageError("the output " + out + " is an input of this render; choose another OUTPUT");
}

}  // namespace

int renderCommand(const RenderOptions &o, const char *argv0)
{
    cleanstop::setActivity("while loading the plug-in");
    const std::optional<ofxhost::Depth> depth = parseDepth(o.depth);
    const FrameRange range = o.frames.empty() ? FrameRange{} : parseFrameRange(o.frames);
    if (range.count() > 1 && !isFramePattern(o.output))
        throw UsageError("rendering frames " + o.frames + " needs an OUTPUT pattern with # or %04d");
    if (o.threads && (*o.threads < 1 || *o.threads > kMaxThreads))
        throw UsageError("--threads must lie in 1.." + std::to_string(kMaxThreads) + ", not " +
                         std::to_string(*o.threads));
    checkOutputFormat(o.output);
    refuseOverwritingInput(o.input, frameFileName(o.output, range.first), range);

    LoadedPlugin loaded = loadPlugin(locatePlugin(o.plugin, argv0));
    const ofxhost::EffectInfo info = loaded.plugin->info(loaded.context);
    std::vector<ParamSetting> settings;
    for (const std::string &text : o.params)
        settings.push_back(parseParamSetting(text, info));

    if (o.threads)
        ofxhost::Host::instance().quirks().reportedCpus = static_cast<unsigned>(*o.threads);
    OfxStatus status = kOfxStatOK;
    std::unique_ptr<ofxhost::Instance> instance = loaded.plugin->createInstance(loaded.context, &status);
    if (!instance)
        throw CliError("the plug-in refused to create an instance: " + statusText(status));
    for (const auto &setting : settings)
        applyParamSetting(*instance, setting);

    Progress progress(range.count());
    // 64-bit, so that a range ending at INT_MAX ends.
    for (std::int64_t f = range.first; f <= range.last; ++f) {
        const int frame = static_cast<int>(f);
        const std::string in = frameFileName(o.input, frame);
        const std::string out = frameFileName(o.output, frame);
        cleanstop::setActivity("during frame " + std::to_string(frame) + " (" + out + ")");
        refuseOverwritingInput(o.input, out, range);
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
    return kExitSuccess;
}
