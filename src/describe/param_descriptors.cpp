#include "describe/param_descriptors.h"

#include "ofx/ofx_names.h"

namespace OFX {

DummyParamDescriptor PageSkipRow(kOfxParamPageSkipRow);
DummyParamDescriptor PageSkipColumn(kOfxParamPageSkipColumn);

ParamDescriptor::ParamDescriptor(std::string name, ParamTypeEnum type, OfxPropertySetHandle props)
    : name_(std::move(name)), paramType_(type), properties_(props)
{
}

void ParamDescriptor::setLabels(const std::string &label, const std::string &shortLabel,
                                const std::string &longLabel)
{
    properties_.setString(kOfxPropLabel, label, 0, true);
    properties_.setString(kOfxPropShortLabel, shortLabel, 0, false);
    properties_.setString(kOfxPropLongLabel, longLabel, 0, false);
}

void ParamDescriptor::setHint(const std::string &hint)
{
    properties_.setString(kOfxParamPropHint, hint, 0, false);
}

void ValueParamDescriptor::setAnimates(bool animates)
{
    properties().setInt(kOfxParamPropAnimates, animates ? 1 : 0, 0, true);
}

IntParamDescriptor::IntParamDescriptor(std::string name, OfxPropertySetHandle props)
    : ValueParamDescriptor(std::move(name), eIntParam, props)
{
}

void IntParamDescriptor::setDefault(int value)
{
    properties().setInt(kOfxParamPropDefault, value, 0, true);
}

void IntParamDescriptor::setRange(int min, int max)
{
    properties().setInt(kOfxParamPropMin, min, 0, true);
    properties().setInt(kOfxParamPropMax, max, 0, true);
}

void IntParamDescriptor::setDisplayRange(int min, int max)
{
    properties().setInt(kOfxParamPropDisplayMin, min, 0, true);
    properties().setInt(kOfxParamPropDisplayMax, max, 0, true);
}

DoubleParamDescriptor::DoubleParamDescriptor(std::string name, OfxPropertySetHandle props)
    : BaseDoubleParamDescriptor(std::move(name), eDoubleParam, props)
{
}

void DoubleParamDescriptor::setDefault(double value)
{
    properties().setDouble(kOfxParamPropDefault, value, 0, true);
}

void DoubleParamDescriptor::setRange(double min, double max)
{
    properties().setDouble(kOfxParamPropMin, min, 0, true);
    properties().setDouble(kOfxParamPropMax, max, 0, true);
}

void DoubleParamDescriptor::setDisplayRange(double min, double max)
{
    properties().setDouble(kOfxParamPropDisplayMin, min, 0, true);
    properties().setDouble(kOfxParamPropDisplayMax, max, 0, true);
}

BooleanParamDescriptor::BooleanParamDescriptor(std::string name, OfxPropertySetHandle props)
    : ValueParamDescriptor(std::move(name), eBooleanParam, props)
{
}

void BooleanParamDescriptor::setDefault(bool value)
{
    properties().setInt(kOfxParamPropDefault, value ? 1 : 0, 0, true);
}

PageParamDescriptor::PageParamDescriptor(std::string name, OfxPropertySetHandle props)
    : ParamDescriptor(std::move(name), ePageParam, props)
{
}

void PageParamDescriptor::addChild(const ParamDescriptor &child)
{
    const int n = properties().getDimension(kOfxParamPropPageChild, true);
    properties().setString(kOfxParamPropPageChild, child.name(), n, true);
}

DummyParamDescriptor::DummyParamDescriptor(std::string name) : ParamDescriptor(std::move(name), eDummyParam, nullptr)
{
}

}  // namespace OFX
