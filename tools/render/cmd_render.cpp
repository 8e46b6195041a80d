#include <chrono>
#include <filesystem>
#include <iostream>
#include <sstream>

#include "clean_stop.h"
#include "cli_error.h"
#include "commands.h"
#include "compression.h"
#include "frame_log.h"
#include "frame_pattern.h"
#include "frame_range.h"
#include "image_io.h"
#include "input_guard.h"
#include "param_values.h"
#include "plugin_locator.h"
#include "render/frame_renderer.h"
#include "render/opencl_device.h"
#include "status_text.h"
#include "suites/host.h"
#include "whole_file.h"

namespace fs = std::filesystem;

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

// "WxH", each 0 (the whole width or height) up to 2^31-1, not both 0.
ofxhost::RenderHabits parseTiles(const std::optional<std::string> &given)
{
    ofxhost::RenderHabits habits;
    if (!given)
        return habits;
    const std::string &text = *given;
    const std::string usage = "--tiles must be WxH, sizes in pixels (0 for the whole width or height), not '" +
                              text + "'";
    const std::size_t x = text.find('x');
    if (x == std::string::npos)
        throw UsageError(usage);
    auto size = [&](const std::string &part) {
        if (part.empty() || part.size() > 10 || part.find_first_not_of("0123456789") != std::string::npos)
            throw UsageError(usage);
        const long long v = std::stoll(part);
        if (v > 2147483647LL)
            throw UsageError(usage);
        return static_cast<int>(v);
    };
    habits = ofxhost::tiledHabits(size(text.substr(0, x)), size(text.substr(x + 1)));
    if (!habits.tiled())
        throw UsageError(usage);
    return habits;
}

enum class Missing { Error, Skip, Hold };

Missing parseMissing(const std::string &text)
{
    if (text == "error")
        return Missing::Error;
    if (text == "skip")
        return Missing::Skip;
    if (text == "hold")
        return Missing::Hold;
    throw UsageError("--missing must be error, skip or hold, not '" + text + "'");
}

// The frames asked for; without --frames, those the input's name gives or
// those whose input files exist.
FrameList framesToRender(const RenderOptions &o, const FramePattern &input)
{
    if (!o.frames.empty())
        return parseFrameList(o.frames);
    if (!input.embeddedFrames().empty())
        return parseFrameList(input.embeddedFrames(), "the frames in " + input.text());
    if (!input.isSequence())
        return FrameList::of({0});
    const std::vector<int> existing = input.existingFrames();
    if (existing.empty())
        throw CliError("no input frames match " + input.text());
    return FrameList::of(existing);
}

std::string parameterValues(ofxhost::Instance &instance, const ofxhost::EffectInfo &info, double time)
{
    std::ostringstream s;
    for (const auto &p : info.params) {
        const ofxhost::ParamObject *param = instance.param(p.name);
        if (!param || !param->isNumeric())
            continue;
        s << (s.tellp() > 0 ? " " : "") << p.name << "=";
        const std::vector<double> v = param->valueAt(time);
        for (std::size_t i = 0; i < v.size(); ++i)
            s << (i ? "," : "") << v[i];
    }
    return s.str();
}

}  // namespace

int renderCommand(const RenderOptions &o, const char *argv0)
{
    cleanstop::setActivity("while loading the plug-in");
    const std::optional<ofxhost::Depth> depth = parseDepth(o.depth);
    const Missing missing = parseMissing(o.missing);
    ofxhost::RenderHabits habits = parseTiles(o.tiles);
    const char *gpuDefault = std::getenv("ZELVO_GPU");
    const std::string gpu = !o.gpu.empty() ? o.gpu : gpuDefault ? gpuDefault : "off";
    if (gpu != "off" && gpu != "opencl" && gpu != "opencl-images")
        throw UsageError(std::string(o.gpu.empty() ? "ZELVO_GPU" : "--gpu") +
                         " must be opencl, opencl-images or off, not '" + gpu + "'");
    habits.openCL = gpu != "off";
    if (gpu == "opencl-images")
        habits.deviceMemory = ofxhost::RenderHabits::DeviceMemory::Images;
    if (o.maxImageMb && (*o.maxImageMb < 1 || *o.maxImageMb > kMaxImageMb))
        throw UsageError("--max-image-mb must lie in 1.." + std::to_string(kMaxImageMb) + ", not " +
                         std::to_string(*o.maxImageMb));
    const std::uint64_t maxBytes =
        o.maxImageMb ? static_cast<std::uint64_t>(*o.maxImageMb) << 20 : defaultImageLimitBytes();
    const FramePattern input(o.input), output(o.output);
    const FrameList frames = framesToRender(o, input);
    if (frames.count() > 1 && !output.isSequence())
        throw UsageError("rendering " + std::to_string(frames.count()) +
                         " frames needs an OUTPUT pattern with #, @ or %04d");
    if (o.threads && (*o.threads < 1 || *o.threads > kMaxThreads))
        throw UsageError("--threads must lie in 1.." + std::to_string(kMaxThreads) + ", not " +
                         std::to_string(*o.threads));
    checkOutputFormat(o.output);
    checkCompression(o.output, o.compression);

    LoadedPlugin loaded = loadPlugin(locatePlugin(o.plugin, argv0));
    cleanstop::setActivity("while creating an instance");
    const ofxhost::EffectInfo info = loaded.plugin->info(loaded.context);
    const bool strips = loaded.plugin->supportsTiles(loaded.context);
    std::vector<ParamSetting> settings;
    for (const std::string &text : o.params)
        settings.push_back(parseParamSetting(text, info));
    if (o.checkOnly)
        return kExitSuccess;

    if (o.threads)
        ofxhost::Host::instance().quirks().reportedCpus = static_cast<unsigned>(*o.threads);
    OfxStatus status = kOfxStatOK;
    std::unique_ptr<ofxhost::Instance> instance = loaded.plugin->createInstance(loaded.context, &status);
    if (!instance)
        throw CliError("the plug-in refused to create an instance: " + statusText(status));
    for (const auto &setting : settings)
        applyParamSetting(*instance, setting);

    ChannelChoice channels{o.layer, o.channels.empty() ? std::vector<std::string>() : splitChannelNames(o.channels)};
    OutputChoice outputChoice;
    if (!o.outDepth.empty())
        outputChoice.depth = parseOutputDepth(o.outDepth);
    outputChoice.compression = o.compression;
    bool warned = false;
    const InputGuard guard(input, frames);
    FrameLog log(frames.count(), o.quiet, o.verbose);
    std::string held;  // the last input that existed, for --missing hold
    bool foundInput = false;
    frames.forEach([&](int frame) {
        const std::string out = output.name(frame);
        std::string in = input.name(frame);
        cleanstop::setActivity("during frame " + std::to_string(frame) + " (" + out + ")");
        guard.refuse(out);
        std::error_code ec;
        const bool inputExists = fs::exists(in, ec);
        if (o.skipExisting && fs::exists(out, ec)) {
            // A farm's placeholder or a write cut short is not a finished frame.
            if (readsBackWhole(out, inputExists ? in : held)) {
                if (inputExists)
                    held = in;
                foundInput = foundInput || inputExists;
                log.skipped(frame, out + " exists");
                return;
            }
            log.note(frame, out + " exists but is not a whole image of the frame: rendering it again");
        }
        if (!inputExists) {
            if (missing == Missing::Error || (missing == Missing::Hold && held.empty()))
                throw CliError("input not found: " + in);
            if (missing == Missing::Skip) {
                log.skipped(frame, "no input " + in);
                return;
            }
            log.note(frame, "no input " + in + ", holds " + held);
            in = held;
        }
        held = in;
        foundInput = true;
        const auto start = std::chrono::steady_clock::now();
        FrameFile source = readFrame(in, depth, channels, maxBytes, habits.openCL);
        const ofxhost::HostImage &src = *source.rgba;
        // The output is rendered and encoded a strip at a time, top first:
        // only the source and one strip are ever held (a plug-in without
        // tiles renders the frame as one strip).
        FrameWriter writer(out, source, src.layout().depth, outputChoice);
        const OfxRectI &frameBounds = src.bounds();
        const int rows = strips ? writer.stripRows() : std::max(1, src.height());
        instance->connect("Source", source.rgba.get());
        // As a GPU host: the source goes to the device once for the frame,
        // and every strip and tile is drawn from that copy.
        habits.deviceSources = habits.openCL ? std::make_shared<ofxhost::DeviceSources>() : nullptr;
        unsigned windows = 0, onDevice = 0;
        bool onImages = false;
        OfxStatus refusal = kOfxStatOK;  // what sent windows back to the CPU
        for (long long top = frameBounds.y2; top > frameBounds.y1; top -= rows) {
            ofxhost::ImageLayout layout = src.layout();
            layout.bounds = {frameBounds.x1, static_cast<int>(std::max<long long>(frameBounds.y1, top - rows)),
                             frameBounds.x2, static_cast<int>(top)};
            ofxhost::HostImage strip(layout);
            instance->connect("Output", &strip);
            const ofxhost::FrameResult rendered = ofxhost::renderFrame(*instance, static_cast<double>(frame),
                                                                       {{"Source", source.rgba.get()}}, strip, habits);
            instance->connect("Output", nullptr);
            if (rendered.status != kOfxStatOK)
                throw CliError("cannot write " + out + ": the render of frame " + std::to_string(frame) +
                               " failed: " + statusText(rendered.status));
            if (rendered.wroteOutside)
                throw CliError("cannot write " + out + ": the render of frame " + std::to_string(frame) +
                               " failed: the plug-in wrote outside its render window");
            writer.write(strip);
            windows += rendered.windows;
            onDevice += rendered.deviceRenders;
            onImages = onImages || rendered.imageRenders > 0;
            if (rendered.deviceRefusal != kOfxStatOK)
                refusal = rendered.deviceRefusal;
        }
        instance->connect("Source", nullptr);
        habits.deviceSources.reset();
        const std::string losses = writer.finish();
        if (!losses.empty() && !warned) {
            warned = true;  // once: every frame of a sequence loses the same
            std::cerr << "zelvo: warning: " << out << " cannot hold all of " << in << ": " << losses << std::endl;
        }
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        // Which path drew the frame's windows, for -v: the device, the CPU
        // or both, and what the device answered for those it gave back.
        const std::string device = onImages ? "path=opencl-images" : "path=opencl-buffers";
        std::string path = onDevice == 0         ? "path=cpu"
                           : onDevice == windows ? device
                                                 : device + ":" + std::to_string(onDevice) + "/" +
                                                       std::to_string(windows);
        if (refusal != kOfxStatOK)
            path += " (the device answered " + statusText(refusal) + ")";
        log.written(frame, out, seconds,
                    log.verbose() ? parameterValues(*instance, info, frame) + " " + path : std::string());
    });
    if (!foundInput)
        throw CliError("no input frames found: every frame of " + o.input + " asked for is missing");
    cleanstop::setActivity("while unloading the plug-in");
    instance.reset();
    loaded.plugin.reset();
    return kExitSuccess;
}
