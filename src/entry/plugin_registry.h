#pragma once

// The process-wide registry of plug-in factories and the OfxPlugin records
// handed to the host. Built on the first call of either exported function;
// never locked (the host asks for plug-ins before it sends actions).

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "entry/plugin_factory.h"
#include "ofx/ofx_core.h"

namespace OFX {

std::vector<PluginFactory *> &factoryList();
std::vector<OfxPlugin *> &pluginRecords();
std::map<std::string, std::pair<PluginFactory *, OfxPlugin *>> &pluginRegistry();

// Provided by the effect module: appends its factories to factoryList().
void registerFactories();

void initialiseRegistry();
int getNumberOfPlugins();
// Null for an index outside 0..count-1.
OfxPlugin *getPlugin(int nth);
// The record's setHost: only stores the host record.
void setHost(OfxHost *host);
// Takes a record out of service at unload. Its memory stays valid until the
// module itself goes, for hosts that kept the pointer.
void releasePluginRecord(const std::string &uniqueKey);

}  // namespace OFX
