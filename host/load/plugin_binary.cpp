#include "load/plugin_binary.h"


#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <set>
#include <utility>

#include "ofx/ofx_core.h"
#include "platform.h"

namespace fs = std::filesystem;

namespace ofxhost {

namespace {

bool endsWith(const std::string &s, const std::string &suffix)
{
    return s.size() >= suffix.size() && s.compare(s.size() - suffix.size(), suffix.size(), suffix) == 0;
}

struct Scan {
    std::vector<std::string> &binaries;
    std::vector<std::string> *skipped;
    std::set<std::string> visited;  // every folder once: symbolic links may loop
};

void scan(const fs::path &dir, Scan &state, int depth)
{
    std::error_code ec;
    if (depth > 64 || !fs::is_directory(dir, ec))
        return;
    if (!state.visited.insert(platform::folderIdentity(dir.string())).second) {
        if (state.skipped && depth > 0)
            state.skipped->push_back(dir.string() + ": a link to a folder already searched (a loop?)");
        return;
    }
    std::vector<fs::path> entries;
    for (const auto &entry : fs::directory_iterator(dir, ec))
        entries.push_back(entry.path());
    std::sort(entries.begin(), entries.end());
    for (const auto &p : entries) {
        const std::string name = p.filename().string();
        if (!name.empty() && name[0] == '@')
            continue;
        if (endsWith(name, ".ofx.bundle") && fs::is_directory(p, ec)) {
            std::string binary = resolveBinaryPath(p.string());
            if (fs::is_regular_file(binary, ec))
                state.binaries.push_back(binary);
            continue;
        }
        if (fs::is_directory(p, ec))
            scan(p, state, depth + 1);
        else if (endsWith(name, ".ofx"))
            state.binaries.push_back(p.string());
    }
}

}  // namespace

std::string resolveBinaryPath(const std::string &path)
{
    std::error_code ec;
    fs::path p(path);
    if (!fs::is_directory(p, ec))
        return path;
    std::string base = p.filename().string();
    if (base.empty())
        base = p.parent_path().filename().string();
    if (endsWith(base, ".bundle"))
        base = base.substr(0, base.size() - 7);
    return (p / "Contents" / platform::bundleArchitecture() / base).string();
}

std::vector<std::string> searchDirectories()
{
    std::vector<std::string> dirs;
    if (const char *env = std::getenv("OFX_PLUGIN_PATH")) {
        std::string all = env;
        std::size_t start = 0;
        while (start <= all.size()) {
            std::size_t end = all.find(platform::pluginPathSeparator(), start);
            if (end == std::string::npos)
                end = all.size();
            if (end > start)
                dirs.push_back(all.substr(start, end - start));
            start = end + 1;
        }
    }
    dirs.push_back(platform::systemPluginFolder());
    return dirs;
}

std::vector<std::string> discoverPluginBinaries(std::vector<std::string> *skipped)
{
    std::vector<std::string> out;
    Scan state{out, skipped, {}};
    for (const auto &dir : searchDirectories())
        scan(dir, state, 0);
    return out;
}

PluginBinary::PluginBinary(const std::string &path) : path_(resolveBinaryPath(path))
{
    std::error_code ec;
    if (!fs::exists(path_, ec))
        throw HostError("plug-in not found: " + path_);
    std::string why;
    library_ = platform::openLibrary(path_, why);
    if (!library_)
        throw HostError("cannot load plug-in " + path_ + ": " + why);
    getNumber_ = reinterpret_cast<int (*)()>(platform::librarySymbol(library_, "OfxGetNumberOfPlugins"));
    getPlugin_ = reinterpret_cast<OfxPlugin *(*)(int)>(platform::librarySymbol(library_, "OfxGetPlugin"));
    if (!getNumber_ || !getPlugin_) {
        platform::closeLibrary(library_);
        library_ = nullptr;
        throw HostError("not an OFX plug-in (missing " +
                        std::string(getNumber_ ? "OfxGetPlugin" : "OfxGetNumberOfPlugins") + "): " + path_);
    }
}

PluginBinary::~PluginBinary()
{
    if (library_)
        platform::closeLibrary(library_);
}

int PluginBinary::count() const
{
    return getNumber_();
}

OfxPlugin *PluginBinary::rawPlugin(int nth) const
{
    return getPlugin_(nth);
}

std::vector<DeclaredRecord> declaredRecords(const PluginBinary &binary)
{
    const int count = binary.count();
    if (count < 0 || count > kMaxRecords)
        throw HostError("declares " + std::to_string(count) + " plug-ins (at most " + std::to_string(kMaxRecords) +
                        " are believed)");
    if (count == 0)
        throw HostError("declares no plug-ins");
    std::vector<DeclaredRecord> records(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i)
        if (const OfxPlugin *p = binary.rawPlugin(i); p && p->pluginIdentifier)
            records[i] = {true, p->pluginIdentifier, p->pluginVersionMajor, p->pluginVersionMinor};
    return records;
}

OfxPlugin *PluginBinary::plugin(int nth) const
{
    if (nth < 0 || nth >= count())
        return nullptr;
    OfxPlugin *p = getPlugin_(nth);
    if (!p || !p->pluginApi || std::strcmp(p->pluginApi, kOfxImageEffectPluginApi) != 0 ||
        p->apiVersion != kOfxImageEffectPluginApiVersion || !p->mainEntry || !p->setHost)
        return nullptr;
    return p;
}

void *PluginBinary::symbol(const char *name) const
{
    return platform::librarySymbol(library_, name);
}

}  // namespace ofxhost
