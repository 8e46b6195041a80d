#pragma once

// Setting and clearing environment variables from a test, on either system.

#include <cstdlib>
#include <string>

inline void setEnvironment(const std::string &name, const std::string &value)
{
#ifdef _WIN32
    _putenv_s(name.c_str(), value.c_str());
#else
    setenv(name.c_str(), value.c_str(), 1);
#endif
}

inline void clearEnvironment(const std::string &name)
{
#ifdef _WIN32
    _putenv_s(name.c_str(), "");
#else
    unsetenv(name.c_str());
#endif
}
