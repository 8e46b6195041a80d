// The read-back's hash must not depend on how a stream is cut: a writer
// handed pixels one at a time and a reader decoding whole bands hash the
// same bytes to the same value, and any changed byte changes it.

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "../../tools/render/stream_hash.h"

namespace {

std::uint64_t hashInPieces(const std::vector<unsigned char> &bytes, std::mt19937 &rng, std::size_t most)
{
    StreamHash h;
    for (std::size_t at = 0; at < bytes.size();) {
        const std::size_t piece = std::min(bytes.size() - at, std::size_t(rng() % most));
        h.add(bytes.data() + at, piece);
        at += piece;
    }
    return h.value();
}

}  // namespace

TEST(StreamHash, TheSameWhereverTheStreamIsCut)
{
    std::mt19937 rng(7);
    std::vector<unsigned char> bytes(4099);
    for (auto &b : bytes)
        b = static_cast<unsigned char>(rng());
    StreamHash whole;
    whole.add(bytes.data(), bytes.size());
    for (std::size_t most : {2, 4, 9, 17, 300})  // pixels of 1 to 4 bytes, rows, anything
        EXPECT_EQ(hashInPieces(bytes, rng, most), whole.value()) << "pieces up to " << most - 1;
    // Three-byte pixels, as an RGB output of an RGBA strip is hashed.
    StreamHash pixels;
    for (std::size_t at = 0; at + 3 <= bytes.size(); at += 3)
        pixels.add(bytes.data() + at, 3);
    pixels.add(bytes.data() + bytes.size() - bytes.size() % 3, bytes.size() % 3);
    EXPECT_EQ(pixels.value(), whole.value());

    for (std::size_t at : {std::size_t(0), std::size_t(1), bytes.size() / 2, bytes.size() - 1}) {
        std::vector<unsigned char> changed = bytes;
        changed[at] ^= 1;
        StreamHash other;
        for (std::size_t i = 0; i < changed.size(); i += 3)
            other.add(changed.data() + i, std::min<std::size_t>(3, changed.size() - i));
        EXPECT_NE(other.value(), whole.value()) << "byte " << at;
    }
    StreamHash shorter;
    shorter.add(bytes.data(), bytes.size() - 1);
    EXPECT_NE(shorter.value(), whole.value());
}
