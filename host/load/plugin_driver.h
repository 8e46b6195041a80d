#pragma once

// Driving one image-effect plug-in as a host application does: load,
// describe, describe in a context, read back the declarations as plain data,
// create instances, render, destroy, unload.

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "ofx/ofx_core.h"
#include "suites/host_objects.h"

namespace ofxhost {

struct ParamInfo {
    std::string name, type, label, shortLabel, longLabel, hint;
    bool animates = false;
    std::vector<double> defaults, min, max, displayMin, displayMax;
    std::string textDefault;
    std::vector<std::string> pageChildren;
    std::vector<std::string> choiceOptions;
};

struct ClipInfo {
    std::string name;
    std::vector<std::string> components;
    bool optional = false, isMask = false, supportsTiles = false, temporalClipAccess = false;
};

struct EffectInfo {
    std::string label, shortLabel, longLabel, grouping, description, renderThreadSafety;
    // What describe said of GPU rendering, by property name ("true", "false" or "" when unset).
    std::vector<std::pair<std::string, std::string>> gpuSupport;
    std::vector<std::string> contexts, depths;
    bool singleInstance = false, hostFrameThreading = false, supportsMultiResolution = false,
         supportsTiles = false, temporalClipAccess = false, fieldRenderTwiceAlways = false,
         multipleClipPARs = false, multipleClipDepths = false;
    std::vector<ClipInfo> clips;    // in definition order
    std::vector<ParamInfo> params;  // in definition order
    const ParamInfo *param(const std::string &name) const;
};

class Instance;

class Plugin {
public:
    // Checks the record and hands it our host record through setHost.
    explicit Plugin(OfxPlugin *record);
    ~Plugin();
    Plugin(const Plugin &) = delete;
    Plugin &operator=(const Plugin &) = delete;

    OfxPlugin *record() const { return record_; }
    std::string identifier() const;
    unsigned versionMajor() const { return record_->pluginVersionMajor; }
    unsigned versionMinor() const { return record_->pluginVersionMinor; }

    OfxStatus action(const char *action, const void *handle, PropertyStore *inArgs, PropertyStore *outArgs);
    OfxStatus load();
    OfxStatus unload();
    bool loaded() const { return loaded_; }
    OfxStatus describe();
    OfxStatus describeInContext(const std::string &context);

    EffectObject *descriptor() const;
    EffectObject *contextDescriptor(const std::string &context) const;
    // What the plug-in declared: effect properties from describe, clips and
    // parameters from describe in the given context.
    EffectInfo info(const std::string &context) const;

    // Null (and the status set) when the plug-in refused the instance.
    std::unique_ptr<Instance> createInstance(const std::string &context, OfxStatus *status = nullptr);

    // "OfxImageEffectRenderInstanceSafe" unless describe said otherwise.
    std::string renderThreadSafety() const;
    // Describe said "true" for "OfxImageEffectPropOpenCLRenderSupported".
    bool supportsOpenCLBuffers() const;
    // ... and for "OfxImageEffectPropOpenCLSupported" (2-D images).
    bool supportsOpenCLImages() const;
    // The effect and every clip of the context declare tiles.
    bool supportsTiles(const std::string &context) const;
    // Held around each render of a plug-in that declares itself unsafe.
    std::mutex &unsafeRenderLock() { return unsafeRenders_; }

private:
    OfxPlugin *record_;
    std::mutex unsafeRenders_;
    bool loaded_ = false;
    std::vector<std::unique_ptr<EffectObject>> descriptors_;  // every describe's handle, kept until we go
    EffectObject *descriptor_ = nullptr;
    std::map<std::string, EffectObject *> contextDescriptors_;
};

class Instance {
public:
    Instance(Plugin &plugin, std::unique_ptr<EffectObject> object);
    ~Instance();
    Instance(const Instance &) = delete;
    Instance &operator=(const Instance &) = delete;

    EffectObject &object() { return *object_; }
    OfxImageEffectHandle handle() { return reinterpret_cast<OfxImageEffectHandle>(object_.get()); }
    Plugin &plugin() { return plugin_; }
    const std::string &context() const { return context_; }
    // Held around each render of an instance-safe plug-in's instance.
    std::mutex &renderLock() { return renders_; }

    // Connects an image to a clip for every time (null disconnects).
    void connect(const std::string &clip, HostImage *image);
    // Sets a parameter's value (dropping its keys), or a key at a time.
    void setValue(const std::string &param, std::vector<double> value);
    void setText(const std::string &param, const std::string &text);
    void setKey(const std::string &param, double time, std::vector<double> value);
    ParamObject *param(const std::string &name);

    // With a queue, as a GPU host: the images are on its OpenCL device.
    OfxStatus render(double time, const OfxRectI &window, double renderScale = 1.0, void *openCLQueue = nullptr);
    // Asks the regions of interest of the input clips for a window (canonical
    // coordinates); a clip the effect leaves alone keeps the window.
    OfxStatus regionsOfInterest(double time, double renderScale, const OfxRectD &window,
                                std::map<std::string, OfxRectD> &regions);
    // Takes over another instance's parameter values and clip connections,
    // as a host does for a new instance of the same node.
    void copySettingsFrom(Instance &other);
    OfxStatus action(const char *action, PropertyStore *inArgs, PropertyStore *outArgs);
    // Sends the destroy action once; the destructor sends it if not yet sent.
    OfxStatus destroy();

private:
    Plugin &plugin_;
    std::unique_ptr<EffectObject> object_;
    std::string context_;
    std::mutex renders_;
    bool destroyed_ = false;
};

}  // namespace ofxhost
