#include "property/property_set.h"

#include "entry/host_suites.h"
#include "property/raise_status.h"

namespace OFX {

const bool PropertySet::throwOnUnknownProperty = true;

namespace {

// Before the load action has bound the host there is no property suite; such
// an access is answered as a bad handle instead of calling through null.
const OfxPropertySuiteV1 *suite()
{
    return hostSuites().propertySuite;
}

void check(OfxStatus status, const char *name, bool throwOnFailure)
{
    if (throwOnFailure)
        raisePropertyStatus(status, name);
}

}  // namespace

int PropertySet::getDimension(const char *name, bool throwOnFailure) const
{
    int count = 0;
    OfxStatus status = suite() ? suite()->propGetDimension(handle_, name, &count) : kOfxStatErrBadHandle;
    check(status, name, throwOnFailure);
    return count;
}

int PropertySet::getInt(const char *name, int index, bool throwOnFailure) const
{
    int value = 0;
    OfxStatus status = suite() ? suite()->propGetInt(handle_, name, index, &value) : kOfxStatErrBadHandle;
    check(status, name, throwOnFailure);
    return value;
}

double PropertySet::getDouble(const char *name, int index, bool throwOnFailure) const
{
    double value = 0.0;
    OfxStatus status = suite() ? suite()->propGetDouble(handle_, name, index, &value) : kOfxStatErrBadHandle;
    check(status, name, throwOnFailure);
    return value;
}

void *PropertySet::getPointer(const char *name, int index, bool throwOnFailure) const
{
    void *value = nullptr;
    OfxStatus status = suite() ? suite()->propGetPointer(handle_, name, index, &value) : kOfxStatErrBadHandle;
    check(status, name, throwOnFailure);
    return value;
}

std::string PropertySet::getString(const char *name, int index, bool throwOnFailure) const
{
    static char empty[] = "";
    char *value = empty;
    OfxStatus status = suite() ? suite()->propGetString(handle_, name, index, &value) : kOfxStatErrBadHandle;
    check(status, name, throwOnFailure);
    // A host may answer with a null text; it reads as the empty text.
    return value ? std::string(value) : std::string();
}

void PropertySet::setInt(const char *name, int value, int index, bool throwOnFailure) const
{
    OfxStatus status = suite() ? suite()->propSetInt(handle_, name, index, value) : kOfxStatErrBadHandle;
    check(status, name, throwOnFailure);
}

void PropertySet::setDouble(const char *name, double value, int index, bool throwOnFailure) const
{
    OfxStatus status = suite() ? suite()->propSetDouble(handle_, name, index, value) : kOfxStatErrBadHandle;
    check(status, name, throwOnFailure);
}

void PropertySet::setPointer(const char *name, void *value, int index, bool throwOnFailure) const
{
    OfxStatus status = suite() ? suite()->propSetPointer(handle_, name, index, value) : kOfxStatErrBadHandle;
    check(status, name, throwOnFailure);
}

void PropertySet::setString(const char *name, const std::string &value, int index, bool throwOnFailure) const
{
    OfxStatus status =
        suite() ? suite()->propSetString(handle_, name, index, value.c_str()) : kOfxStatErrBadHandle;
    check(status, name, throwOnFailure);
}

}  // namespace OFX
