#include "describe/param_set_descriptor.h"

#include "entry/host_suites.h"
#include "property/raise_status.h"

namespace OFX {

namespace {

const OfxParameterSuiteV1 &parameters()
{
    return boundSuite(hostSuites().parameterSuite);
}

}  // namespace

ParamSetDescriptor::~ParamSetDescriptor() = default;

void ParamSetDescriptor::bindHandle(OfxParamSetHandle handle)
{
    paramSetHandle_ = handle;
    if (!handle) {
        paramSetProperties_.setHandle(nullptr);
        return;
    }
    OfxPropertySetHandle props = nullptr;
    OfxStatus status = parameters().paramSetGetPropertySet(handle, &props);
    paramSetProperties_.setHandle(props);
    raiseStatus(status);
}

ParamDescriptor *ParamSetDescriptor::findParam(const std::string &name) const
{
    auto it = definedParams_.find(name);
    return it == definedParams_.end() ? nullptr : it->second.get();
}

template <class D>
D *ParamSetDescriptor::defineParam(const std::string &name, ParamTypeEnum type)
{
    if (ParamDescriptor *existing = findParam(name))
        return existing->paramType() == type ? static_cast<D *>(existing) : nullptr;
    OfxPropertySetHandle props = nullptr;
    raiseStatus(parameters().paramDefine(paramSetHandle_, paramTypeName(type), name.c_str(), &props));
    auto descriptor = std::make_unique<D>(name, props);
    D *raw = descriptor.get();
    definedParams_[name] = std::move(descriptor);
    return raw;
}

IntParamDescriptor *ParamSetDescriptor::defineIntParam(const std::string &name)
{
    return defineParam<IntParamDescriptor>(name, eIntParam);
}

DoubleParamDescriptor *ParamSetDescriptor::defineDoubleParam(const std::string &name)
{
    return defineParam<DoubleParamDescriptor>(name, eDoubleParam);
}

BooleanParamDescriptor *ParamSetDescriptor::defineBooleanParam(const std::string &name)
{
    return defineParam<BooleanParamDescriptor>(name, eBooleanParam);
}

PageParamDescriptor *ParamSetDescriptor::definePageParam(const std::string &name)
{
    return defineParam<PageParamDescriptor>(name, ePageParam);
}

}  // namespace OFX
