#include "entry/plugin_registry.h"

#include <memory>

#include "entry/host_suites.h"

namespace OFX {

namespace {

bool registryInitialised = false;

// Released records: kept alive for the life of the module.
std::vector<std::unique_ptr<OfxPlugin>> &retiredRecords()
{
    static std::vector<std::unique_ptr<OfxPlugin>> retired;
    return retired;
}

std::vector<std::unique_ptr<OfxPlugin>> &liveRecords()
{
    static std::vector<std::unique_ptr<OfxPlugin>> live;
    return live;
}

OfxPlugin *buildPluginRecord(PluginFactory &factory)
{
    auto record = std::make_unique<OfxPlugin>();
    record->pluginApi = kOfxImageEffectPluginApi;
    record->apiVersion = kOfxImageEffectPluginApiVersion;
    record->pluginIdentifier = factory.getIdentifier().c_str();
    record->pluginVersionMajor = factory.getVersionMajor();
    record->pluginVersionMinor = factory.getVersionMinor();
    record->setHost = setHost;
    record->mainEntry = factory.getMainEntry();
    liveRecords().push_back(std::move(record));
    return liveRecords().back().get();
}

}  // namespace

std::vector<PluginFactory *> &factoryList()
{
    static std::vector<PluginFactory *> list;
    return list;
}

std::vector<OfxPlugin *> &pluginRecords()
{
    static std::vector<OfxPlugin *> records;
    return records;
}

std::map<std::string, std::pair<PluginFactory *, OfxPlugin *>> &pluginRegistry()
{
    static std::map<std::string, std::pair<PluginFactory *, OfxPlugin *>> registry;
    return registry;
}

void initialiseRegistry()
{
    if (registryInitialised)
        return;
    registerFactories();
    if (pluginRecords().empty())
        pluginRecords().assign(factoryList().size(), nullptr);
    for (std::size_t i = 0; i < factoryList().size(); ++i) {
        PluginFactory *factory = factoryList()[i];
        OfxPlugin *record = buildPluginRecord(*factory);
        pluginRegistry()[factory->getUniqueKey()] = {factory, record};
        pluginRecords()[i] = record;
    }
    registryInitialised = true;
}

int getNumberOfPlugins()
{
    initialiseRegistry();
    return static_cast<int>(factoryList().size());
}

OfxPlugin *getPlugin(int nth)
{
    initialiseRegistry();
    if (nth < 0 || static_cast<std::size_t>(nth) >= factoryList().size() ||
        static_cast<std::size_t>(nth) >= pluginRecords().size())
        return nullptr;
    if (!pluginRecords()[nth]) {
        PluginFactory *factory = factoryList()[nth];
        OfxPlugin *record = buildPluginRecord(*factory);
        pluginRegistry()[factory->getUniqueKey()] = {factory, record};
        pluginRecords()[nth] = record;
    }
    return pluginRecords()[nth];
}

void setHost(OfxHost *host)
{
    hostSuites().hostPointer = host;
}

void releasePluginRecord(const std::string &uniqueKey)
{
    auto entry = pluginRegistry().find(uniqueKey);
    if (entry == pluginRegistry().end() || !entry->second.second)
        return;
    OfxPlugin *record = entry->second.second;
    for (auto &slot : pluginRecords())
        if (slot == record)
            slot = nullptr;
    auto &live = liveRecords();
    for (auto it = live.begin(); it != live.end(); ++it) {
        if (it->get() == record) {
            retiredRecords().push_back(std::move(*it));
            live.erase(it);
            break;
        }
    }
}

}  // namespace OFX
