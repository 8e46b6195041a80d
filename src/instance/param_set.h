#pragma once

// An instance's parameters, fetched by name and type once and cached. The
// set owns every wrapper; callers keep plain pointers for the instance's life.

#include <map>
#include <memory>
#include <string>

#include "instance/params.h"

namespace OFX {

class ParamSet {
public:
    ParamSet() = default;
    virtual ~ParamSet();
    ParamSet(const ParamSet &) = delete;
    ParamSet &operator=(const ParamSet &) = delete;

    void bindHandle(OfxParamSetHandle handle);
    Param *findParam(const std::string &name) const;

    // Never null: a missing parameter or a type mismatch raises.
    IntParam *getIntParam(const std::string &name);
    DoubleParam *getDoubleParam(const std::string &name);
    BooleanParam *getBooleanParam(const std::string &name);

    OfxParamHandle resolveParamHandle(const std::string &name, ParamTypeEnum type);
    const PropertySet &paramSetProperties() const { return properties_; }

private:
    template <class P>
    P *fetchParam(const std::string &name, ParamTypeEnum type);

    PropertySet properties_;
    OfxParamSetHandle paramSetHandle_ = nullptr;
    std::map<std::string, std::unique_ptr<Param>> params_;
};

}  // namespace OFX
