#pragma once

// A hash of a byte stream that does not depend on how the stream is cut
// into pieces: what is written row by row and what reads back band by band
// give the same value. Bytes gather into 8-byte words, each mixed in at
// once, so a frame costs a fraction of a pass over memory. It finds a
// writer's mistakes, not an adversary's.

#include <cstddef>
#include <cstdint>
#include <cstring>

class StreamHash {
public:
    void add(const unsigned char *data, std::size_t size)
    {
        total_ += size;
        while (size > 0 && used_ > 0) {
            pending_[used_++] = *data++;
            --size;
            if (used_ == 8) {
                mix(word(pending_));
                used_ = 0;
            }
        }
        for (; size >= 8; data += 8, size -= 8)
            mix(word(data));
        // What is left waits for the next piece; pending bytes stay pending
        // when this piece was too short to complete their word.
        std::memcpy(pending_ + used_, data, size);
        used_ += size;
    }

    std::uint64_t value() const
    {
        StreamHash end = *this;
        std::memset(end.pending_ + end.used_, 0, 8 - end.used_);
        end.mix(word(end.pending_));
        end.mix(total_);
        return end.hash_;
    }

private:
    static std::uint64_t word(const unsigned char *bytes)
    {
        std::uint64_t w;
        std::memcpy(&w, bytes, 8);
        return w;
    }
    void mix(std::uint64_t w)
    {
        hash_ = (hash_ ^ w) * 0x100000001b3ULL;
        hash_ ^= hash_ >> 29;
    }

    std::uint64_t hash_ = 1469598103934665603ULL;
    std::uint64_t total_ = 0;
    unsigned char pending_[8] = {};
    std::size_t used_ = 0;
};
