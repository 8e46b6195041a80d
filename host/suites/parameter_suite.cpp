#include <algorithm>
#include <cstdarg>
#include <functional>
#include <cmath>

#include "load/c_boundary.h"
#include "load/call_guard.h"
#include "ofx/ofx_names.h"
#include "suites/host.h"
#include "suites/host_objects.h"
#include "suites/suites.h"

namespace ofxhost {

namespace {

ParamObject *param(OfxParamHandle handle)
{
    return LiveSet<ParamObject>::find(handle);
}

ParamSetObject *paramSet(OfxParamSetHandle handle)
{
    return LiveSet<ParamSetObject>::find(handle);
}

// Writes a value through the variadic pointers, one per component, typed by
// the parameter's type: int* for integral types, double* for the others,
// const char** for strings.
OfxStatus writeValue(const ParamObject &p, const std::vector<double> &value, va_list args)
{
    if (!p.isNumeric()) {
        if (p.type != kOfxParamTypeString && p.type != kOfxParamTypeCustom)
            return kOfxStatErrUnsupported;
        const char **out = va_arg(args, const char **);
        if (!out)
            return kOfxStatErrBadHandle;
        *out = p.text.c_str();
        return kOfxStatOK;
    }
    for (int i = 0; i < p.components(); ++i) {
        if (p.isIntegral()) {
            int *out = va_arg(args, int *);
            if (!out)
                return kOfxStatErrBadHandle;
            *out = static_cast<int>(value[i]);
        } else {
            double *out = va_arg(args, double *);
            if (!out)
                return kOfxStatErrBadHandle;
            *out = value[i];
        }
    }
    return kOfxStatOK;
}

OfxStatus readValue(ParamObject &p, std::vector<double> &value, va_list args)
{
    if (!p.isNumeric()) {
        if (p.type != kOfxParamTypeString && p.type != kOfxParamTypeCustom)
            return kOfxStatErrUnsupported;
        const char *in = va_arg(args, const char *);
        p.text = in ? in : "";
        return kOfxStatOK;
    }
    value.assign(static_cast<std::size_t>(p.components()), 0.0);
    for (int i = 0; i < p.components(); ++i)
        value[i] = p.isIntegral() ? static_cast<double>(va_arg(args, int)) : va_arg(args, double);
    return kOfxStatOK;
}

OfxStatus paramDefine(OfxParamSetHandle set, const char *type, const char *name, OfxPropertySetHandle *propertySet)
{
    HOST_CALL("paramDefine");
    ParamSetObject *s = paramSet(set);
    if (!s || !type || !name)
        return kOfxStatErrBadHandle;
    if (s->instance)
        return kOfxStatErrUnsupported;
    if (s->find(name))
        return kOfxStatErrExists;
    PropertyStore probe("probe");
    if (!defineParamProperties(probe, type, name))
        return kOfxStatErrUnknown;
    auto p = std::make_unique<ParamObject>(name, type, false);
    if (propertySet)
        *propertySet = p->props.handle();
    s->order.push_back(name);
    s->params.emplace(name, std::move(p));
    return kOfxStatOK;
}

OfxStatus paramGetHandle(OfxParamSetHandle set, const char *name, OfxParamHandle *handle,
                         OfxPropertySetHandle *propertySet)
{
    HOST_CALL("paramGetHandle");
    ParamSetObject *s = paramSet(set);
    if (!s || !name || !handle)
        return kOfxStatErrBadHandle;
    ParamObject *p = s->find(name);
    if (!p)
        return kOfxStatErrUnknown;
    *handle = reinterpret_cast<OfxParamHandle>(p);
    if (propertySet)
        *propertySet = p->props.handle();
    return kOfxStatOK;
}

OfxStatus paramSetGetPropertySet(OfxParamSetHandle set, OfxPropertySetHandle *propHandle)
{
    HOST_CALL("paramSetGetPropertySet");
    ParamSetObject *s = paramSet(set);
    if (!s || !propHandle)
        return kOfxStatErrBadHandle;
    *propHandle = s->props.handle();
    return kOfxStatOK;
}

OfxStatus paramGetPropertySet(OfxParamHandle handle, OfxPropertySetHandle *propHandle)
{
    HOST_CALL("paramGetPropertySet");
    ParamObject *p = param(handle);
    if (!p || !propHandle)
        return kOfxStatErrBadHandle;
    *propHandle = p->props.handle();
    return kOfxStatOK;
}

OfxStatus paramGetValue(OfxParamHandle handle, ...)
{
    va_list args;
    va_start(args, handle);
    const OfxStatus status = guardedCall([&]() -> OfxStatus {
        HOST_CALL("paramGetValue");
        ParamObject *p = param(handle);
        if (!p)
            return kOfxStatErrBadHandle;
        return writeValue(*p, p->valueAt(Host::instance().currentTime()), args);
    });
    va_end(args);
    return status;
}

OfxStatus paramGetValueAtTime(OfxParamHandle handle, OfxTime time, ...)
{
    va_list args;
    va_start(args, time);
    const OfxStatus status = guardedCall([&]() -> OfxStatus {
        HOST_CALL("paramGetValueAtTime");
        ParamObject *p = param(handle);
        if (!p)
            return kOfxStatErrBadHandle;
        return writeValue(*p, p->valueAt(time), args);
    });
    va_end(args);
    return status;
}

OfxStatus paramGetDerivative(OfxParamHandle handle, OfxTime time, ...)
{
    va_list args;
    va_start(args, time);
    const OfxStatus status = guardedCall([&]() -> OfxStatus {
        HOST_CALL("paramGetDerivative");
        ParamObject *p = param(handle);
        if (!p)
            return kOfxStatErrBadHandle;
        if (!p->isNumeric() || p->isIntegral())
            return kOfxStatErrUnsupported;
        const double h = 1e-3;
        std::vector<double> a = p->valueAt(time - h), b = p->valueAt(time + h), d(a.size());
        for (std::size_t i = 0; i < d.size(); ++i)
            d[i] = (b[i] - a[i]) / (2 * h);
        return writeValue(*p, d, args);
    });
    va_end(args);
    return status;
}

OfxStatus paramGetIntegral(OfxParamHandle handle, OfxTime time1, OfxTime time2, ...)
{
    va_list args;
    va_start(args, time2);
    const OfxStatus status = guardedCall([&]() -> OfxStatus {
        HOST_CALL("paramGetIntegral");
        ParamObject *p = param(handle);
        if (!p)
            return kOfxStatErrBadHandle;
        if (!p->isNumeric() || p->isIntegral())
            return kOfxStatErrUnsupported;
        // The curve is linear between keys, so trapezoids over the key times are exact.
        std::vector<double> times = {time1};
        for (const auto &key : p->keys)
            if (key.first > std::min(time1, time2) && key.first < std::max(time1, time2))
                times.push_back(key.first);
        times.push_back(time2);
        if (time2 < time1)
            std::sort(times.begin() + 1, times.end() - 1, std::greater<double>());
        std::vector<double> sum(static_cast<std::size_t>(p->components()), 0.0);
        for (std::size_t k = 1; k < times.size(); ++k) {
            std::vector<double> a = p->valueAt(times[k - 1]), b = p->valueAt(times[k]);
            for (std::size_t i = 0; i < sum.size(); ++i)
                sum[i] += (a[i] + b[i]) * 0.5 * (times[k] - times[k - 1]);
        }
        return writeValue(*p, sum, args);
    });
    va_end(args);
    return status;
}

OfxStatus paramSetValue(OfxParamHandle handle, ...)
{
    va_list args;
    va_start(args, handle);
    const OfxStatus status = guardedCall([&]() -> OfxStatus {
        HOST_CALL("paramSetValue");
        ParamObject *p = param(handle);
        if (!p)
            return kOfxStatErrBadHandle;
        std::vector<double> v;
        const OfxStatus read = readValue(*p, v, args);
        if (read == kOfxStatOK && p->isNumeric()) {
            p->value = v;
            p->keys.clear();
        }
        return read;
    });
    va_end(args);
    return status;
}

OfxStatus paramSetValueAtTime(OfxParamHandle handle, OfxTime time, ...)
{
    va_list args;
    va_start(args, time);
    const OfxStatus status = guardedCall([&]() -> OfxStatus {
        HOST_CALL("paramSetValueAtTime");
        ParamObject *p = param(handle);
        if (!p)
            return kOfxStatErrBadHandle;
        std::vector<double> v;
        const OfxStatus read = readValue(*p, v, args);
        if (read == kOfxStatOK && p->isNumeric())
            p->keys[time] = v;
        return read;
    });
    va_end(args);
    return status;
}

OfxStatus paramGetNumKeys(OfxParamHandle handle, unsigned int *numberOfKeys)
{
    HOST_CALL("paramGetNumKeys");
    ParamObject *p = param(handle);
    if (!p || !numberOfKeys)
        return kOfxStatErrBadHandle;
    *numberOfKeys = static_cast<unsigned>(p->keys.size());
    return kOfxStatOK;
}

OfxStatus paramGetKeyTime(OfxParamHandle handle, unsigned int nthKey, OfxTime *time)
{
    HOST_CALL("paramGetKeyTime");
    ParamObject *p = param(handle);
    if (!p || !time)
        return kOfxStatErrBadHandle;
    if (nthKey >= p->keys.size())
        return kOfxStatErrBadIndex;
    *time = std::next(p->keys.begin(), nthKey)->first;
    return kOfxStatOK;
}

OfxStatus paramGetKeyIndex(OfxParamHandle handle, OfxTime time, int direction, int *index)
{
    HOST_CALL("paramGetKeyIndex");
    ParamObject *p = param(handle);
    if (!p || !index)
        return kOfxStatErrBadHandle;
    *index = -1;
    int i = 0;
    for (const auto &key : p->keys) {
        if ((direction == 0 && key.first == time) || (direction > 0 && key.first > time)) {
            *index = i;
            return kOfxStatOK;
        }
        if (direction < 0 && key.first < time)
            *index = i;
        ++i;
    }
    return *index >= 0 ? kOfxStatOK : kOfxStatFailed;
}

OfxStatus paramDeleteKey(OfxParamHandle handle, OfxTime time)
{
    HOST_CALL("paramDeleteKey");
    ParamObject *p = param(handle);
    if (!p)
        return kOfxStatErrBadHandle;
    return p->keys.erase(time) ? kOfxStatOK : kOfxStatErrBadIndex;
}

OfxStatus paramDeleteAllKeys(OfxParamHandle handle)
{
    HOST_CALL("paramDeleteAllKeys");
    ParamObject *p = param(handle);
    if (!p)
        return kOfxStatErrBadHandle;
    p->keys.clear();
    return kOfxStatOK;
}

OfxStatus paramCopy(OfxParamHandle to, OfxParamHandle from, OfxTime dstOffset, const OfxRangeD *frameRange)
{
    HOST_CALL("paramCopy");
    ParamObject *dst = param(to);
    ParamObject *src = param(from);
    if (!dst || !src)
        return kOfxStatErrBadHandle;
    if (dst->type != src->type)
        return kOfxStatErrValue;
    dst->value = src->value;
    dst->text = src->text;
    if (!frameRange)
        dst->keys.clear();
    for (const auto &key : src->keys)
        if (!frameRange || (key.first >= frameRange->min && key.first <= frameRange->max))
            dst->keys[key.first + dstOffset] = key.second;
    return kOfxStatOK;
}

OfxStatus paramEditBegin(OfxParamSetHandle set, const char *)
{
    HOST_CALL("paramEditBegin");
    return paramSet(set) ? kOfxStatOK : kOfxStatErrBadHandle;
}

OfxStatus paramEditEnd(OfxParamSetHandle set)
{
    HOST_CALL("paramEditEnd");
    return paramSet(set) ? kOfxStatOK : kOfxStatErrBadHandle;
}

const OfxParameterSuiteV1 suite = {
    guarded<paramDefine>, guarded<paramGetHandle>, guarded<paramSetGetPropertySet>, guarded<paramGetPropertySet>,
    paramGetValue, paramGetValueAtTime, paramGetDerivative, paramGetIntegral, paramSetValue, paramSetValueAtTime,
    guarded<paramGetNumKeys>, guarded<paramGetKeyTime>, guarded<paramGetKeyIndex>, guarded<paramDeleteKey>,
    guarded<paramDeleteAllKeys>, guarded<paramCopy>, guarded<paramEditBegin>, guarded<paramEditEnd>};

}  // namespace

const OfxParameterSuiteV1 *parameterSuiteTable()
{
    return &suite;
}

}  // namespace ofxhost
