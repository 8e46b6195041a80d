#include "entry/plugin_registry.h"

#include <deque>
#include <memory>

#include "entry/host_suites.h"

namespace OFX {

namespace {

bool registryInitialised = false;

// Every record ever handed out stays valid until the module goes: a host may
// keep a pointer across an unload. Released records are reused once two of
// a factory's wait, which bounds the memory over any number of unloads while
// a rebuilt record is never the one just released.
std::vector<std::unique_ptr<OfxPlugin>> &recordStorage()
{
    static std::vector<std::unique_ptr<OfxPlugin>> storage;
    return storage;
}

std::map<PluginFactory *, std::deque<OfxPlugin *>> &releasedRecords()
{
    static std::map<PluginFactory *, std::deque<OfxPlugin *>> released;
    return released;
}

OfxPlugin *buildPluginRecord(PluginFactory &factory)
{
    OfxPlugin *record = nullptr;
    auto &released = releasedRecords()[&factory];
    if (released.size() >= 2) {
        record = released.front();
        released.pop_front();
    } else {
        recordStorage().push_back(std::make_unique<OfxPlugin>());
        record = recordStorage().back().get();
    }
    *record = OfxPlugin{};
    record->pluginApi = kOfxImageEffectPluginApi;
    record->apiVersion = kOfxImageEffectPluginApiVersion;
    record->pluginIdentifier = factory.getIdentifier().c_str();
    record->pluginVersionMajor = factory.getVersionMajor();
    record->pluginVersionMinor = factory.getVersionMinor();
    record->setHost = setHost;
    record->mainEntry = factory.getMainEntry();
    return record;
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
    bool wasLive = false;
    for (auto &slot : pluginRecords())
        if (slot == record) {
            slot = nullptr;
            wasLive = true;
        }
    // A second unload finds the record already released.
    if (wasLive)
        releasedRecords()[entry->second.first].push_back(record);
}

}  // namespace OFX
