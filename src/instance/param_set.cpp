#include "instance/param_set.h"

#include "entry/host_suites.h"
#include "ofx/ofx_names.h"
#include "property/exceptions.h"
#include "property/raise_status.h"

namespace OFX {

namespace {

const OfxParameterSuiteV1 &parameters()
{
    return boundSuite(hostSuites().parameterSuite);
}

}  // namespace

ParamSet::~ParamSet() = default;

void ParamSet::bindHandle(OfxParamSetHandle handle)
{
    paramSetHandle_ = handle;
    if (!handle) {
        properties_.setHandle(nullptr);
        return;
    }
    OfxPropertySetHandle props = nullptr;
    OfxStatus status = parameters().paramSetGetPropertySet(handle, &props);
    properties_.setHandle(props);
    raiseStatus(status);
}

Param *ParamSet::findParam(const std::string &name) const
{
    auto it = params_.find(name);
    return it == params_.end() ? nullptr : it->second.get();
}

OfxParamHandle ParamSet::resolveParamHandle(const std::string &name, ParamTypeEnum type)
{
    OfxParamHandle handle = nullptr;
    OfxPropertySetHandle props = nullptr;
    raiseStatus(parameters().paramGetHandle(paramSetHandle_, name.c_str(), &handle, &props));
    const std::string hostType = PropertySet(props).getString(kOfxParamPropType, 0, true);
    if (hostType != paramTypeName(type))
        throw Exception::TypeRequest("Parameter exists but is of the wrong type");
    return handle;
}

template <class P>
P *ParamSet::fetchParam(const std::string &name, ParamTypeEnum type)
{
    if (Param *cached = findParam(name)) {
        if (cached->paramType() != type)
            throw Exception::TypeRequest("Fetching param and attempting to return the wrong type");
        return static_cast<P *>(cached);
    }
    OfxParamHandle handle = resolveParamHandle(name, type);
    auto param = std::make_unique<P>(name, handle, this);
    P *raw = param.get();
    params_[name] = std::move(param);
    return raw;
}

IntParam *ParamSet::getIntParam(const std::string &name)
{
    return fetchParam<IntParam>(name, eIntParam);
}

DoubleParam *ParamSet::getDoubleParam(const std::string &name)
{
    return fetchParam<DoubleParam>(name, eDoubleParam);
}

BooleanParam *ParamSet::getBooleanParam(const std::string &name)
{
    return fetchParam<BooleanParam>(name, eBooleanParam);
}

}  // namespace OFX
