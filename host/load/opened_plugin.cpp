#include "load/opened_plugin.h"

#include "status_text.h"

namespace ofxhost {

namespace {

bool accepted(OfxStatus status)
{
    return status == kOfxStatOK || status == kOfxStatReplyDefault;
}

}  // namespace

OpenedPlugin openPlugin(const std::string &path, int index)
{
    OpenedPlugin opened;
    opened.binary = std::make_unique<PluginBinary>(path);
    OfxPlugin *record = opened.binary->count() > index ? opened.binary->plugin(index) : nullptr;
    if (!record)
        throw HostError("no image-effect plug-in " + std::to_string(index) + " in " + path);
    opened.plugin = std::make_unique<Plugin>(record);
    OfxStatus status = opened.plugin->load();
    if (!accepted(status))
        throw HostError("the plug-in refused to load: " + statusText(status));
    status = opened.plugin->describe();
    if (!accepted(status))
        throw HostError("the plug-in failed to describe itself: " + statusText(status));
    const auto contexts = opened.plugin->info("").contexts;
    opened.context = "OfxImageEffectContextFilter";
    bool hasFilter = false;
    for (const auto &c : contexts)
        hasFilter = hasFilter || c == opened.context;
    if (!hasFilter && !contexts.empty())
        opened.context = contexts.front();
    status = opened.plugin->describeInContext(opened.context);
    if (!accepted(status))
        throw HostError("the plug-in failed to describe itself in " + opened.context + ": " + statusText(status));
    return opened;
}

}  // namespace ofxhost
