#include "plugin_locator.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "clean_stop.h"
#include "cli_error.h"
#include "watchdog.h"
#include "plugin_probe.h"
#include "status_text.h"

namespace fs = std::filesystem;

namespace {

const char *const kDefaultIdentifier = "com.zelvo.sectionsplit.ja";

fs::path executableDir(const char *argv0)
{
    std::error_code ec;
    fs::path self = fs::read_symlink("/proc/self/exe", ec);
    if (ec)
        self = fs::absolute(argv0, ec);
    return self.parent_path();
}

}  // namespace

std::optional<std::string> pluginBesideTool(const char *argv0)
{
    std::error_code ec;
    const fs::path dir = executableDir(argv0);
    for (const fs::path &candidate : {dir / "Zelvo.ofx.bundle", dir / "Zelvo.ofx", dir / "../Zelvo.ofx.bundle"})
        if (fs::exists(candidate, ec))
            return candidate.lexically_normal().string();
    return std::nullopt;
}

PluginRef locatePlugin(const std::string &plugin, const char *argv0)
{
    std::error_code ec;
    if (!plugin.empty() && fs::exists(plugin, ec))
        return {plugin, 0};
    if (plugin.empty())
        if (auto beside = pluginBesideTool(argv0))
            return {*beside, 0};
    const std::string wanted = plugin.empty() ? kDefaultIdentifier : plugin;
    int skipped = 0;
    for (const std::string &binary : ofxhost::discoverPluginBinaries()) {
        const ProbeResult probe = probePlugin(binary);
        skipped += probe.problem.empty() ? 0 : 1;
        for (const ProbedRecord &record : probe.records)
            if (record.identifier == wanted)
                return {binary, record.index};
    }
    throw CliError("plug-in not found: " + wanted + " (not a path, and not on OFX_PLUGIN_PATH or /usr/OFX/Plugins" +
                   (skipped ? "; " + std::to_string(skipped) + " unreadable binaries skipped: see zelvo plugins)"
                            : std::string(")")));
}

int loadSeconds()
{
    const char *text = std::getenv("ZELVO_LOAD_SECONDS");
    const long long seconds = text ? std::atoll(text) : 0;
    return seconds >= 1 && seconds <= 86400 ? static_cast<int>(seconds) : 60;
}

LoadedPlugin loadPlugin(const PluginRef &plugin)
{
    const std::string &path = plugin.path;
    cleanstop::setActivity("while loading the plug-in " + path);
    const int seconds = loadSeconds();
    const Watchdog watchdog(seconds, "zelvo: the plug-in " + path + " did not finish loading within " +
                                         std::to_string(seconds) + " s");
    LoadedPlugin loaded;
    try {
        loaded.binary = std::make_unique<ofxhost::PluginBinary>(path);
    } catch (const ofxhost::HostError &e) {
        throw CliError(e.what());
    }
    OfxPlugin *record = loaded.binary->count() > plugin.index ? loaded.binary->plugin(plugin.index) : nullptr;
    if (!record)
        throw CliError("no image-effect plug-in " + std::to_string(plugin.index) + " in " + path);
    loaded.plugin = std::make_unique<ofxhost::Plugin>(record);
    OfxStatus status = loaded.plugin->load();
    if (status != kOfxStatOK && status != kOfxStatReplyDefault)
        throw CliError("the plug-in refused to load: " + statusText(status));
    status = loaded.plugin->describe();
    if (status != kOfxStatOK && status != kOfxStatReplyDefault)
        throw CliError("the plug-in failed to describe itself: " + statusText(status));
    const auto contexts = loaded.plugin->info("").contexts;
    loaded.context = "OfxImageEffectContextFilter";
    bool hasFilter = false;
    for (const auto &c : contexts)
        hasFilter = hasFilter || c == loaded.context;
    if (!hasFilter && !contexts.empty())
        loaded.context = contexts.front();
    status = loaded.plugin->describeInContext(loaded.context);
    if (status != kOfxStatOK && status != kOfxStatReplyDefault)
        throw CliError("the plug-in failed to describe itself in " + loaded.context + ": " + statusText(status));
    return loaded;
}
