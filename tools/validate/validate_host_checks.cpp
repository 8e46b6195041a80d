// The hosts.* checks: the plug-in rendered under each host profile, frame by
// frame compared with what a careful whole-frame host gets.

#include <cstring>
#include <map>
#include <sstream>
#include <thread>

#include "render/frame_renderer.h"
#include "render/host_profiles.h"
#include "render/opencl_device.h"
#include "render/pixel_copy.h"
#include "suites/host.h"
#include "validate_checks.h"
#include "validate_session.h"

using namespace ofxhost;

namespace {

const OfxRectI kFrame{-13, 7, 58, 44};  // away from the origin; no tile size divides it
constexpr unsigned char kUnwritten = 0xAB;
constexpr int kSequenceFrames = 8;

std::string rectText(const OfxRectI &r)
{
    return std::to_string(r.x1) + "," + std::to_string(r.y1) + " to " + std::to_string(r.x2) + "," +
           std::to_string(r.y2);
}

std::unique_ptr<HostImage> blankImage(Depth depth, const OfxRectI &bounds)
{
    ImageLayout layout;
    layout.depth = depth;
    layout.bounds = bounds;
    auto image = std::make_unique<HostImage>(layout);
    image->fill(kUnwritten);
    return image;
}

std::string pixelText(const HostImage &image, int x, int y)
{
    std::ostringstream s;
    const unsigned char *p = image.pixel(x, y);
    const int n = componentCount(image.layout().components);
    for (int i = 0; i < n; ++i) {
        s << (i ? " " : "");
        switch (image.layout().depth) {
        case Depth::Byte: s << int(p[i]); break;
        case Depth::Short:
        case Depth::Half: {
            std::uint16_t v;
            std::memcpy(&v, p + 2 * i, 2);
            s << v;
            break;
        }
        case Depth::Float: {
            float v;
            std::memcpy(&v, p + 4 * i, 4);
            s << v;
            break;
        }
        }
    }
    return s.str();
}

// Says how two renders of one frame differ: how many pixels, and the first.
void requireSame(const HostImage &got, const HostImage &expected, const std::string &what)
{
    require(sameRect(got.bounds(), expected.bounds()), what + " gave a frame of other bounds");
    const OfxRectI &b = expected.bounds();
    long long count = 0;
    int fx = 0, fy = 0;
    const std::size_t bytes = static_cast<std::size_t>(expected.pixelBytes());
    for (int y = b.y1; y < b.y2; ++y)
        for (int x = b.x1; x < b.x2; ++x)
            if (std::memcmp(got.pixel(x, y), expected.pixel(x, y), bytes) != 0 && count++ == 0) {
                fx = x;
                fy = y;
            }
    if (count == 0)
        return;
    const long long total = static_cast<long long>(b.x2 - b.x1) * (b.y2 - b.y1);
    throw CheckFailure(what + " gave other bytes than whole frames: " + std::to_string(count) + " of " +
                       std::to_string(total) + " pixels differ, the first at (" + std::to_string(fx) + ", " +
                       std::to_string(fy) + "): " + pixelText(got, fx, fy) + " against " +
                       pixelText(expected, fx, fy) + " (" + depthText(expected.layout().depth) + ")");
}

void requireRendered(const FrameResult &r, const std::string &what)
{
    require(r.status == kOfxStatOK, what + ": the render of window " + rectText(r.window) + " answered " +
                                        statusName(r.status));
    require(!r.wroteOutside, what + ": the render of window " + rectText(r.window) +
                                 " wrote outside it (into the larger output image, or past a row's end)");
    require(Host::instance().imagesOut.load() == 0, what + ": images not released to the host");
}

// A frame of random inputs for every input clip, at full scale.
struct Inputs {
    std::vector<std::unique_ptr<HostImage>> images;
    FrameSources sources;
};

Inputs makeInputs(ValidateSession &session, Depth depth, std::mt19937 &rng)
{
    ImageLayout layout;
    layout.depth = depth;
    layout.bounds = kFrame;
    ValidateSession::Frame frame = session.makeFrame(layout, rng);
    Inputs in;
    std::size_t next = 0;
    for (const auto &clip : session.info().clips) {
        if (clip.name == "Output" || next >= frame.inputs.size())
            continue;
        in.sources[clip.name] = frame.inputs[next].get();
        in.images.push_back(std::move(frame.inputs[next++]));
    }
    return in;
}

void connect(Instance &instance, const Inputs &in, HostImage *output)
{
    for (const auto &source : in.sources)
        instance.connect(source.first, const_cast<HostImage *>(source.second));
    instance.connect("Output", output);
}

std::unique_ptr<HostImage> renderWith(Instance &instance, const Inputs &in, Depth depth, const RenderHabits &habits,
                                      double time, unsigned *windows = nullptr)
{
    auto output = blankImage(depth, toPixels(toCanonical(kFrame, 1.0), habits.renderScale));
    connect(instance, in, output.get());
    const FrameResult r = renderFrame(instance, time, in.sources, *output, habits);
    requireRendered(r, habits.describe());
    if (windows)
        *windows = r.windows;
    return output;
}

// Each variant against whole frames at the same scale, at every declared
// depth with random parameters.
void compareWithWholeFrames(const HostProfile &profile, const PluginRef &path, unsigned seed)
{
    ValidateSession session(path);
    session.prepare();
    std::mt19937 rng(seed);
    auto instance = session.createInstance();
    const bool tiles = session.plugin().supportsTiles(session.context());
    for (Depth depth : session.depths())
        for (int trial = 0; trial < 2; ++trial) {
            session.randomParams(*instance, rng);
            const Inputs in = makeInputs(session, depth, rng);
            for (const RenderHabits &habits : profile.variants) {
                RenderHabits careful;
                careful.renderScale = habits.renderScale;
                const auto expected = renderWith(*instance, in, depth, careful, trial);
                unsigned windows = 0;
                requireSame(*renderWith(*instance, in, depth, habits, trial, &windows), *expected, habits.describe());
                // A plug-in that declares tiles is proven in tiles, not whole frames.
                require(!habits.tiled() || !tiles || windows > 1,
                        habits.describe() + ": the host sent " + std::to_string(windows) + " windows");
            }
        }
}

// Frames with animated parameters through the variant's instance lifetimes
// and concurrency, against one instance rendering them in turn.
void compareSequences(const HostProfile &profile, const PluginRef &path, unsigned seed)
{
    ValidateSession session(path);
    session.prepare();
    std::mt19937 rng(seed);
    auto instance = session.createInstance();
    for (Depth depth : session.depths()) {
        session.randomKeys(*instance, rng, {0.0, double(kSequenceFrames - 1)});
        const Inputs in = makeInputs(session, depth, rng);
        std::vector<std::unique_ptr<HostImage>> expected;
        for (int frame = 0; frame < kSequenceFrames; ++frame)
            expected.push_back(renderWith(*instance, in, depth, RenderHabits{}, frame));
        for (const RenderHabits &habits : profile.variants) {
            std::vector<std::unique_ptr<HostImage>> outputs;
            std::vector<SequenceFrame> frames(kSequenceFrames);
            for (int frame = 0; frame < kSequenceFrames; ++frame) {
                outputs.push_back(blankImage(depth, kFrame));
                frames[frame].time = frame;
                frames[frame].sources = in.sources;
                frames[frame].output = outputs.back().get();
            }
            connect(*instance, in, outputs.front().get());
            renderSequence(*instance, frames, habits);
            for (int frame = 0; frame < kSequenceFrames; ++frame) {
                const std::string what = habits.describe() + ", frame " + std::to_string(frame);
                requireRendered(frames[frame].result, what);
                requireSame(*outputs[frame], *expected[frame], what);
            }
        }
    }
}

bool declared(const std::vector<Depth> &depths, Depth depth)
{
    for (Depth d : depths)
        if (d == depth)
            return true;
    return false;
}

// Undeclared depths are refused with a failure status, and the output the
// host lent keeps every byte it had.
void refuseUndeclaredDepths(const HostProfile &profile, const PluginRef &path, unsigned seed)
{
    ValidateSession session(path);
    session.prepare();
    std::mt19937 rng(seed);
    auto instance = session.createInstance();
    const std::vector<Depth> depths = session.depths();
    if (depths.empty())
        return;
    const Depth content = depths.front();
    const Inputs in = makeInputs(session, content, rng);
    for (const RenderHabits &habits : profile.variants) {
        const Depth wrong = habits.sourceDepth ? *habits.sourceDepth : *habits.outputDepth;
        if (declared(depths, wrong))
            continue;
        session.randomParams(*instance, rng);
        auto output = blankImage(content, kFrame);
        connect(*instance, in, output.get());
        const FrameResult r = renderFrame(*instance, 0.0, in.sources, *output, habits);
        const std::string what = habits.describe();
        // A plug-in that never looks at the image of that depth may render.
        bool fetchedWrong = habits.outputDepth && r.fetched.count("Output");
        for (const auto &source : in.sources)
            fetchedWrong = fetchedWrong || (habits.sourceDepth && r.fetched.count(source.first));
        if (r.status == kOfxStatOK) {
            require(!fetchedWrong, what + ": the render answered kOfxStatOK for an image of a depth never declared");
        } else {
            require(!r.wroteOnFailure && holdsOutside(*output, OfxRectI{0, 0, 0, 0}, kUnwritten),
                    what + ": the render answered " + statusName(r.status) + " but wrote into the output");
        }
        require(Host::instance().imagesOut.load() == 0, what + ": images not released to the host");
    }
}

using Memory = RenderHabits::DeviceMemory;

bool declares(Plugin &plugin, Memory memory)
{
    return memory == Memory::Buffers ? plugin.supportsOpenCLBuffers() : plugin.supportsOpenCLImages();
}

RenderHabits onDevice(Memory memory, RenderHabits habits = RenderHabits{})
{
    habits.openCL = true;
    habits.deviceMemory = memory;
    return habits;
}

void compareOnTheDevice(ValidateSession &session, OpenCLDevice *device, Memory memory, unsigned seed);

// A plug-in that declares OpenCL buffers (or images), on our GPU host:
// random frames on the device, in tiles, with a device that runs out of
// room, and two instances on two queues at once, each byte for byte its CPU
// frame. Once it is unloaded it holds nothing of the host's context: its
// programs (which keep the context alive) are released.
void compareOnTheDevice(const PluginRef &path, unsigned seed, Memory memory)
{
    const std::string kind = memory == Memory::Buffers ? "buffers" : "images";
    OpenCLDevice *device = OpenCLDevice::get();
    if (!device)
        throw CheckSkipped("no OpenCL device to play a GPU host on");
    const unsigned held = device->contextReferences();
    {
        ValidateSession session(path);
        session.prepare();
        if (!declares(session.plugin(), memory))
            throw CheckSkipped("the plug-in declares no OpenCL render on " + kind);
        compareOnTheDevice(session, device, memory, seed);
        // Unload may be left untrapped, as load may: the host does its default.
        const OfxStatus unloaded = session.plugin().unload();
        require(unloaded == kOfxStatOK || unloaded == kOfxStatReplyDefault,
                "the unload action failed: " + statusName(unloaded));
    }
    const unsigned left = device->contextReferences() - held;
    require(left == 0, "after its unload the plug-in still holds " + std::to_string(left) +
                           (left == 1 ? " reference" : " references") +
                           " to the host's OpenCL context (programs, kernels or queues not released)");
}

void compareOnTheDevice(ValidateSession &session, OpenCLDevice *device, Memory memory, unsigned seed)
{
    std::mt19937 rng(seed);
    auto instance = session.createInstance();
    const unsigned before = device->deviceRenders.load();
    int renders = 0;
    for (Depth depth : session.depths())
        for (int trial = 0; trial < 4; ++trial) {
            session.randomParams(*instance, rng);
            const Inputs in = makeInputs(session, depth, rng);
            const auto expected = renderWith(*instance, in, depth, RenderHabits{}, trial);
            const RenderHabits gpu = onDevice(memory, trial % 2 ? tiledHabits(16, 16) : RenderHabits{});
            if (trial == 3)
                device->failNextAllocation = true;  // the host's CPU render takes over
            else
                ++renders;
            requireSame(*renderWith(*instance, in, depth, gpu, trial), *expected, gpu.describe());
        }
    require(device->deviceRenders.load() - before >= static_cast<unsigned>(renders),
            std::string("declares OpenCL ") + (memory == Memory::Buffers ? "buffers" : "images") +
                " but rendered on the device " +
                std::to_string(device->deviceRenders.load() - before) + " times of " + std::to_string(renders));

    // Two instances on the device at the same time, each on a queue of its own.
    const Depth depth = session.depths().empty() ? Depth::Byte : session.depths().front();
    std::vector<std::unique_ptr<Instance>> pair;
    std::vector<Inputs> inputs;
    std::vector<std::unique_ptr<HostImage>> expected, outputs;
    for (int i = 0; i < 2; ++i) {
        pair.push_back(session.createInstance());
        session.randomParams(*pair.back(), rng);
        inputs.push_back(makeInputs(session, depth, rng));
        expected.push_back(renderWith(*pair.back(), inputs.back(), depth, RenderHabits{}, 0));
        outputs.push_back(blankImage(depth, kFrame));
        connect(*pair.back(), inputs.back(), outputs.back().get());
    }
    std::vector<FrameResult> results(2);
    std::vector<std::thread> threads;
    for (unsigned i = 0; i < 2; ++i)
        threads.emplace_back([&, i] {
            RenderHabits gpu = onDevice(memory);
            gpu.deviceQueue = i;
            results[i] = renderFrame(*pair[i], 0, inputs[i].sources, *outputs[i], gpu);
        });
    for (auto &t : threads)
        t.join();
    for (int i = 0; i < 2; ++i) {
        requireRendered(results[i], "two instances on two queues at once");
        requireSame(*outputs[i], *expected[i], "two instances on two queues at once");
    }
}

using ProfileCheck = void (*)(const HostProfile &, const PluginRef &, unsigned);

const std::map<std::string, ProfileCheck> &profileChecks()
{
    static const std::map<std::string, ProfileCheck> checks = {
        {"tiled", compareWithWholeFrames},     {"proxy", compareWithWholeFrames},
        {"top-down", compareWithWholeFrames},  {"oversized", compareWithWholeFrames},
        {"short-lived", compareSequences},     {"frames-at-once", compareSequences},
        {"wrong-depth", refuseUndeclaredDepths},
    };
    return checks;
}

}  // namespace

std::vector<ValidateCheck> hostProfileChecks()
{
    std::vector<ValidateCheck> out;
    for (Memory memory : {Memory::Buffers, Memory::Images})
        out.push_back({memory == Memory::Buffers ? "gpu.opencl-buffers" : "gpu.opencl-images",
                       [memory](const PluginRef &path, unsigned seed) {
                           Host::instance().reset();
                           compareOnTheDevice(path, seed, memory);
                       }});
    for (const HostProfile &profile : hostProfiles()) {
        const ProfileCheck run = profileChecks().at(profile.name);
        const std::string name = profile.name;
        out.push_back({kHostCheckPrefix + name, [run, name](const PluginRef &path, unsigned seed) {
                           Host::instance().reset();
                           run(*findHostProfile(name), path, seed);
                       }});
    }
    return out;
}
