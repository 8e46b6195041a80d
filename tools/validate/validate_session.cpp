#include "validate_session.h"

#include <cmath>
#include <cstring>
#include <limits>

#include "status_text.h"

using namespace ofxhost;

void require(bool condition, const std::string &reason)
{
    if (!condition)
        throw CheckFailure(reason);
}

std::string statusName(OfxStatus status)
{
    return statusText(status);
}

ValidateSession::ValidateSession(const PluginRef &plugin)
{
    try {
        binary_ = std::make_unique<PluginBinary>(plugin.path);
    } catch (const HostError &e) {
        throw CheckFailure(e.what());
    }
    require(binary_->count() > plugin.index, "the binary declares no plug-in " + std::to_string(plugin.index));
    OfxPlugin *record = binary_->plugin(plugin.index);
    require(record != nullptr,
            "plug-in " + std::to_string(plugin.index) + " is not an image effect of API version 1");
    plugin_ = std::make_unique<Plugin>(record);
}

void ValidateSession::prepare()
{
    OfxStatus s = plugin_->load();
    require(s == kOfxStatOK || s == kOfxStatReplyDefault, "load answered " + statusName(s));
    s = plugin_->describe();
    require(s == kOfxStatOK, "describe answered " + statusName(s));
    const auto contexts = plugin_->info("").contexts;
    require(!contexts.empty(), "no supported context declared");
    context_ = contexts.front();
    for (const auto &c : contexts)
        if (c == "OfxImageEffectContextFilter")
            context_ = c;
    s = plugin_->describeInContext(context_);
    require(s == kOfxStatOK, "describe in " + context_ + " answered " + statusName(s));
    info_ = plugin_->info(context_);
}

std::vector<Depth> ValidateSession::depths() const
{
    std::vector<Depth> out;
    for (const auto &d : info_.depths) {
        if (d == "OfxBitDepthByte")
            out.push_back(Depth::Byte);
        else if (d == "OfxBitDepthShort")
            out.push_back(Depth::Short);
        else if (d == "OfxBitDepthFloat")
            out.push_back(Depth::Float);
    }
    return out;
}

std::unique_ptr<Instance> ValidateSession::createInstance()
{
    OfxStatus s = kOfxStatOK;
    auto instance = plugin_->createInstance(context_, &s);
    require(instance != nullptr, "create instance answered " + statusName(s));
    return instance;
}

void ValidateSession::randomParams(Instance &instance, std::mt19937 &rng)
{
    for (const auto &p : info_.params) {
        ParamObject *param = instance.param(p.name);
        if (!param || !param->isNumeric())
            continue;
        std::vector<double> v(static_cast<std::size_t>(param->components()));
        for (std::size_t i = 0; i < v.size(); ++i) {
            double lo = i < p.min.size() ? p.min[i] : 0.0, hi = i < p.max.size() ? p.max[i] : 1.0;
            // Unbounded ranges are sampled over the display range, or a modest span.
            if (lo < -1e6 || hi > 1e6) {
                lo = i < p.displayMin.size() && p.displayMin[i] > -1e6 ? p.displayMin[i] : -100.0;
                hi = i < p.displayMax.size() && p.displayMax[i] < 1e6 ? p.displayMax[i] : 100.0;
            }
            if (hi < lo)
                std::swap(lo, hi);
            const double u = std::uniform_real_distribution<double>(0.0, 1.0)(rng);
            v[i] = lo + (hi - lo) * u;
            if (param->isIntegral())
                v[i] = std::floor(v[i] + 0.5);
            if (p.type == "OfxParamTypeBoolean")
                v[i] = rng() % 2;
        }
        instance.setValue(p.name, v);
    }
}

void ValidateSession::randomKeys(Instance &instance, std::mt19937 &rng, const std::vector<double> &times)
{
    for (double time : times) {
        randomParams(instance, rng);
        for (const auto &p : info_.params)
            if (ParamObject *param = instance.param(p.name); param && param->isNumeric())
                instance.setKey(p.name, time, param->value);
    }
}

void ValidateSession::hostileParams(Instance &instance, std::mt19937 &rng)
{
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    for (const auto &p : info_.params) {
        ParamObject *param = instance.param(p.name);
        if (!param || !param->isNumeric())
            continue;
        std::vector<double> v(static_cast<std::size_t>(param->components()));
        for (double &x : v) {
            if (param->isIntegral()) {
                const double picks[] = {-2147483648.0, -1.0, 0.0, 2.0, 11.0, 1000000.0, 2147483647.0};
                x = picks[rng() % 7];
            } else {
                const double picks[] = {nan, inf, -inf, -1e308, 1e308, -361.0, 720.5, 1e-310};
                x = picks[rng() % 8];
            }
        }
        instance.setValue(p.name, v);
    }
}

ValidateSession::Frame ValidateSession::makeFrame(const ImageLayout &layout, std::mt19937 &rng)
{
    Frame f;
    for (const auto &clip : info_.clips) {
        if (clip.name == "Output")
            continue;
        auto image = std::make_unique<HostImage>(layout);
        for (int y = layout.bounds.y1; y < layout.bounds.y2; ++y) {
            unsigned char *row = image->pixel(layout.bounds.x1, y);
            for (int i = 0; i < image->width() * image->pixelBytes(); ++i)
                row[i] = static_cast<unsigned char>(rng());
        }
        f.inputs.push_back(std::move(image));
    }
    f.output = std::make_unique<HostImage>(layout);
    f.output->fill(0xAB);
    return f;
}

void ValidateSession::connect(Instance &instance, Frame &frame)
{
    std::size_t next = 0;
    for (const auto &clip : info_.clips) {
        if (clip.name == "Output")
            instance.connect(clip.name, frame.output.get());
        else
            instance.connect(clip.name, next < frame.inputs.size() ? frame.inputs[next++].get() : nullptr);
    }
}

bool untouchedOutside(const HostImage &image, const OfxRectI &w, unsigned char sentinel)
{
    const OfxRectI &b = image.bounds();
    for (int y = b.y1; y < b.y2; ++y)
        for (int x = b.x1; x < b.x2; ++x) {
            if (x >= w.x1 && x < w.x2 && y >= w.y1 && y < w.y2)
                continue;
            const unsigned char *p = image.pixel(x, y);
            for (int i = 0; i < image.pixelBytes(); ++i)
                if (p[i] != sentinel)
                    return false;
        }
    return true;
}

bool sameBytes(const HostImage &a, const HostImage &b)
{
    if (a.bounds().x1 != b.bounds().x1 || a.bounds().y1 != b.bounds().y1 || a.width() != b.width() ||
        a.height() != b.height() || a.pixelBytes() != b.pixelBytes())
        return false;
    for (int y = a.bounds().y1; y < a.bounds().y2; ++y)
        if (std::memcmp(a.pixel(a.bounds().x1, y), b.pixel(b.bounds().x1, y),
                        static_cast<std::size_t>(a.width()) * a.pixelBytes()) != 0)
            return false;
    return true;
}
