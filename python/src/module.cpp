// The native half of the `zelvo` package: plug-ins opened in this process
// and arrays rendered through them. The Python half (zelvo/__init__.py)
// checks what callers pass and says what went wrong in their terms.

#include <nanobind/nanobind.h>
#include <nanobind/ndarray.h>
#include <nanobind/stl/optional.h>
#include <nanobind/stl/pair.h>
#include <nanobind/stl/string.h>
#include <nanobind/stl/tuple.h>
#include <nanobind/stl/vector.h>

#include "array_image.h"
#include "effect_session.h"
#include "load/plugin_binary.h"
#include "output_memory.h"
#include "render/opencl_device.h"
#include "status_text.h"
#include "suites/host.h"

namespace nb = nanobind;
using namespace nb::literals;

namespace {

using zelvopy::ArrayView;

ofxhost::Depth depthOf(const nb::dlpack::dtype &type)
{
    if (type == nb::dtype<std::uint8_t>())
        return ofxhost::Depth::Byte;
    if (type == nb::dtype<std::uint16_t>())
        return ofxhost::Depth::Short;
    if (type == nb::dtype<float>())
        return ofxhost::Depth::Float;
    throw nb::type_error("arrays must be uint8, uint16 or float32");
}

template <class Array>
ArrayView viewOf(const Array &a, const char *name)
{
    if (a.ndim() != 3 || a.shape(2) != 4)
        throw nb::value_error((std::string(name) + " must be height x width x 4 (RGBA)").c_str());
    ArrayView v;
    v.data = const_cast<void *>(static_cast<const void *>(a.data()));
    v.depth = depthOf(a.dtype());
    v.height = static_cast<std::int64_t>(a.shape(0));
    v.width = static_cast<std::int64_t>(a.shape(1));
    const std::int64_t item = v.itemBytes();
    v.rowStride = a.stride(0) * item;
    v.pixelStride = a.stride(1) * item;
    v.channelStride = a.stride(2) * item;
    return v;
}

std::vector<std::string> depthNames(const std::vector<std::string> &depths)
{
    std::vector<std::string> out;
    for (const auto &d : depths)
        out.push_back(d == "OfxBitDepthByte" ? "uint8" : d == "OfxBitDepthShort" ? "uint16" : d == "OfxBitDepthFloat" ? "float32" : d);
    return out;
}

nb::dict infoOf(const zelvopy::EffectSession &s)
{
    const ofxhost::EffectInfo &i = s.info();
    const ofxhost::EffectInfo general = s.plugin().info("");
    nb::dict d;
    d["identifier"] = s.plugin().identifier();
    d["version"] = nb::make_tuple(s.plugin().versionMajor(), s.plugin().versionMinor());
    d["path"] = s.path();
    d["context"] = s.context();
    d["label"] = general.label;
    d["description"] = general.description;
    d["grouping"] = general.grouping;
    d["depths"] = depthNames(general.depths);
    d["render_thread_safety"] = general.renderThreadSafety;
    d["tiles"] = s.plugin().supportsTiles(s.context());
    d["opencl"] = s.plugin().supportsOpenCLBuffers() || s.plugin().supportsOpenCLImages();
    d["source_clip"] = s.sourceClip();
    nb::list params;
    for (const auto &p : i.params) {
        nb::dict q;
        q["name"] = p.name;
        q["type"] = p.type;
        q["label"] = p.label;
        q["hint"] = p.hint;
        q["default"] = p.defaults;
        q["min"] = p.min;
        q["max"] = p.max;
        q["display_min"] = p.displayMin;
        q["display_max"] = p.displayMax;
        q["options"] = p.choiceOptions;
        q["text_default"] = p.textDefault;
        q["animates"] = p.animates;
        params.append(q);
    }
    d["params"] = params;
    return d;
}

// Renders `src` into `out` (same height and width). Either array is used
// in place when it can be; a source that cannot be lent, or that shares
// memory with the output, is copied once, and so is an output that cannot.
nb::dict render(zelvopy::EffectSession &session, nb::ndarray<nb::ro, nb::device::cpu> src,
                nb::ndarray<nb::device::cpu> out, double time, std::vector<zelvopy::ParamSetting> params,
                int tileWidth, int tileHeight, const std::string &gpu)
{
    const ArrayView in = viewOf(src, "src");
    const ArrayView to = viewOf(out, "out");
    if (in.height != to.height || in.width != to.width || in.depth != to.depth)
        throw nb::value_error("out must have src's height, width and dtype");
    zelvopy::RenderRequest request;
    request.time = time;
    request.params = std::move(params);
    request.habits = tileWidth > 0 || tileHeight > 0 ? ofxhost::tiledHabits(tileWidth, tileHeight)
                                                     : ofxhost::RenderHabits();
    request.habits.openCL = gpu != "off";
    if (gpu == "opencl-images")
        request.habits.deviceMemory = ofxhost::RenderHabits::DeviceMemory::Images;
    const bool copySource = !in.lendable() || zelvopy::overlap(in, to);
    const bool copyOutput = !to.lendable();
    ofxhost::FrameResult result;
    if (in.height > 0 && in.width > 0) {
        nb::gil_scoped_release unlocked;
        auto source = copySource ? zelvopy::copyArray(in) : zelvopy::lendArray(in);
        ofxhost::ImageLayout layout = source->layout();
        layout.negativeRowBytes = true;
        layout.rowPadding = 0;
        auto output = copyOutput ? std::make_unique<ofxhost::HostImage>(layout) : zelvopy::lendArray(to);
        result = session.render(source.get(), *output, request);
        if (copyOutput && result.ok())
            zelvopy::copyIntoArray(*output, to);
    }
    nb::dict d;
    d["status"] = statusText(result.status);
    d["wrote_outside"] = result.wroteOutside || result.wroteOnFailure;
    d["window"] = nb::make_tuple(result.window.x1, result.window.y1, result.window.x2, result.window.y2);
    d["windows"] = result.windows;
    d["device_windows"] = result.deviceRenders;
    d["image_windows"] = result.imageRenders;
    d["device_refusal"] = result.deviceRefusal == kOfxStatOK ? std::string() : statusText(result.deviceRefusal);
    d["source_copied"] = copySource;
    d["output_copied"] = copyOutput;
    return d;
}

// A frame in the host's own images (guard pages, rows bottom up), rendered
// through a session as our C++ host renders: the benchmark's measure of the
// plug-in's own time, taken in the same process as the arrays' renders.
class HostFrame {
public:
    HostFrame(zelvopy::EffectSession &session, int width, int height, const std::string &dtype)
        : session_(session)
    {
        ofxhost::ImageLayout layout;
        layout.depth = dtype == "uint8" ? ofxhost::Depth::Byte : dtype == "uint16" ? ofxhost::Depth::Short
                                                                                    : ofxhost::Depth::Float;
        layout.bounds = {0, 0, width, height};
        source_ = std::make_unique<ofxhost::HostImage>(layout);
        output_ = std::make_unique<ofxhost::HostImage>(layout);
        source_->fill(0x5A);
        output_->fill(0);
    }
    std::string render(std::vector<zelvopy::ParamSetting> params)
    {
        zelvopy::RenderRequest request;
        request.params = std::move(params);
        nb::gil_scoped_release unlocked;
        return statusText(session_.render(source_.get(), *output_, request).status);
    }

private:
    zelvopy::EffectSession &session_;
    std::unique_ptr<ofxhost::HostImage> source_, output_;
};

// A new height x width x 4 array of the dtype, in output memory
// (output_memory.h): its contents are whatever the memory held.
nb::object newImage(std::size_t height, std::size_t width, const std::string &dtype)
{
    const std::size_t item = dtype == "uint8" ? 1 : dtype == "uint16" ? 2 : 4;
    const std::size_t shape[3] = {height, width, 4};
    if (width && height > SIZE_MAX / width / 4 / item)
        throw std::bad_alloc();
    void *block = zelvopy::takeOutputMemory(height * width * 4 * item);
    nb::capsule owner(block, [](void *p) noexcept { zelvopy::giveOutputMemory(p); });
    if (item == 1)
        return nb::cast(nb::ndarray<nb::numpy, std::uint8_t, nb::ndim<3>>(block, 3, shape, owner));
    if (item == 2)
        return nb::cast(nb::ndarray<nb::numpy, std::uint16_t, nb::ndim<3>>(block, 3, shape, owner));
    return nb::cast(nb::ndarray<nb::numpy, float, nb::ndim<3>>(block, 3, shape, owner));
}

// What a binary declares, read in this process (a probe's child does it):
// an empty identifier for an index without a record.
std::vector<std::tuple<std::string, unsigned, unsigned>> records(const std::string &path)
{
    const ofxhost::PluginBinary binary(path);
    std::vector<std::tuple<std::string, unsigned, unsigned>> out;
    for (const ofxhost::DeclaredRecord &r : ofxhost::declaredRecords(binary))
        out.emplace_back(r.identifier, r.versionMajor, r.versionMinor);
    return out;
}

}  // namespace

NB_MODULE(_zelvo, m)
{
    m.doc() = "The native half of zelvo: OFX plug-ins opened in this process.";
    nb::exception<ofxhost::HostError>(m, "LoadError", PyExc_RuntimeError);

    nb::class_<zelvopy::ParamSetting>(m, "ParamSetting")
        .def(nb::init<>())
        .def_rw("name", &zelvopy::ParamSetting::name)
        .def_rw("value", &zelvopy::ParamSetting::value)
        .def_rw("keys", &zelvopy::ParamSetting::keys)
        .def_rw("text", &zelvopy::ParamSetting::text);

    nb::class_<zelvopy::EffectSession>(m, "Session")
        .def(nb::init<const std::string &, int>(), "path"_a, "index"_a = 0,
             nb::call_guard<nb::gil_scoped_release>())
        .def("info", &infoOf)
        .def("render", &render, "src"_a, "out"_a, "time"_a, "params"_a, "tile_width"_a, "tile_height"_a, "gpu"_a);

    nb::class_<HostFrame>(m, "HostFrame")
        .def(nb::init<zelvopy::EffectSession &, int, int, const std::string &>(), nb::keep_alive<1, 2>())
        .def("render", &HostFrame::render);

    m.def("new_image", &newImage, "height"_a, "width"_a, "dtype"_a);
    m.def("records", &records, "path"_a);
    m.def("binary_of", &ofxhost::resolveBinaryPath, "path"_a);
    m.def("search_path_binaries", [] {
        std::vector<std::string> skipped;
        std::vector<std::string> found = ofxhost::discoverPluginBinaries(&skipped);
        return std::make_pair(found, skipped);
    });
    m.def("search_directories", &ofxhost::searchDirectories);
    m.def("opencl_device", [] { return ofxhost::OpenCLDevice::get() != nullptr; },
          nb::call_guard<nb::gil_scoped_release>());
    // The most render actions that ran at once since the last call.
    m.def("renders_at_once", [] { return ofxhost::Host::instance().mostRendersAtOnce.exchange(0); });
    m.def("device_windows", [] {
        ofxhost::OpenCLDevice *device = ofxhost::OpenCLDevice::get();
        return device ? device->deviceRenders.load() : 0u;
    });
}
