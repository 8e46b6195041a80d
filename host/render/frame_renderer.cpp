#include "render/frame_renderer.h"

#include <algorithm>
#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

#include "ofx/ofx_names.h"
#include "render/opencl_device.h"
#include "render/pixel_copy.h"
#include "render/render_scope.h"
#include "suites/host_objects.h"

namespace ofxhost {

namespace {

// What a lent output holds where the plug-in has not written.
constexpr unsigned char kUnwritten = 0xAB;

std::vector<OfxRectI> windowsOf(const OfxRectI &frame, const RenderHabits &h, bool tiles)
{
    if (!tiles || !h.tiled() || isEmpty(frame))
        return {frame};
    const int tw = h.tileWidth > 0 ? h.tileWidth : frame.x2 - frame.x1;
    const int th = h.tileHeight > 0 ? h.tileHeight : frame.y2 - frame.y1;
    std::vector<OfxRectI> out;
    for (long long y = frame.y1; y < frame.y2; y += th)
        for (long long x = frame.x1; x < frame.x2; x += tw)
            out.push_back(OfxRectI{int(x), int(y), int(std::min<long long>(x + tw, frame.x2)),
                                   int(std::min<long long>(y + th, frame.y2))});
    return out;
}

// Renders of one instance wait for each other unless the plug-in declared
// itself fully safe; an unsafe plug-in renders one frame at a time in all.
std::unique_lock<std::mutex> gate(Instance &instance, const std::string &safety)
{
    if (safety == kOfxImageEffectRenderFullySafe)
        return {};
    if (safety == kOfxImageEffectRenderUnsafe)
        return std::unique_lock<std::mutex>(instance.plugin().unsafeRenderLock());
    return std::unique_lock<std::mutex>(instance.renderLock());
}

OfxRectI grown(const OfxRectI &r, int margin)
{
    auto add = [](int v, long long d) { return int(std::clamp<long long>(v + d, -1000000000LL, 1000000000LL)); };
    return OfxRectI{add(r.x1, -margin), add(r.y1, -margin), add(r.x2, margin), add(r.y2, margin)};
}

class WindowRender {
public:
    WindowRender(Instance &instance, double time, const FrameSources &sources, HostImage &output,
                 const RenderHabits &habits, const std::string &safety)
        : instance_(instance), time_(time), sources_(sources), output_(output), habits_(habits), safety_(safety)
    {
    }

    FrameResult run(const OfxRectI &window)
    {
        FrameResult r;
        r.window = window;
        r.windows = 1;
        const double scale = habits_.renderScale;
        // The regions of definition of this frame's clips hold from the
        // regions-of-interest action on; the images only for the render.
        RenderScope scope(&instance_.object(), scale, habits_.renderScaleOnImages);
        for (const auto &clip : instance_.object().clipOrder)
            if (clip != kOfxImageEffectOutputClipName)
                scope.set(clip, regionView(clip));
        ClipView out;
        out.regionOfDefinition = output_.bounds();
        out.canonicalRegionOfDefinition = toCanonical(output_.bounds(), scale);
        scope.set(kOfxImageEffectOutputClipName, out);

        std::map<std::string, OfxRectD> regions;
        r.status = instance_.regionsOfInterest(time_, scale, toCanonical(window, scale), regions);
        if (r.status != kOfxStatOK)
            return r;
        std::map<std::string, ClipView> views;
        for (const auto &clip : instance_.object().clipOrder)
            if (clip != kOfxImageEffectOutputClipName)
                views[clip] = sourceView(clip, regions.count(clip) ? regions[clip] : toCanonical(window, scale));
        HostImage *target = outputFor(window);
        out.image = target;
        views[kOfxImageEffectOutputClipName] = out;

        const std::optional<RenderHabits::DeviceMemory> memory =
            habits_.openCL ? deviceMemory() : std::nullopt;
        OpenCLDevice *device = memory ? OpenCLDevice::get() : nullptr;
        if (device) {
            const bool images = *memory != RenderHabits::DeviceMemory::Buffers;
            r.status = renderOnDevice(*device, *memory, scope, views, window, *target);
            r.deviceRenders = r.status == kOfxStatOK ? 1 : 0;
            r.imageRenders = images ? r.deviceRenders : 0;
            // Out of room or failed there: again, on the CPU, as the
            // standard asks of a host for either answer.
            if (r.status == kOfxStatGPURenderFailed || r.status == kOfxStatGPUOutOfMemory) {
                r.deviceRefusal = r.status;
                ++device->cpuFallbacks;
                device = nullptr;
            }
        }
        if (!device) {
            for (const auto &v : views)
                scope.set(v.first, v.second);
            auto lock = gate(instance_, safety_);
            r.status = instance_.render(time_, window, scale);
        }
        r.fetched = scope.fetched();
        if (target == &output_)
            return r;  // the caller's own image: the caller watches it
        if (r.status == kOfxStatOK) {
            r.wroteOutside = !holdsOutside(*target, window, kUnwritten);
            if (!habits_.outputDepth)
                copyPixels(*target, output_, window);
        } else {
            r.wroteOnFailure = !holdsOutside(*target, OfxRectI{0, 0, 0, 0}, kUnwritten);
        }
        return r;
    }

private:
    // How the images are lent on the device: as the habits ask when the
    // plug-in declares it, as buffers when it declares only those; null when
    // it declares neither.
    std::optional<RenderHabits::DeviceMemory> deviceMemory() const
    {
        const Plugin &plugin = instance_.plugin();
        if (habits_.deviceMemory != RenderHabits::DeviceMemory::Buffers && plugin.supportsOpenCLImages())
            return habits_.deviceMemory;
        if (plugin.supportsOpenCLBuffers())
            return RenderHabits::DeviceMemory::Buffers;
        return std::nullopt;
    }

    // The views' images lent on the device, the render on its
    // queue, the output brought back once the queue is done.
    OfxStatus renderOnDevice(OpenCLDevice &device, RenderHabits::DeviceMemory memory, RenderScope &scope,
                             const std::map<std::string, ClipView> &views, const OfxRectI &window, HostImage &target)
    {
        const bool images = memory != RenderHabits::DeviceMemory::Buffers;
        std::vector<void *> buffers;
        void *output = nullptr;
        bool room = true;
        for (const auto &v : views) {
            ClipView lent = v.second;
            const bool isOutput = v.first == kOfxImageEffectOutputClipName;
            if (lent.image && !isOutput && sharedSources()) {
                // The whole source, uploaded once for the frame: it covers
                // every window's region of interest.
                lent.image = content(v.first);
                lent.deviceMemory = habits_.deviceSources->lend(device, *lent.image, memory, habits_.deviceQueue);
                lent.deviceRowBytes = device.rowBytes(*lent.image);
                lent.deviceImage = images;
                room = room && lent.deviceMemory;
                scope.set(v.first, lent);
                continue;
            }
            if (lent.image) {
                lent.deviceMemory = device.upload(*lent.image, memory, habits_.deviceQueue);
                lent.deviceRowBytes = device.rowBytes(*lent.image);
                lent.deviceImage = images;
                room = room && lent.deviceMemory;
                buffers.push_back(lent.deviceMemory);
                if (v.first == kOfxImageEffectOutputClipName)
                    output = lent.deviceMemory;
            }
            scope.set(v.first, lent);
        }
        OfxStatus status = kOfxStatGPURenderFailed;  // no room on the device: the CPU renders it
        if (room) {
            auto lock = gate(instance_, safety_);
            status = instance_.render(time_, window, habits_.renderScale, device.queue(habits_.deviceQueue));
        }
        if (status == kOfxStatOK) {
            if (!device.finish(habits_.deviceQueue))
                status = kOfxStatGPURenderFailed;
            else
                device.download(output, target, habits_.deviceQueue);
            ++device.deviceRenders;
            if (images)
                ++device.imageRenders;
        }
        for (void *b : buffers)
            device.release(b);
        return status;
    }

    // Sources lent whole from the frame's device copies: where the caller
    // keeps them, and the host hands sources as it keeps them (no scale,
    // no other row order or depth).
    bool sharedSources() const
    {
        return habits_.deviceSources && habits_.renderScale == 1.0 && !habits_.topDown && !habits_.sourceDepth;
    }

    const HostImage *content(const std::string &clip) const
    {
        auto it = sources_.find(clip);
        return it == sources_.end() ? nullptr : it->second;
    }

    ClipView regionView(const std::string &clip) const
    {
        ClipView view;
        if (const HostImage *image = content(clip)) {
            view.canonicalRegionOfDefinition = toCanonical(image->bounds(), 1.0);
            view.regionOfDefinition = toPixels(view.canonicalRegionOfDefinition, habits_.renderScale);
        }
        return view;
    }

    ClipView sourceView(const std::string &clip, const OfxRectD &region)
    {
        ClipView view = regionView(clip);
        const HostImage *image = content(clip);
        if (!image)
            return view;
        const OfxRectI wanted = intersection(grown(toPixels(region, habits_.renderScale), habits_.sourceMargin),
                                             view.regionOfDefinition);
        if (!isEmpty(wanted))
            view.image = lendSource(*image, wanted);
        return view;
    }

    // The source as the host would hand it: the image itself when it is what
    // the render asks for, otherwise a copy cut, scaled and laid out so.
    const HostImage *lendSource(const HostImage &content, const OfxRectI &bounds)
    {
        const double scale = habits_.renderScale;
        // Rows are turned only for a host that hands them top down; any
        // other host lends its images in the layout it keeps them.
        if (scale == 1.0 && sameRect(bounds, content.bounds()) &&
            (!habits_.topDown || content.layout().negativeRowBytes) && !habits_.sourceDepth)
            return &content;
        ImageLayout layout;
        layout.depth = habits_.sourceDepth ? *habits_.sourceDepth : content.layout().depth;
        layout.components = content.layout().components;
        layout.bounds = bounds;
        layout.negativeRowBytes = habits_.topDown;
        auto image = std::make_unique<HostImage>(layout);
        if (habits_.sourceDepth && *habits_.sourceDepth != content.layout().depth)
            fillPattern(*image);
        else if (scale == 1.0)
            copyPixels(content, *image, bounds);
        else
            samplePixels(content, *image, scale);
        lent_.push_back(std::move(image));
        return lent_.back().get();
    }

    // The output the render writes into: the caller's image when it is the
    // window itself, otherwise one of the host's, with a pixel of padding at
    // each row's end so that a row written too long shows.
    HostImage *outputFor(const OfxRectI &window)
    {
        const Depth depth = habits_.outputDepth ? *habits_.outputDepth : output_.layout().depth;
        if (sameRect(window, output_.bounds()) && (!habits_.topDown || output_.layout().negativeRowBytes) &&
            depth == output_.layout().depth)
            return &output_;
        ImageLayout layout;
        layout.depth = depth;
        layout.components = output_.layout().components;
        layout.bounds = habits_.oversizedOutput ? output_.bounds() : window;
        layout.negativeRowBytes = habits_.topDown;
        layout.rowPadding = bytesPerComponent(depth) * componentCount(layout.components);
        lent_.push_back(std::make_unique<HostImage>(layout));
        lent_.back()->fill(kUnwritten);
        return lent_.back().get();
    }

    Instance &instance_;
    const double time_;
    const FrameSources &sources_;
    HostImage &output_;
    const RenderHabits &habits_;
    const std::string &safety_;
    std::vector<std::unique_ptr<HostImage>> lent_;
};

// The clips say the depth of the images a wrong-depth host hands, for the
// time of one frame.
class ReportedDepths {
public:
    ReportedDepths(Instance &instance, const RenderHabits &h)
    {
        for (const auto &name : instance.object().clipOrder) {
            ClipObject *clip = instance.object().findClip(name);
            const bool output = name == kOfxImageEffectOutputClipName;
            const std::optional<Depth> &depth = output ? h.outputDepth : h.sourceDepth;
            if (depth && clip->image) {
                clip->reportDepth(*depth);
                changed_.push_back(clip);
            }
        }
    }
    ~ReportedDepths()
    {
        for (ClipObject *clip : changed_)
            clip->connect(clip->image);
    }

private:
    std::vector<ClipObject *> changed_;
};

// Runs the work for indices 0..count-1 on up to `threads` threads.
template <class Work>
void onThreads(std::size_t count, unsigned threads, Work work)
{
    std::atomic<std::size_t> next{0};
    auto loop = [&] {
        for (std::size_t i = next++; i < count; i = next++)
            work(i);
    };
    std::vector<std::thread> pool;
    for (unsigned t = 1; t < threads && t < count; ++t)
        pool.emplace_back(loop);
    loop();
    for (auto &t : pool)
        t.join();
}

unsigned hardwareThreads()
{
    return std::max(2u, std::thread::hardware_concurrency());
}

}  // namespace

FrameResult renderFrame(Instance &instance, double time, const FrameSources &sources, HostImage &output,
                        const RenderHabits &habits)
{
    const std::string safety = instance.plugin().renderThreadSafety();
    const std::vector<OfxRectI> windows =
        windowsOf(output.bounds(), habits, instance.plugin().supportsTiles(instance.context()));
    ReportedDepths depths(instance, habits);
    std::vector<FrameResult> results(windows.size());
    // Each window lends images of its own, so windows may run at once.
    auto one = [&](std::size_t i) {
        WindowRender render(instance, time, sources, output, habits, safety);
        results[i] = render.run(windows[i]);
    };
    if (safety == kOfxImageEffectRenderFullySafe)
        onThreads(windows.size(), hardwareThreads(), one);
    else
        onThreads(windows.size(), 1, one);
    std::set<std::string> fetched;
    unsigned deviceRenders = 0, imageRenders = 0;
    OfxStatus deviceRefusal = kOfxStatOK;
    for (const FrameResult &r : results) {
        fetched.insert(r.fetched.begin(), r.fetched.end());
        deviceRenders += r.deviceRenders;
        imageRenders += r.imageRenders;
        if (r.deviceRefusal != kOfxStatOK)
            deviceRefusal = r.deviceRefusal;
    }
    for (FrameResult &r : results)
        if (!r.ok() || r.wroteOnFailure) {
            r.fetched = fetched;
            r.windows = static_cast<unsigned>(windows.size());
            return r;
        }
    FrameResult whole;
    whole.window = output.bounds();
    whole.fetched = fetched;
    whole.deviceRenders = deviceRenders;
    whole.imageRenders = imageRenders;
    whole.windows = static_cast<unsigned>(windows.size());
    whole.deviceRefusal = deviceRefusal;
    return whole;
}

void renderSequence(Instance &project, std::vector<SequenceFrame> &frames, const RenderHabits &habits)
{
    auto one = [&](std::size_t i) {
        SequenceFrame &f = frames[i];
        if (!habits.shortLivedInstances) {
            f.result = renderFrame(project, f.time, f.sources, *f.output, habits);
            return;
        }
        OfxStatus status = kOfxStatOK;
        std::unique_ptr<Instance> instance = project.plugin().createInstance(project.context(), &status);
        if (!instance) {
            f.result.status = status;
            return;
        }
        instance->copySettingsFrom(project);
        f.result = renderFrame(*instance, f.time, f.sources, *f.output, habits);
        const OfxStatus destroyed = instance->destroy();
        if (f.result.status == kOfxStatOK && destroyed != kOfxStatOK && destroyed != kOfxStatReplyDefault)
            f.result.status = destroyed;
    };
    // Creating and destroying instances may not overlap other actions of a
    // plug-in, so instances that live for one frame come one after another.
    const unsigned threads = habits.shortLivedInstances ? 1u : std::max(1u, habits.framesAtOnce);
    onThreads(frames.size(), threads, one);
}

}  // namespace ofxhost
