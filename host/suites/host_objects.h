#pragma once

// The objects behind the handles the host hands out: effects (descriptors
// and instances), clips, parameter sets, parameters and fetched images. Each
// registers itself so that handles can be validated.

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "load/live_set.h"
#include "render/host_image.h"
#include "suites/property_store.h"

namespace ofxhost {

class EffectObject;

class ParamObject {
    Live<ParamObject> live_{this};

public:
    ParamObject(std::string name, std::string type, bool instance);

    const std::string name;
    const std::string type;
    PropertyStore props;

    // Numeric parameters hold one double per component; strings hold text.
    int components() const;
    bool isNumeric() const;
    bool isIntegral() const;  // integer, boolean, choice and the integer 2D/3D types
    std::vector<double> value;
    std::string text;
    std::map<double, std::vector<double>> keys;

    // Value at a time: linear between keys for numbers (rounded for integers),
    // held from the previous key for booleans and choices.
    std::vector<double> valueAt(double time) const;
    // Copies the descriptor's default into the value.
    void resetToDefault();
};

class ParamSetObject {
    Live<ParamSetObject> live_{this};

public:
    explicit ParamSetObject(bool instance);

    PropertyStore props;
    const bool instance;
    std::map<std::string, std::unique_ptr<ParamObject>> params;
    std::vector<std::string> order;  // definition order

    ParamObject *find(const std::string &name) const;
};

class ClipObject {
    Live<ClipObject> live_{this};

public:
    ClipObject(std::string name, EffectObject *effect, bool instance);

    const std::string name;
    EffectObject *const effect;
    PropertyStore props;
    HostImage *image = nullptr;  // what clipGetImage hands out at any time, if set

    // Connects an image (or disconnects with null) and updates the clip's
    // depth, components and connected properties to match.
    void connect(HostImage *connected);
    // Says the clip is of this depth, whatever image is connected, until the
    // next connect: a host that hands images of a depth nobody declared.
    void reportDepth(Depth depth);
};

class EffectObject {
    Live<EffectObject> live_{this};

public:
    explicit EffectObject(bool instance, const std::string &context = std::string());

    const bool instance;
    PropertyStore props;
    ParamSetObject params;
    std::map<std::string, std::unique_ptr<ClipObject>> clips;
    std::vector<std::string> clipOrder;

    ClipObject *findClip(const std::string &name) const;
    ClipObject *defineClip(const std::string &name);
};

// What an image says of itself beyond its pixels.
struct ImageTraits {
    OfxRectI regionOfDefinition{0, 0, 0, 0};  // in pixels
    double renderScale = 1.0;
    bool withRenderScale = true;
    void *deviceMemory = nullptr;  // a GPU host's buffer: the image's data, rows bottom up
    int deviceRowBytes = 0;
    bool deviceImage = false;  // deviceMemory is a 2-D image, lent in its own property
};

// An image handed to the plug-in by clipGetImage: its handle is its property set.
class ImageObject : public PropertyStore {
    Live<ImageObject> live_{this};

public:
    // A whole image at full scale: its region of definition is its bounds.
    explicit ImageObject(const HostImage &image);
    ImageObject(const HostImage &image, const ImageTraits &traits);
};

// Property defaults of a parameter of this type; false for an unknown type.
bool defineParamProperties(PropertyStore &props, const std::string &type, const std::string &name);

}  // namespace ofxhost
