#pragma once

// Host-side property sets: named, typed, indexed values behind the opaque
// OfxPropertySetHandle. A set knows its properties up front (as a real host
// does); the plug-in may not invent properties unless the set is open.

#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "ofx/ofx_core.h"

namespace ofxhost {

enum class PropType { Int, Double, Pointer, String };

struct Property {
    PropType type = PropType::Int;
    bool variableDimension = false;  // lists that grow by writing at index == dimension
    std::vector<int> ints;
    std::vector<double> doubles;
    std::vector<void *> pointers;
    std::vector<std::string> strings;

    int dimension() const;
};

class PropertyStore {
public:
    explicit PropertyStore(std::string kind, bool open = false);
    virtual ~PropertyStore();
    PropertyStore(const PropertyStore &) = delete;
    PropertyStore &operator=(const PropertyStore &) = delete;

    // The kind tells fault rules which sets they apply to: "host", "effect",
    // "instance", "clip", "image", "param", "paramSet", "inArgs", "outArgs".
    const std::string &kind() const { return kind_; }
    OfxPropertySetHandle handle() { return reinterpret_cast<OfxPropertySetHandle>(this); }
    // Null unless the handle is a live set of ours.
    static PropertyStore *from(OfxPropertySetHandle handle);

    // Host-side definition and access (no faults apply).
    void defineInt(const std::string &name, std::vector<int> values, bool variable = false);
    void defineDouble(const std::string &name, std::vector<double> values, bool variable = false);
    void definePointer(const std::string &name, std::vector<void *> values, bool variable = false);
    void defineString(const std::string &name, std::vector<std::string> values, bool variable = false);
    void remove(const std::string &name);
    bool has(const std::string &name) const;
    int dimension(const std::string &name) const;
    int getInt(const std::string &name, int index = 0) const;
    double getDouble(const std::string &name, int index = 0) const;
    void *getPointer(const std::string &name, int index = 0) const;
    std::string getString(const std::string &name, int index = 0) const;
    std::vector<std::string> getStrings(const std::string &name) const;
    std::vector<std::string> names() const;
    // Copies every property of another set (values, types and defaults).
    void copyFrom(const PropertyStore &other);

    // The property suite's view: statuses as the standard gives them.
    OfxStatus set(const char *name, PropType type, int index, const void *value);
    OfxStatus get(const char *name, PropType type, int index, void *value);
    OfxStatus reset(const char *name);
    OfxStatus getDimension(const char *name, int *count);

private:
    void define(const std::string &name, Property property);

    static constexpr unsigned kMagic = 0x0F1A5E75u;
    unsigned magic_ = kMagic;
    std::string kind_;
    bool open_;
    mutable std::recursive_mutex mutex_;
    std::map<std::string, Property> props_;
    std::map<std::string, Property> defaults_;
};

}  // namespace ofxhost
