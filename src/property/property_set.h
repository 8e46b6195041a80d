#pragma once

// Typed access to a host property set. The wrapper never owns, releases or
// validates the handle; copies refer to the same host set. Failures follow
// raisePropertyStatus when throwOnFailure is set; otherwise the type's
// default (0, 0.0, null, empty text) is returned.

#include <string>

#include "ofx/ofx_core.h"

namespace OFX {

class PropertySet {
public:
    // Whether a property the host does not know becomes an exception.
    static const bool throwOnUnknownProperty;

    PropertySet() = default;
    explicit PropertySet(OfxPropertySetHandle handle) : handle_(handle) {}
    virtual ~PropertySet() = default;
    PropertySet(const PropertySet &) = default;
    PropertySet &operator=(const PropertySet &) = default;

    OfxPropertySetHandle handle() const { return handle_; }
    void setHandle(OfxPropertySetHandle handle) { handle_ = handle; }

    int getDimension(const char *name, bool throwOnFailure) const;
    int getInt(const char *name, int index, bool throwOnFailure) const;
    double getDouble(const char *name, int index, bool throwOnFailure) const;
    void *getPointer(const char *name, int index, bool throwOnFailure) const;
    std::string getString(const char *name, int index, bool throwOnFailure) const;

    void setInt(const char *name, int value, int index, bool throwOnFailure) const;
    void setDouble(const char *name, double value, int index, bool throwOnFailure) const;
    void setPointer(const char *name, void *value, int index, bool throwOnFailure) const;
    void setString(const char *name, const std::string &value, int index, bool throwOnFailure) const;

private:
    OfxPropertySetHandle handle_ = nullptr;
};

}  // namespace OFX
