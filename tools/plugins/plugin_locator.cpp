#include "plugin_locator.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "clean_stop.h"
#include "cli_error.h"
#include "watchdog.h"
#include "plugin_probe.h"

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
    try {
        return ofxhost::openPlugin(path, plugin.index);
    } catch (const ofxhost::HostError &e) {
        throw CliError(e.what());
    }
}
