#include <algorithm>
#include <iostream>
#include <sstream>

#include "commands.h"
#include "plugin_locator.h"

namespace {

std::string joined(const std::vector<double> &values)
{
    std::ostringstream s;
    for (std::size_t i = 0; i < values.size(); ++i)
        s << (i ? ", " : "") << values[i];
    return s.str();
}

std::string joined(const std::vector<std::string> &values)
{
    std::string s;
    for (const auto &v : values)
        s += (s.empty() ? "" : ", ") + v;
    return s;
}

const char *shortType(const std::string &type)
{
    const std::string prefix = "OfxParamType";
    return type.compare(0, prefix.size(), prefix) == 0 ? type.c_str() + prefix.size() : type.c_str();
}

void printParam(const ofxhost::ParamInfo &p)
{
    std::cout << "  " << p.name << " (" << shortType(p.type) << ")\n";
    std::cout << "    label: " << p.label << "\n";
    if (!p.hint.empty())
        std::cout << "    hint: " << p.hint << "\n";
    if (!p.defaults.empty())
        std::cout << "    default: " << joined(p.defaults) << "\n";
    if (!p.min.empty() && !p.max.empty())
        std::cout << "    range: " << joined(p.min) << " .. " << joined(p.max) << "\n";
    if (!p.displayMin.empty() && !p.displayMax.empty())
        std::cout << "    display range: " << joined(p.displayMin) << " .. " << joined(p.displayMax) << "\n";
    if (p.type != "OfxParamTypePage" && p.type != "OfxParamTypeGroup")
        std::cout << "    animates: " << (p.animates ? "yes" : "no") << "\n";
}

}  // namespace

int describeCommand(const std::string &pluginArg, const char *argv0)
{
    const PluginRef located = locatePlugin(pluginArg, argv0);
    LoadedPlugin loaded = loadPlugin(located);
    const ofxhost::EffectInfo info = loaded.plugin->info(loaded.context);
    std::cout << "plug-in: " << loaded.plugin->identifier() << " " << loaded.plugin->versionMajor() << "."
              << loaded.plugin->versionMinor() << "\n";
    std::cout << "binary: " << loaded.binary->path() << "\n";
    std::cout << "label: " << info.label << "\n";
    std::cout << "grouping: " << info.grouping << "\n";
    std::cout << "description: " << info.description << "\n";
    std::cout << "contexts: " << joined(info.contexts) << "\n";
    std::cout << "pixel depths: " << joined(info.depths) << "\n";
    std::cout << "rendering:\n";
    std::cout << "  OfxImageEffectPropSupportsTiles: " << (info.supportsTiles ? 1 : 0) << "\n";
    std::cout << "  OfxImageEffectPluginRenderThreadSafety: " << info.renderThreadSafety << "\n";
    for (const auto &gpu : info.gpuSupport)
        std::cout << "  " << gpu.first << ": " << (gpu.second.empty() ? "(not set)" : gpu.second) << "\n";
    std::cout << "clips:\n";
    for (const auto &c : info.clips)
        std::cout << "  " << c.name << ": " << joined(c.components) << (c.optional ? " (optional)" : "") << "\n";

    // Parameters in the order of their page, then any not on a page.
    std::cout << "parameters:\n";
    std::vector<std::string> shown;
    for (const auto &page : info.params) {
        if (page.type != "OfxParamTypePage")
            continue;
        std::cout << " page " << page.name << ":\n";
        for (const auto &child : page.pageChildren)
            if (const auto *p = info.param(child)) {
                printParam(*p);
                shown.push_back(child);
            }
    }
    for (const auto &p : info.params)
        if (p.type != "OfxParamTypePage" && std::find(shown.begin(), shown.end(), p.name) == shown.end())
            printParam(p);
    return 0;
}
