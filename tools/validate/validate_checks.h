#pragma once

#include <functional>
#include <string>
#include <vector>

#include "plugin_ref.h"

// One validation check: it runs in a child process of its own, on the
// plug-in, and fails by throwing CheckFailure.
struct ValidateCheck {
    std::string name;
    std::function<void(const PluginRef &plugin, unsigned seed)> run;
};

const std::vector<ValidateCheck> &validateChecks();

// The checks of the host profiles are named this prefix and the profile's name.
constexpr const char *kHostCheckPrefix = "hosts.";
std::vector<ValidateCheck> hostProfileChecks();
