#include "param_values.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <sstream>

#include "cli_error.h"

namespace {

std::string trim(const std::string &s)
{
    const auto a = s.find_first_not_of(" \t");
    const auto b = s.find_last_not_of(" \t");
    return a == std::string::npos ? std::string() : s.substr(a, b - a + 1);
}

bool parseNumber(const std::string &text, double &out)
{
    const std::string t = trim(text);
    if (t.empty())
        return false;
    errno = 0;
    char *end = nullptr;
    out = std::strtod(t.c_str(), &end);
    return errno == 0 && end == t.c_str() + t.size() && std::isfinite(out);
}

std::string formatNumber(double v)
{
    std::ostringstream s;
    s << v;
    return s.str();
}

std::string knownNames(const ofxhost::EffectInfo &info)
{
    std::string names;
    for (const auto &p : info.params) {
        if (p.type == "OfxParamTypePage" || p.type == "OfxParamTypeGroup")
            continue;
        names += (names.empty() ? "" : ", ") + p.name;
    }
    return names;
}

double parseValue(const std::string &text, const ofxhost::ParamInfo &p)
{
    const std::string t = trim(text);
    if (p.type == "OfxParamTypeBoolean") {
        if (t == "1" || t == "true" || t == "on" || t == "yes")
            return 1.0;
        if (t == "0" || t == "false" || t == "off" || t == "no")
            return 0.0;
        throw UsageError("parameter " + p.name + " is a boolean: use true/false, on/off, yes/no or 1/0, not '" + t + "'");
    }
    double v = 0.0;
    if (p.type == "OfxParamTypeInteger" || p.type == "OfxParamTypeChoice") {
        if (!parseNumber(t, v) || v != std::floor(v))
            throw UsageError("parameter " + p.name + " is an integer, not '" + t + "'");
    } else if (p.type == "OfxParamTypeDouble") {
        if (!parseNumber(t, v))
            throw UsageError("parameter " + p.name + " is a number, not '" + t + "'");
    } else {
        throw UsageError("parameter " + p.name + " of type " + p.type + " cannot be set from the command line");
    }
    const double min = p.min.empty() ? -HUGE_VAL : p.min[0];
    const double max = p.max.empty() ? HUGE_VAL : p.max[0];
    if (v < min || v > max)
        throw UsageError("parameter " + p.name + " must lie in " + formatNumber(min) + ".." + formatNumber(max) +
                       ", not " + t);
    return v;
}

}  // namespace

ParamSetting parseParamSetting(const std::string &text, const ofxhost::EffectInfo &info)
{
    const auto eq = text.find('=');
    if (eq == std::string::npos || eq == 0)
        throw UsageError("--param needs NAME=VALUE, not '" + text + "'");
    ParamSetting setting;
    setting.name = trim(text.substr(0, eq));
    const ofxhost::ParamInfo *p = info.param(setting.name);
    if (!p || p->type == "OfxParamTypePage" || p->type == "OfxParamTypeGroup")
        throw UsageError("unknown parameter '" + setting.name + "' (known: " + knownNames(info) + ")");
    const std::string value = text.substr(eq + 1);
    if (value.find('@') == std::string::npos) {
        setting.keys.push_back({0.0, parseValue(value, *p)});
        return setting;
    }
    setting.animated = true;
    std::stringstream keys(value);
    std::string key;
    while (std::getline(keys, key, ',')) {
        const auto at = key.find('@');
        double frame = 0.0;
        if (at == std::string::npos || !parseNumber(key.substr(at + 1), frame))
            throw UsageError("keyframe of " + setting.name + " needs VALUE@FRAME, not '" + key + "'");
        setting.keys.push_back({frame, parseValue(key.substr(0, at), *p)});
    }
    if (setting.keys.empty())
        throw UsageError("parameter " + setting.name + " has no keyframes");
    return setting;
}

void applyParamSetting(ofxhost::Instance &instance, const ParamSetting &setting)
{
    if (!setting.animated) {
        instance.setValue(setting.name, {setting.keys.front().second});
        return;
    }
    for (const auto &key : setting.keys)
        instance.setKey(setting.name, key.first, {key.second});
}
