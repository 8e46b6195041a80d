#pragma once

// The descriptors made by the describe actions, kept per plug-in (unique
// key) and context until the plug-in is unloaded. Written only by the
// describe and unload actions; read by instance actions.

#include <map>
#include <memory>
#include <string>

#include "describe/image_effect_descriptor.h"
#include "property/enums.h"

namespace OFX {

using ContextDescriptors = std::map<ContextEnum, std::unique_ptr<ImageEffectDescriptor>>;

std::map<std::string, ContextDescriptors> &effectDescriptors();

// Files a descriptor, destroying the one it replaces.
void storeDescriptor(const std::string &uniqueKey, ContextEnum context,
                     std::unique_ptr<ImageEffectDescriptor> descriptor);
// The descriptor of that key and context; an absent pair is entered empty
// and gives null.
ImageEffectDescriptor *findDescriptor(const std::string &uniqueKey, ContextEnum context);

}  // namespace OFX
