#include "suites/suites.h"

#include "faults.h"
#include "load/c_boundary.h"
#include "suites/property_store.h"

namespace ofxhost {

namespace {

// Common path of every single-value access: validate, log, apply faults.
OfxStatus access(const char *function, OfxPropertySetHandle handle, const char *name, PropType type, int index,
                 void *value, bool isSet)
{
    Faults &faults = Faults::instance();
    faults.record(function, name ? name : "(null)");
    if (auto status = faults.callFault(function))
        return *status;
    PropertyStore *store = PropertyStore::from(handle);
    if (!store)
        return kOfxStatErrBadHandle;
    if (auto fault = faults.propertyFault(store->kind(), name, isSet)) {
        if (fault->nullText && !isSet && type == PropType::String) {
            *static_cast<char **>(value) = nullptr;
            return kOfxStatOK;
        }
        return fault->status;
    }
    return isSet ? store->set(name, type, index, value) : store->get(name, type, index, value);
}

OfxStatus setPointer(OfxPropertySetHandle h, const char *name, int index, void *value)
{
    return access("propSetPointer", h, name, PropType::Pointer, index, &value, true);
}

OfxStatus setString(OfxPropertySetHandle h, const char *name, int index, const char *value)
{
    return access("propSetString", h, name, PropType::String, index, &value, true);
}

OfxStatus setDouble(OfxPropertySetHandle h, const char *name, int index, double value)
{
    return access("propSetDouble", h, name, PropType::Double, index, &value, true);
}

OfxStatus setInt(OfxPropertySetHandle h, const char *name, int index, int value)
{
    return access("propSetInt", h, name, PropType::Int, index, &value, true);
}

template <typename T, PropType type>
OfxStatus setN(const char *function, OfxPropertySetHandle h, const char *name, int count, const T *values)
{
    if (count < 0 || (count > 0 && !values))
        return kOfxStatErrBadIndex;
    for (int i = 0; i < count; ++i) {
        T v = values[i];
        OfxStatus s = access(function, h, name, type, i, &v, true);
        if (s != kOfxStatOK)
            return s;
    }
    return kOfxStatOK;
}

OfxStatus setPointerN(OfxPropertySetHandle h, const char *name, int count, void *const *value)
{
    return setN<void *, PropType::Pointer>("propSetPointerN", h, name, count, value);
}

OfxStatus setStringN(OfxPropertySetHandle h, const char *name, int count, const char *const *value)
{
    return setN<const char *, PropType::String>("propSetStringN", h, name, count, value);
}

OfxStatus setDoubleN(OfxPropertySetHandle h, const char *name, int count, const double *value)
{
    return setN<double, PropType::Double>("propSetDoubleN", h, name, count, value);
}

OfxStatus setIntN(OfxPropertySetHandle h, const char *name, int count, const int *value)
{
    return setN<int, PropType::Int>("propSetIntN", h, name, count, value);
}

OfxStatus getPointer(OfxPropertySetHandle h, const char *name, int index, void **value)
{
    return access("propGetPointer", h, name, PropType::Pointer, index, value, false);
}

OfxStatus getString(OfxPropertySetHandle h, const char *name, int index, char **value)
{
    return access("propGetString", h, name, PropType::String, index, value, false);
}

OfxStatus getDouble(OfxPropertySetHandle h, const char *name, int index, double *value)
{
    return access("propGetDouble", h, name, PropType::Double, index, value, false);
}

OfxStatus getInt(OfxPropertySetHandle h, const char *name, int index, int *value)
{
    return access("propGetInt", h, name, PropType::Int, index, value, false);
}

template <typename T, PropType type>
OfxStatus getN(const char *function, OfxPropertySetHandle h, const char *name, int count, T *values)
{
    if (count < 0 || (count > 0 && !values))
        return kOfxStatErrBadIndex;
    for (int i = 0; i < count; ++i) {
        OfxStatus s = access(function, h, name, type, i, &values[i], false);
        if (s != kOfxStatOK)
            return s;
    }
    return kOfxStatOK;
}

OfxStatus getPointerN(OfxPropertySetHandle h, const char *name, int count, void **value)
{
    return getN<void *, PropType::Pointer>("propGetPointerN", h, name, count, value);
}

OfxStatus getStringN(OfxPropertySetHandle h, const char *name, int count, char **value)
{
    return getN<char *, PropType::String>("propGetStringN", h, name, count, value);
}

OfxStatus getDoubleN(OfxPropertySetHandle h, const char *name, int count, double *value)
{
    return getN<double, PropType::Double>("propGetDoubleN", h, name, count, value);
}

OfxStatus getIntN(OfxPropertySetHandle h, const char *name, int count, int *value)
{
    return getN<int, PropType::Int>("propGetIntN", h, name, count, value);
}

OfxStatus reset(OfxPropertySetHandle h, const char *name)
{
    Faults::instance().record("propReset", name ? name : "(null)");
    if (auto status = Faults::instance().callFault("propReset"))
        return *status;
    PropertyStore *store = PropertyStore::from(h);
    return store ? store->reset(name) : kOfxStatErrBadHandle;
}

OfxStatus getDimension(OfxPropertySetHandle h, const char *name, int *count)
{
    Faults &faults = Faults::instance();
    faults.record("propGetDimension", name ? name : "(null)");
    if (auto status = faults.callFault("propGetDimension"))
        return *status;
    PropertyStore *store = PropertyStore::from(h);
    if (!store)
        return kOfxStatErrBadHandle;
    if (auto fault = faults.propertyFault(store->kind(), name, false))
        return fault->status;
    return store->getDimension(name, count);
}

const OfxPropertySuiteV1 suite = {
    guarded<setPointer>, guarded<setString>, guarded<setDouble>, guarded<setInt>, guarded<setPointerN>,
    guarded<setStringN>, guarded<setDoubleN>, guarded<setIntN>, guarded<getPointer>, guarded<getString>,
    guarded<getDouble>, guarded<getInt>, guarded<getPointerN>, guarded<getStringN>, guarded<getDoubleN>,
    guarded<getIntN>, guarded<reset>, guarded<getDimension>};

}  // namespace

const OfxPropertySuiteV1 *propertySuiteTable()
{
    return &suite;
}

}  // namespace ofxhost
