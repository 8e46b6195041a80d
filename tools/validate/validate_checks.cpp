#include "validate_checks.h"

#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>

#include "faults.h"
#include "ofx/ofx_names.h"
#include "platform.h"
#include "suites/host.h"
#include "validate_session.h"

using namespace ofxhost;

namespace {

const OfxRectI kFrame{-13, 7, 51, 40};  // away from the origin, odd sizes

// Load and unload may be left untrapped: the host then does its default.
bool trapped(OfxStatus s)
{
    return s == kOfxStatOK || s == kOfxStatReplyDefault;
}

ImageLayout layoutFor(Depth depth, bool negativeRows = false, bool guardAtStart = false)
{
    ImageLayout l;
    l.depth = depth;
    l.bounds = kFrame;
    l.negativeRowBytes = negativeRows;
    l.guardAtStart = guardAtStart;
    return l;
}

void requireNoImagesOut(const std::string &when)
{
    require(Host::instance().imagesOut.load() == 0, "images not released to the host after " + when);
}

void checkExports(const PluginRef &plugin, unsigned)
{
    const std::string &path = plugin.path;
    std::string why;
    void *library = platform::openLibrary(resolveBinaryPath(path), why);
    if (!library)
        throw CheckFailure("does not load with all symbols resolved: " + why);
    const bool entries = platform::librarySymbol(library, "OfxGetNumberOfPlugins") &&
                         platform::librarySymbol(library, "OfxGetPlugin");
    platform::closeLibrary(library);
    require(entries, "missing OfxGetNumberOfPlugins or OfxGetPlugin");
}

void checkRecords(const PluginRef &plugin, unsigned)
{
    const std::string &path = plugin.path;
    PluginBinary binary(path);
    const int n = binary.count();
    require(n >= 1, "OfxGetNumberOfPlugins answered " + std::to_string(n));
    require(binary.count() == n, "the plug-in count changes between calls");
    for (int i = 0; i < n; ++i) {
        OfxPlugin *p = binary.rawPlugin(i);
        require(p != nullptr, "no record for plug-in " + std::to_string(i));
        require(p->pluginApi && p->pluginIdentifier && p->setHost && p->mainEntry,
                "record " + std::to_string(i) + " has null members");
        require(std::strchr(p->pluginIdentifier, ' ') == nullptr, "identifier contains white space");
        require(binary.rawPlugin(i) == p, "a second OfxGetPlugin returns another record");
    }
    require(binary.rawPlugin(n) == nullptr && binary.rawPlugin(-1) == nullptr,
            "an out-of-range index returns a record");
}

void checkLoadTime(const PluginRef &path, unsigned)
{
    const auto start = std::chrono::steady_clock::now();
    ValidateSession session(path);
    session.prepare();
    const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    require(ms < 100.0, "load and describe took " + std::to_string(ms) + " ms");
}

void checkCycles(const PluginRef &plugin, unsigned)
{
    PluginBinary binary(plugin.path);
    for (int cycle = 0; cycle < 20; ++cycle) {
        Plugin cycled(binary.plugin(plugin.index));
        require(trapped(cycled.load()), "load failed in cycle " + std::to_string(cycle));
        require(cycled.describe() == kOfxStatOK, "describe failed in cycle " + std::to_string(cycle));
        require(trapped(cycled.unload()), "unload failed in cycle " + std::to_string(cycle));
    }
}

void checkContexts(const PluginRef &path, unsigned)
{
    ValidateSession session(path);
    session.prepare();
    for (const auto &context : session.plugin().info("").contexts) {
        const OfxStatus s = session.plugin().describeInContext(context);
        require(s == kOfxStatOK, "describe in " + context + " answered " + statusName(s));
        auto instance = session.plugin().createInstance(context);
        require(instance != nullptr, "no instance in context " + context);
    }
}

void checkMisuse(const PluginRef &path, unsigned)
{
    ValidateSession session(path);
    Plugin &plugin = session.plugin();
    require(trapped(plugin.load()), "load failed");
    require(trapped(plugin.load()), "a second load failed");
    session.prepare();
    EffectObject stranger(true, session.context());
    PropertyStore in("inArgs");
    in.defineDouble(kOfxPropTime, {0.0});
    in.defineDouble(kOfxImageEffectPropRenderScale, {1.0, 1.0});
    in.defineInt(kOfxImageEffectPropRenderWindow, {0, 0, 4, 4});
    in.defineString(kOfxImageEffectPropFieldToRender, {kOfxImageFieldNone});
    OfxStatus s = plugin.action(kOfxImageEffectActionRender, &stranger, &in, nullptr);
    require(s != kOfxStatOK, "render before create answered kOfxStatOK");
    s = plugin.action(kOfxImageEffectActionRender, nullptr, nullptr, nullptr);
    require(s != kOfxStatOK, "render with null handles answered kOfxStatOK");
    for (const char *action : {"OfxActionNonsense", "", "OfxActionLoadX", "ofxactionload"}) {
        s = plugin.action(action, nullptr, nullptr, nullptr);
        require(s == kOfxStatReplyDefault || s >= kOfxStatFailed, std::string("unknown action ") + action +
                                                                       " answered " + statusName(s));
    }
    s = plugin.action(nullptr, nullptr, nullptr, nullptr);
    require(s == kOfxStatReplyDefault, "a null action answered " + statusName(s));
    s = plugin.action(kOfxActionDestroyInstance, &stranger, nullptr, nullptr);
    require(s == kOfxStatOK || s == kOfxStatReplyDefault || s == kOfxStatErrBadHandle,
            "destroying an unknown instance answered " + statusName(s));
    require(trapped(plugin.unload()) && trapped(plugin.unload()), "unload failed");
}

// Renders every declared depth with random in-range parameters, twice each,
// and requires success, identical bytes and untouched pixels outside the window.
void checkRandomRenders(const PluginRef &path, unsigned seed)
{
    ValidateSession session(path);
    session.prepare();
    std::mt19937 rng(seed);
    auto instance = session.createInstance();
    require(!session.depths().empty(), "no RGBA depth declared");
    for (Depth depth : session.depths()) {
        for (int trial = 0; trial < 50; ++trial) {
            session.randomParams(*instance, rng);
            auto frame = session.makeFrame(layoutFor(depth, trial % 2 == 1, trial % 3 == 0), rng);
            session.connect(*instance, frame);
            OfxRectI window = kFrame;
            if (trial % 4 == 3)
                window = {kFrame.x1 + 3, kFrame.y1 + 2, kFrame.x2 - 5, kFrame.y2 - 1};
            OfxStatus s = instance->render(trial, window);
            require(s == kOfxStatOK, "render " + std::to_string(trial) + " at depth " + depthText(depth) +
                                         " answered " + statusName(s));
            require(untouchedOutside(*frame.output, window, 0xAB),
                    "pixels outside the render window were written (trial " + std::to_string(trial) + ")");
            HostImage first(frame.output->layout());
            std::memcpy(first.pixel(kFrame.x1, frame.output->layout().negativeRowBytes ? kFrame.y2 - 1 : kFrame.y1),
                        frame.output->pixel(kFrame.x1,
                                            frame.output->layout().negativeRowBytes ? kFrame.y2 - 1 : kFrame.y1),
                        first.byteSize());
            frame.output->fill(0xAB);
            s = instance->render(trial, window);
            require(s == kOfxStatOK && sameBytes(first, *frame.output),
                    "the same render twice gave different bytes (trial " + std::to_string(trial) + ")");
            requireNoImagesOut("a render");
        }
    }
}

void checkHostileValues(const PluginRef &path, unsigned seed)
{
    ValidateSession session(path);
    session.prepare();
    std::mt19937 rng(seed);
    auto instance = session.createInstance();
    for (Depth depth : session.depths()) {
        for (int trial = 0; trial < 30; ++trial) {
            session.hostileParams(*instance, rng);
            auto frame = session.makeFrame(layoutFor(depth), rng);
            session.connect(*instance, frame);
            const OfxRectI window = {kFrame.x1 + 1, kFrame.y1 + 1, kFrame.x2 - 1, kFrame.y2 - 1};
            instance->render(0, window);  // any status, but no harm
            require(untouchedOutside(*frame.output, window, 0xAB), "hostile values wrote outside the window");
            requireNoImagesOut("a render with hostile values");
        }
    }
}

// The awkward host: one quirk at a time, with a render each.
void checkQuirkyHost(const PluginRef &path, unsigned seed)
{
    struct Quirk {
        const char *name;
        std::function<void()> apply;
        bool mayRefuseLoad;
    };
    const std::vector<Quirk> quirks = {
        {"no message suite v2", [] { Host::instance().quirks().disabledSuites.insert({"OfxMessageSuite", 2}); }, false},
        {"no progress suite", [] { Host::instance().quirks().disabledSuites.insert({"OfxProgressSuite", 1}); }, false},
        {"no time-line suite", [] { Host::instance().quirks().disabledSuites.insert({"OfxTimeLineSuite", 1}); }, false},
        {"unknown host property",
         [] { Faults::instance().addPropertyFault({"host", "OfxParamHostPropMaxPages", kOfxStatErrUnknown}); }, true},
        {"no render quality", [] { Host::instance().quirks().omitRenderQuality = true; }, false},
        {"odd field text", [] { Host::instance().quirks().fieldToRender = "OfxFieldSideways"; }, false},
        {"fewer threads", [] { Host::instance().quirks().maxThreadsRun = 1; Host::instance().quirks().reportedCpus = 8; }, false},
        {"zero cpus", [] { Host::instance().quirks().reportedCpus = 0; }, false},
        {"abort requested", [] { Host::instance().quirks().abortAnswer = true; }, false},
        {"images without identifier", [] { Host::instance().quirks().omitUniqueIdentifier = true; }, false},
    };
    std::mt19937 rng(seed);
    for (const Quirk &q : quirks) {
        Host::instance().reset();
        Faults::instance().reset();
        q.apply();
        ValidateSession session(path);
        const OfxStatus loaded = session.plugin().load();
        if (q.mayRefuseLoad && !trapped(loaded)) {
            session.plugin().unload();
            continue;
        }
        require(trapped(loaded), std::string(q.name) + ": load answered " + statusName(loaded));
        session.prepare();
        auto instance = session.createInstance();
        for (Depth depth : session.depths()) {
            session.randomParams(*instance, rng);
            auto frame = session.makeFrame(layoutFor(depth, true), rng);
            session.connect(*instance, frame);
            const OfxRectI window = {kFrame.x1 + 2, kFrame.y1, kFrame.x2, kFrame.y2 - 3};
            instance->render(1, window);
            require(untouchedOutside(*frame.output, window, 0xAB),
                    std::string(q.name) + ": pixels outside the window were written");
            requireNoImagesOut(q.name);
        }
    }
}

void checkConcurrentInstances(const PluginRef &path, unsigned seed)
{
    ValidateSession session(path);
    session.prepare();
    Host::instance().quirks().reportedCpus = 2;
    const int n = 4;
    std::vector<std::unique_ptr<Instance>> instances;
    std::vector<ValidateSession::Frame> frames;
    std::mt19937 rng(seed);
    const Depth depth = session.depths().empty() ? Depth::Byte : session.depths().back();
    for (int i = 0; i < n; ++i) {
        instances.push_back(session.createInstance());
        session.randomParams(*instances.back(), rng);
        frames.push_back(session.makeFrame(layoutFor(depth), rng));
        session.connect(*instances.back(), frames.back());
    }
    std::vector<std::unique_ptr<HostImage>> expected;
    for (int i = 0; i < n; ++i) {
        require(instances[i]->render(0, kFrame) == kOfxStatOK, "a single render failed");
        expected.push_back(std::make_unique<HostImage>(frames[i].output->layout()));
        std::memcpy(expected.back()->data(), frames[i].output->data(), frames[i].output->byteSize());
        frames[i].output->fill(0xAB);
    }
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int i = 0; i < n; ++i)
        threads.emplace_back([&, i] {
            for (int round = 0; round < 5; ++round)
                if (instances[i]->render(0, kFrame) != kOfxStatOK)
                    ++failures;
        });
    for (auto &t : threads)
        t.join();
    require(failures.load() == 0, "renders failed when instances ran at the same time");
    for (int i = 0; i < n; ++i)
        require(sameBytes(*expected[i], *frames[i].output), "concurrent renders gave other bytes than single ones");
}

}  // namespace

const std::vector<ValidateCheck> &validateChecks()
{
    static const std::vector<ValidateCheck> checks = [] {
        std::vector<ValidateCheck> all = {
            {"binary.loads-with-all-symbols", checkExports},
            {"binary.records", checkRecords},
            {"load.time", checkLoadTime},
            {"load.cycles", checkCycles},
            {"describe.contexts", checkContexts},
            {"actions.misuse", checkMisuse},
            {"render.random-parameters", checkRandomRenders},
            {"render.hostile-values", checkHostileValues},
            {"host.quirks", checkQuirkyHost},
            {"threads.concurrent-instances", checkConcurrentInstances},
        };
        for (ValidateCheck &check : hostProfileChecks())
            all.push_back(std::move(check));
        return all;
    }();
    return checks;
}
