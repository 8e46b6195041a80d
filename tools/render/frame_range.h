#pragma once

// The frames of a render, from --frames in the VFX tools' notation:
// "A", "A-B", "A-BxN" (every Nth frame; B before A counts down), and
// comma-separated lists of those. Any frames of the int range can be named.
// The list is kept as its segments and walked in 64-bit arithmetic, so no
// range, however long, is spelt out in memory and no end can overflow.

#include <cstdint>
#include <string>
#include <vector>

struct FrameSegment {
    int first = 0, last = 0;
    int step = 1;  // > 0; the segment counts down when last < first
    std::int64_t count() const;
    int at(std::int64_t index) const;
};

class FrameList {
public:
    FrameList() = default;
    explicit FrameList(std::vector<FrameSegment> segments) : segments_(std::move(segments)) {}
    // Each frame as a segment of its own.
    static FrameList of(const std::vector<int> &frames);

    std::int64_t count() const;
    bool contains(int frame) const;
    bool empty() const { return count() == 0; }

    template <typename Visit>
    void forEach(Visit &&visit) const
    {
        for (const FrameSegment &s : segments_)
            for (std::int64_t i = 0, n = s.count(); i < n; ++i)
                visit(s.at(i));
    }

private:
    std::vector<FrameSegment> segments_;
};

// Throws UsageError with the reason: not a frame list, a number outside the
// int range, or a step that is not positive.
FrameList parseFrameList(const std::string &text, const std::string &option = "--frames");

// Frames written back as a --frames list: runs of consecutive frames as
// "A-B", in the order given ("12,40-42").
std::string frameListText(const std::vector<int> &frames);

// The list cut into chunks of `size` frames in its order (the last may be
// shorter), each as a --frames list.
std::vector<std::string> frameChunks(const FrameList &frames, std::int64_t size);
