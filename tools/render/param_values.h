#pragma once

// Parameter settings from the command line, NAME=VALUE or animated as
// NAME=V1@F1,V2@F2,..., checked against what the plug-in declared.

#include <string>
#include <utility>
#include <vector>

#include "load/plugin_driver.h"

struct ParamSetting {
    std::string name;
    std::vector<std::pair<double, double>> keys;  // (frame, value); one key without a frame is a constant
    bool animated = false;
};

// Throws CliError naming the parameter and what is allowed.
ParamSetting parseParamSetting(const std::string &text, const ofxhost::EffectInfo &info);
void applyParamSetting(ofxhost::Instance &instance, const ParamSetting &setting);
