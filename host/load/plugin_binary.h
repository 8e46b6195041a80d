#pragma once

// Opening plug-in binaries as a host does: a `.ofx` file or a standard bundle
// directory, loaded with local symbols, and discovery on the search path.

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "ofx/ofx_core.h"

namespace ofxhost {

class HostError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class PluginBinary {
public:
    // Opens a binary or a bundle (X.ofx.bundle/Contents/Linux-x86-64/X.ofx,
    // or Contents/Win64 on Windows).
    // Throws HostError with a clear message for a missing file, a library that
    // fails to load (with the loader's text) or a missing entry point.
    explicit PluginBinary(const std::string &path);
    ~PluginBinary();
    PluginBinary(const PluginBinary &) = delete;
    PluginBinary &operator=(const PluginBinary &) = delete;

    const std::string &path() const { return path_; }
    int count() const;
    // The nth record, checked: null when out of range or not an image effect
    // of API version 1.
    OfxPlugin *plugin(int nth) const;
    // The nth record as returned, unchecked.
    OfxPlugin *rawPlugin(int nth) const;
    void *symbol(const char *name) const;

private:
    std::string path_;
    void *library_ = nullptr;
    int (*getNumber_)() = nullptr;
    OfxPlugin *(*getPlugin_)(int) = nullptr;
};

// A binary may declare at most this many plug-ins.
constexpr int kMaxRecords = 1000;

// What a binary declares at each index of OfxGetPlugin, as returned.
struct DeclaredRecord {
    bool present = false;  // a record with an identifier
    std::string identifier;
    unsigned versionMajor = 0, versionMinor = 0;
};
// Throws HostError for a binary that declares no plug-ins or more than
// kMaxRecords. Someone else's binary: call it where a crash is contained.
std::vector<DeclaredRecord> declaredRecords(const PluginBinary &binary);

// The binary inside a bundle directory, or the path itself for a file.
std::string resolveBinaryPath(const std::string &path);

// Every plug-in binary on OFX_PLUGIN_PATH (colon-separated, in order) and
// then /usr/OFX/Plugins, searched recursively; names starting with '@' are
// skipped. Every folder is searched once, however many links lead to it;
// the folders passed over are noted in `skipped` when given.
std::vector<std::string> discoverPluginBinaries(std::vector<std::string> *skipped = nullptr);
std::vector<std::string> searchDirectories();

}  // namespace ofxhost
