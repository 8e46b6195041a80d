#pragma once

// SipHash-2-4: a keyed hash of a message that no one without the key can
// produce for a message of their choosing. A check's report carries one,
// so a report that a plug-in sharing the check's process made up, or
// changed on its way, is told from the check's own.

#include <cstdint>
#include <cstring>
#include <string>

class KeyedHash {
public:
    // 16 bytes of key.
    static std::uint64_t of(const unsigned char key[16], const std::string &message)
    {
        std::uint64_t k0, k1;
        std::memcpy(&k0, key, 8);
        std::memcpy(&k1, key + 8, 8);
        std::uint64_t v0 = 0x736f6d6570736575ULL ^ k0, v1 = 0x646f72616e646f6dULL ^ k1;
        std::uint64_t v2 = 0x6c7967656e657261ULL ^ k0, v3 = 0x7465646279746573ULL ^ k1;
        auto round = [&] {
            v0 += v1; v1 = rotl(v1, 13); v1 ^= v0; v0 = rotl(v0, 32);
            v2 += v3; v3 = rotl(v3, 16); v3 ^= v2;
            v0 += v3; v3 = rotl(v3, 21); v3 ^= v0;
            v2 += v1; v1 = rotl(v1, 17); v1 ^= v2; v2 = rotl(v2, 32);
        };
        const std::size_t size = message.size();
        const unsigned char *at = reinterpret_cast<const unsigned char *>(message.data());
        for (std::size_t i = 0; i + 8 <= size; i += 8) {
            std::uint64_t m;
            std::memcpy(&m, at + i, 8);
            v3 ^= m;
            round();
            round();
            v0 ^= m;
        }
        std::uint64_t last = static_cast<std::uint64_t>(size) << 56;
        for (std::size_t i = size & ~std::size_t(7); i < size; ++i)
            last |= static_cast<std::uint64_t>(at[i]) << (8 * (i & 7));
        v3 ^= last;
        round();
        round();
        v0 ^= last;
        v2 ^= 0xff;
        for (int i = 0; i < 4; ++i)
            round();
        return v0 ^ v1 ^ v2 ^ v3;
    }

private:
    static std::uint64_t rotl(std::uint64_t x, int b) { return (x << b) | (x >> (64 - b)); }
};
