#pragma once

// What an output file does not hold of its input. The written file is
// read back (its header only) and compared with what was asked of the
// writer: a pixel type it changed, channels or windows it dropped, and the
// input's metadata it did not keep. Formats differ in all of these, and no
// writer says what it left out.

#include <OpenImageIO/imageio.h>

#include <optional>
#include <string>
#include <vector>

// "" when nothing is lost, else the losses in one phrase: "keeps uint8 of
// half; drops channels A; drops metadata smpte:TimeCode, FramesPerSecond".
// `inputChannels` are the input's channels that the output should have
// (under the same names). Nothing when the file cannot be read back at all.
std::optional<std::string> outputLosses(const std::string &file,
                         const OIIO::ImageSpec &asked, const OIIO::ImageSpec &input,
                         const std::vector<std::string> &inputChannels);
