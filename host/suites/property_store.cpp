#include "suites/property_store.h"

#include <cstring>
#include <mutex>
#include <set>

namespace ofxhost {

namespace {

// Handles are validated against the live sets so that a stale or foreign
// handle is answered with kOfxStatErrBadHandle instead of a crash.
std::mutex &registryMutex()
{
    static std::mutex m;
    return m;
}

std::set<const PropertyStore *> &registry()
{
    static std::set<const PropertyStore *> live;
    return live;
}

}  // namespace

int Property::dimension() const
{
    switch (type) {
    case PropType::Int: return static_cast<int>(ints.size());
    case PropType::Double: return static_cast<int>(doubles.size());
    case PropType::Pointer: return static_cast<int>(pointers.size());
    case PropType::String: return static_cast<int>(strings.size());
    }
    return 0;
}

PropertyStore::PropertyStore(std::string kind, bool open) : kind_(std::move(kind)), open_(open)
{
    std::lock_guard<std::mutex> lock(registryMutex());
    registry().insert(this);
}

PropertyStore::~PropertyStore()
{
    std::lock_guard<std::mutex> lock(registryMutex());
    registry().erase(this);
    magic_ = 0;
}

PropertyStore *PropertyStore::from(OfxPropertySetHandle handle)
{
    if (!handle)
        return nullptr;
    auto *store = reinterpret_cast<PropertyStore *>(handle);
    std::lock_guard<std::mutex> lock(registryMutex());
    return registry().count(store) ? store : nullptr;
}

void PropertyStore::define(const std::string &name, Property property)
{
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    defaults_[name] = property;
    props_[name] = std::move(property);
}

void PropertyStore::defineInt(const std::string &name, std::vector<int> values, bool variable)
{
    Property p;
    p.type = PropType::Int;
    p.variableDimension = variable;
    p.ints = std::move(values);
    define(name, std::move(p));
}

void PropertyStore::defineDouble(const std::string &name, std::vector<double> values, bool variable)
{
    Property p;
    p.type = PropType::Double;
    p.variableDimension = variable;
    p.doubles = std::move(values);
    define(name, std::move(p));
}

void PropertyStore::definePointer(const std::string &name, std::vector<void *> values, bool variable)
{
    Property p;
    p.type = PropType::Pointer;
    p.variableDimension = variable;
    p.pointers = std::move(values);
    define(name, std::move(p));
}

void PropertyStore::defineString(const std::string &name, std::vector<std::string> values, bool variable)
{
    Property p;
    p.type = PropType::String;
    p.variableDimension = variable;
    p.strings = std::move(values);
    define(name, std::move(p));
}

void PropertyStore::remove(const std::string &name)
{
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    props_.erase(name);
    defaults_.erase(name);
}

bool PropertyStore::has(const std::string &name) const
{
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    return props_.count(name) != 0;
}

int PropertyStore::dimension(const std::string &name) const
{
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    auto it = props_.find(name);
    return it == props_.end() ? 0 : it->second.dimension();
}

int PropertyStore::getInt(const std::string &name, int index) const
{
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    auto it = props_.find(name);
    if (it == props_.end() || it->second.type != PropType::Int || index < 0 ||
        index >= static_cast<int>(it->second.ints.size()))
        return 0;
    return it->second.ints[index];
}

double PropertyStore::getDouble(const std::string &name, int index) const
{
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    auto it = props_.find(name);
    if (it == props_.end() || it->second.type != PropType::Double || index < 0 ||
        index >= static_cast<int>(it->second.doubles.size()))
        return 0.0;
    return it->second.doubles[index];
}

void *PropertyStore::getPointer(const std::string &name, int index) const
{
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    auto it = props_.find(name);
    if (it == props_.end() || it->second.type != PropType::Pointer || index < 0 ||
        index >= static_cast<int>(it->second.pointers.size()))
        return nullptr;
    return it->second.pointers[index];
}

std::string PropertyStore::getString(const std::string &name, int index) const
{
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    auto it = props_.find(name);
    if (it == props_.end() || it->second.type != PropType::String || index < 0 ||
        index >= static_cast<int>(it->second.strings.size()))
        return std::string();
    return it->second.strings[index];
}

std::vector<std::string> PropertyStore::getStrings(const std::string &name) const
{
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    auto it = props_.find(name);
    if (it == props_.end() || it->second.type != PropType::String)
        return {};
    return it->second.strings;
}

std::vector<std::string> PropertyStore::names() const
{
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    std::vector<std::string> out;
    for (const auto &entry : props_)
        out.push_back(entry.first);
    return out;
}

void PropertyStore::copyFrom(const PropertyStore &other)
{
    std::scoped_lock lock(mutex_, other.mutex_);
    for (const auto &entry : other.props_) {
        props_[entry.first] = entry.second;
        defaults_[entry.first] = entry.second;
    }
}

OfxStatus PropertyStore::set(const char *name, PropType type, int index, const void *value)
{
    if (!name)
        return kOfxStatErrUnknown;
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    auto it = props_.find(name);
    if (it == props_.end()) {
        if (!open_)
            return kOfxStatErrUnknown;
        Property p;
        p.type = type;
        p.variableDimension = true;
        it = props_.emplace(name, std::move(p)).first;
    }
    Property &p = it->second;
    if (p.type != type)
        return kOfxStatErrValue;
    const int dim = p.dimension();
    if (index < 0 || index > dim || (index == dim && !p.variableDimension))
        return kOfxStatErrBadIndex;
    const bool append = index == dim;
    switch (type) {
    case PropType::Int: {
        int v = *static_cast<const int *>(value);
        if (append) p.ints.push_back(v); else p.ints[index] = v;
        break;
    }
    case PropType::Double: {
        double v = *static_cast<const double *>(value);
        if (append) p.doubles.push_back(v); else p.doubles[index] = v;
        break;
    }
    case PropType::Pointer: {
        void *v = *static_cast<void *const *>(value);
        if (append) p.pointers.push_back(v); else p.pointers[index] = v;
        break;
    }
    case PropType::String: {
        const char *v = *static_cast<const char *const *>(value);
        if (!v)
            return kOfxStatErrValue;
        if (append) p.strings.emplace_back(v); else p.strings[index] = v;
        break;
    }
    }
    return kOfxStatOK;
}

OfxStatus PropertyStore::get(const char *name, PropType type, int index, void *value)
{
    if (!name)
        return kOfxStatErrUnknown;
    if (!value)
        return kOfxStatErrBadHandle;
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    auto it = props_.find(name);
    if (it == props_.end())
        return kOfxStatErrUnknown;
    Property &p = it->second;
    if (p.type != type)
        return kOfxStatErrValue;
    if (index < 0 || index >= p.dimension())
        return kOfxStatErrBadIndex;
    switch (type) {
    case PropType::Int: *static_cast<int *>(value) = p.ints[index]; break;
    case PropType::Double: *static_cast<double *>(value) = p.doubles[index]; break;
    case PropType::Pointer: *static_cast<void **>(value) = p.pointers[index]; break;
    // The text stays owned by the set and valid until the property changes.
    case PropType::String: *static_cast<char **>(value) = const_cast<char *>(p.strings[index].c_str()); break;
    }
    return kOfxStatOK;
}

OfxStatus PropertyStore::reset(const char *name)
{
    if (!name)
        return kOfxStatErrUnknown;
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    auto it = props_.find(name);
    if (it == props_.end())
        return kOfxStatErrUnknown;
    auto def = defaults_.find(name);
    if (def != defaults_.end())
        it->second = def->second;
    else
        props_.erase(it);
    return kOfxStatOK;
}

OfxStatus PropertyStore::getDimension(const char *name, int *count)
{
    if (!name)
        return kOfxStatErrUnknown;
    if (!count)
        return kOfxStatErrBadHandle;
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    auto it = props_.find(name);
    if (it == props_.end())
        return kOfxStatErrUnknown;
    *count = it->second.dimension();
    return kOfxStatOK;
}

}  // namespace ofxhost
