#include "entry/effect_descriptors.h"

namespace OFX {

std::map<std::string, ContextDescriptors> &effectDescriptors()
{
    static std::map<std::string, ContextDescriptors> descriptors;
    return descriptors;
}

void storeDescriptor(const std::string &uniqueKey, ContextEnum context,
                     std::unique_ptr<ImageEffectDescriptor> descriptor)
{
    effectDescriptors()[uniqueKey][context] = std::move(descriptor);
}

ImageEffectDescriptor *findDescriptor(const std::string &uniqueKey, ContextEnum context)
{
    return effectDescriptors()[uniqueKey][context].get();
}

}  // namespace OFX
