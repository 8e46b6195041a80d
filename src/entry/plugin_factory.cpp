#include "entry/plugin_factory.h"

namespace OFX {

std::string makeUniqueKey(const std::string &identifier, unsigned major, unsigned minor)
{
    return identifier + std::to_string(major) + std::to_string(minor);
}

}  // namespace OFX
