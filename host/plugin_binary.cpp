#include "plugin_binary.h"

#include <dlfcn.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <set>
#include <utility>

#include "ofx/ofx_core.h"

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
    std::set<std::pair<dev_t, ino_t>> visited;  // every folder once: symbolic links may loop
};

void scan(const fs::path &dir, Scan &state, int depth)
{
    struct stat st;
    if (depth > 64 || stat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        return;
    if (!state.visited.insert({st.st_dev, st.st_ino}).second) {
        if (state.skipped && depth > 0)
            state.skipped->push_back(dir.string() + ": a link to a folder already searched (a loop?)");
        return;
    }
    std::error_code ec;
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
    return (p / "Contents" / "Linux-x86-64" / base).string();
}

std::vector<std::string> searchDirectories()
{
    std::vector<std::string> dirs;
    if (const char *env = std::getenv("OFX_PLUGIN_PATH")) {
        std::string all = env;
        std::size_t start = 0;
        while (start <= all.size()) {
            std::size_t end = all.find(':', start);
            if (end == std::string::npos)
                end = all.size();
            if (end > start)
                dirs.push_back(all.substr(start, end - start));
            start = end + 1;
        }
    }
    dirs.push_back("/usr/OFX/Plugins");
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

PluginBinary::PluginBinary(const std::string &path, bool resolveNow) : path_(resolveBinaryPath(path))
{
    struct stat st;
    if (stat(path_.c_str(), &st) != 0)
        throw HostError("plug-in not found: " + path_);
    dlerror();
    library_ = dlopen(path_.c_str(), (resolveNow ? RTLD_NOW : RTLD_LAZY) | RTLD_LOCAL);
    if (!library_) {
        const char *why = dlerror();
        throw HostError("cannot load plug-in " + path_ + ": " + (why ? why : "unknown error"));
    }
    getNumber_ = reinterpret_cast<int (*)()>(dlsym(library_, "OfxGetNumberOfPlugins"));
    getPlugin_ = reinterpret_cast<OfxPlugin *(*)(int)>(dlsym(library_, "OfxGetPlugin"));
    if (!getNumber_ || !getPlugin_) {
        dlclose(library_);
        library_ = nullptr;
        throw HostError("not an OFX plug-in (missing " +
                        std::string(getNumber_ ? "OfxGetPlugin" : "OfxGetNumberOfPlugins") + "): " + path_);
    }
}

PluginBinary::~PluginBinary()
{
    if (library_)
        dlclose(library_);
}

int PluginBinary::count() const
{
    return getNumber_();
}

OfxPlugin *PluginBinary::rawPlugin(int nth) const
{
    return getPlugin_(nth);
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
    return dlsym(library_, name);
}

}  // namespace ofxhost
