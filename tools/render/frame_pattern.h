#pragma once

// The file of each frame of a sequence. In the file name (never its folder)
// the first frame group is the frame number, in the notation of the VFX
// tools: `#` stands for four digits, `@` for one (so `@@@` is three), and
// `%0Nd` or `%d` as in printf; a name like `in.1-10#.exr` also names its
// frames. A name without a group names the same file for every frame.

#include <optional>
#include <string>
#include <vector>

class FramePattern {
public:
    explicit FramePattern(const std::string &text);

    bool isSequence() const { return group_; }
    const std::string &text() const { return text_; }
    // Frames written into the name itself ("1-10" of in.1-10#.exr), or "".
    const std::string &embeddedFrames() const { return embeddedFrames_; }

    std::string name(int frame) const;
    // The frame whose file this name is, spelt exactly as name() spells it.
    std::optional<int> frameOf(const std::string &name) const;
    // Frames whose files exist, in order.
    std::vector<int> existingFrames() const;

private:
    std::string text_, folder_, prefix_, suffix_, embeddedFrames_;
    bool group_ = false;
    int width_ = 0;  // digits, zero padded; 0 for none
};
