#include "instance/params.h"

#include "entry/host_suites.h"
#include "property/raise_status.h"

namespace OFX {

namespace {

const OfxParameterSuiteV1 &parameters()
{
    return boundSuite(hostSuites().parameterSuite);
}

}  // namespace

Param::Param(std::string name, ParamTypeEnum type, OfxParamHandle handle, ParamSet *owner)
    : name_(std::move(name)), paramType_(type), paramHandle_(handle), paramSet_(owner)
{
    OfxPropertySetHandle props = nullptr;
    raiseStatus(parameters().paramGetPropertySet(handle, &props));
    properties_.setHandle(props);
}

void IntParam::valueAt(double time, int &value) const
{
    raiseStatus(parameters().paramGetValueAtTime(handle(), time, &value));
}

void DoubleParam::valueAt(double time, double &value) const
{
    raiseStatus(parameters().paramGetValueAtTime(handle(), time, &value));
}

void BooleanParam::valueAt(double time, bool &value) const
{
    // Booleans travel as 32-bit ints; a bool would take only one byte.
    int raw = value ? 1 : 0;
    OfxStatus status = parameters().paramGetValueAtTime(handle(), time, &raw);
    value = raw != 0;
    raiseStatus(status);
}

}  // namespace OFX
