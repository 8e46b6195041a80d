#include "property/raise_status.h"

#include <new>

#include "entry/console.h"
#include "property/exceptions.h"
#include "property/property_set.h"

namespace OFX {

namespace {

bool passes(OfxStatus status)
{
    return status == kOfxStatOK || status == kOfxStatReplyYes || status == kOfxStatReplyNo ||
           status == kOfxStatReplyDefault;
}

}  // namespace

void raiseStatus(OfxStatus status)
{
    if (passes(status))
        return;
    if (status == kOfxStatErrMemory)
        throw std::bad_alloc();
    consoleMessage("Threw suite exception!");
    throw Exception::Suite(status);
}

void raisePropertyStatus(OfxStatus status, const std::string &propertyName)
{
    if (passes(status))
        return;
    switch (status) {
    case kOfxStatErrUnknown:
    case kOfxStatErrUnsupported:
        if (PropertySet::throwOnUnknownProperty)
            throw Exception::PropertyUnknownToHost(propertyName.c_str());
        return;
    case kOfxStatErrMemory:
        throw std::bad_alloc();
    case kOfxStatErrValue:
        throw Exception::PropertyValueIllegalToHost(propertyName.c_str());
    default:
        raiseStatus(status);
    }
}

}  // namespace OFX
