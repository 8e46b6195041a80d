#pragma once

// Defines parameters through the host once each and keeps them by name.

#include <map>
#include <memory>
#include <string>

#include "describe/param_descriptors.h"
#include "property/property_set.h"

namespace OFX {

class ParamSetDescriptor {
public:
    ParamSetDescriptor() = default;
    virtual ~ParamSetDescriptor();
    ParamSetDescriptor(const ParamSetDescriptor &) = delete;
    ParamSetDescriptor &operator=(const ParamSetDescriptor &) = delete;

    void bindHandle(OfxParamSetHandle handle);
    ParamDescriptor *findParam(const std::string &name) const;

    // The descriptor of that name, owned by the set; null when the name is
    // already defined with another type. A second call returns the same one.
    IntParamDescriptor *defineIntParam(const std::string &name);
    DoubleParamDescriptor *defineDoubleParam(const std::string &name);
    BooleanParamDescriptor *defineBooleanParam(const std::string &name);
    PageParamDescriptor *definePageParam(const std::string &name);

    const PropertySet &paramSetProperties() const { return paramSetProperties_; }

private:
    template <class D>
    D *defineParam(const std::string &name, ParamTypeEnum type);

    PropertySet paramSetProperties_;
    OfxParamSetHandle paramSetHandle_ = nullptr;
    std::map<std::string, std::unique_ptr<ParamDescriptor>> definedParams_;
};

}  // namespace OFX
