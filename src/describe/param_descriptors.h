#pragma once

// Describe-time parameter declarations: each wraps the property set the host
// returned when the parameter was defined and writes labels, hints,
// defaults and ranges into it. Nothing here checks that ranges make sense;
// the values go to the host unchanged.

#include <string>

#include "describe/param_types.h"
#include "property/property_set.h"

namespace OFX {

class ParamDescriptor {
public:
    ParamDescriptor(std::string name, ParamTypeEnum type, OfxPropertySetHandle props);
    virtual ~ParamDescriptor() = default;
    ParamDescriptor(const ParamDescriptor &) = delete;
    ParamDescriptor &operator=(const ParamDescriptor &) = delete;

    const std::string &name() const { return name_; }
    ParamTypeEnum paramType() const { return paramType_; }
    const PropertySet &properties() const { return properties_; }

    void setLabels(const std::string &label, const std::string &shortLabel, const std::string &longLabel);
    void setHint(const std::string &hint);

private:
    std::string name_;
    ParamTypeEnum paramType_;
    PropertySet properties_;
};

class ValueParamDescriptor : public ParamDescriptor {
public:
    using ParamDescriptor::ParamDescriptor;
    void setAnimates(bool animates);
};

class IntParamDescriptor : public ValueParamDescriptor {
public:
    IntParamDescriptor(std::string name, OfxPropertySetHandle props);
    void setDefault(int value);
    void setRange(int min, int max);
    void setDisplayRange(int min, int max);
};

class BaseDoubleParamDescriptor : public ValueParamDescriptor {
public:
    using ValueParamDescriptor::ValueParamDescriptor;
};

class DoubleParamDescriptor : public BaseDoubleParamDescriptor {
public:
    DoubleParamDescriptor(std::string name, OfxPropertySetHandle props);
    void setDefault(double value);
    void setRange(double min, double max);
    void setDisplayRange(double min, double max);
};

class BooleanParamDescriptor : public ValueParamDescriptor {
public:
    BooleanParamDescriptor(std::string name, OfxPropertySetHandle props);
    void setDefault(bool value);
};

class PageParamDescriptor : public ParamDescriptor {
public:
    PageParamDescriptor(std::string name, OfxPropertySetHandle props);
    // Lists the child's name at the end of the page, whatever it holds already.
    void addChild(const ParamDescriptor &child);
};

// The class of the two page-layout markers, never defined through the host.
class DummyParamDescriptor : public ParamDescriptor {
public:
    explicit DummyParamDescriptor(std::string name);
};

// Added to a page, they leave a row or a column of it empty.
extern DummyParamDescriptor PageSkipRow;
extern DummyParamDescriptor PageSkipColumn;

}  // namespace OFX
