#pragma once

// Rendering over an input would destroy it. Files are compared, not names:
// an output is refused when it is the same file as any input of the render
// (device and inode, after following links), however either is reached: a
// symbolic or hard link, another spelling, another mount of the folder.

#include <set>
#include <string>
#include <utility>

#include "frame_pattern.h"
#include "frame_range.h"

class InputGuard {
public:
    // Takes note of every input file of the frames that exists now.
    InputGuard(const FramePattern &input, const FrameList &frames);
    // Throws UsageError when the output is one of the inputs.
    void refuse(const std::string &output) const;

private:
    std::set<std::pair<unsigned long long, unsigned long long>> inputs_;
};
