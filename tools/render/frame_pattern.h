#pragma once

// The file of each frame of a sequence. In the file name (never its folder)
// the frame group is the frame number, in the notation of the VFX tools:
// the first run of `#` (four digits each) or `@` (one digit each, so `@@@`
// is three), and a name like `in.1-10#.exr` also names its frames. A name
// without such a run may use printf's `%d`, `%Nd` or `%0Nd` instead, padded
// as printf pads (there "%%" is one %); any other % is the character. A
// name without a group names the same file for every frame.

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

    // printf's widths beyond this are refused (UsageError): no file name holds them.
    static constexpr int kMaxFrameWidth = 200;

private:
    static std::string literal(const std::string &part);  // "%%" as "%"

    std::string text_, folder_, prefix_, suffix_, embeddedFrames_;
    bool group_ = false;
    int width_ = 0;        // characters; 0 for none
    bool spaces_ = false;  // padded with spaces, as printf's %Nd
};
