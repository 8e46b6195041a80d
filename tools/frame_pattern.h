#pragma once

#include <string>

// A file name for a frame: a run of '#' becomes the frame number padded to
// as many digits, a printf "%0Nd" is formatted; other names stand as they are.
bool isFramePattern(const std::string &pattern);
std::string frameFileName(const std::string &pattern, int frame);
