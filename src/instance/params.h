#pragma once

// Instance parameters: wrappers of the host's parameter handles that read a
// value at an explicit time. Values are never cached.

#include <string>

#include "describe/param_types.h"
#include "ofx/ofx_core.h"
#include "property/property_set.h"

namespace OFX {

class ParamSet;

class Param {
public:
    // Fetches the parameter's property set; a host failure raises.
    Param(std::string name, ParamTypeEnum type, OfxParamHandle handle, ParamSet *owner);
    virtual ~Param() = default;
    Param(const Param &) = delete;
    Param &operator=(const Param &) = delete;

    const std::string &name() const { return name_; }
    ParamTypeEnum paramType() const { return paramType_; }
    const PropertySet &properties() const { return properties_; }
    OfxParamHandle handle() const { return paramHandle_; }
    ParamSet *paramSet() const { return paramSet_; }

private:
    std::string name_;
    ParamTypeEnum paramType_;
    PropertySet properties_;
    OfxParamHandle paramHandle_;
    ParamSet *paramSet_;
};

class ValueParam : public Param {
public:
    using Param::Param;
};

class IntParam : public ValueParam {
public:
    IntParam(std::string name, OfxParamHandle handle, ParamSet *owner)
        : ValueParam(std::move(name), eIntParam, handle, owner) {}
    void valueAt(double time, int &value) const;
};

class BooleanParam : public ValueParam {
public:
    BooleanParam(std::string name, OfxParamHandle handle, ParamSet *owner)
        : ValueParam(std::move(name), eBooleanParam, handle, owner) {}
    void valueAt(double time, bool &value) const;
};

class BaseDoubleParam : public ValueParam {
public:
    using ValueParam::ValueParam;
};

class DoubleParam : public BaseDoubleParam {
public:
    DoubleParam(std::string name, OfxParamHandle handle, ParamSet *owner)
        : BaseDoubleParam(std::move(name), eDoubleParam, handle, owner) {}
    void valueAt(double time, double &value) const;
};

}  // namespace OFX
