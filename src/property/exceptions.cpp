#include "property/exceptions.h"

#include "entry/status_names.h"

namespace OFX {
namespace Exception {

const char *Suite::what() const noexcept
{
    return statusName(status_);
}

}  // namespace Exception
}  // namespace OFX
