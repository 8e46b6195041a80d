#pragma once

#include <optional>
#include <string>

// A file name for a frame: a run of '#' becomes the frame number padded to
// as many digits, a printf "%0Nd" is formatted; other names stand as they are.
bool isFramePattern(const std::string &pattern);
std::string frameFileName(const std::string &pattern, int frame);

// The frame whose file name under the pattern this is, if it is one.
std::optional<long long> frameOfFileName(const std::string &pattern, const std::string &name);
