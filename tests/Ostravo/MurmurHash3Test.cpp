// MurmurHash3 against the published reference values.
#include "Ostravo/MurmurHash3.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

namespace {

TEST(MurmurHash3Test, X86_32ReferenceValues)
{
    const struct
    {
        std::string key;
        uint32_t seed;
        uint32_t hash;
    } cases[] = {
        {"", 0, 0},
        {"", 1, 0x514E28B7u},
        {"", 0xFFFFFFFFu, 0x81F16F39u},
        {std::string("\0\0\0\0", 4), 0, 0x2362F9DEu},
        {"\xff\xff\xff\xff", 0, 0x76293B50u},
        {"\x21\x43\x65\x87", 0, 0xF55B516Bu},
        {"\x21\x43\x65\x87", 0x5082EDEEu, 0x2362F9DEu},
        {"\x21\x43\x65", 0, 0x7E4A8634u},
        {"\x21\x43", 0, 0xA0F7B07Au},
        {"\x21", 0, 0x72661CF4u},
        {"hello", 0, 0x248BFA47u},
        {"aaaa", 0x9747B28Cu, 0x5A97808Au},
        {"abc", 0, 0xB3DD93FAu},
        {"Hello, world!", 0x9747B28Cu, 0x24884CBAu},
        {"The quick brown fox jumps over the lazy dog", 0x9747B28Cu, 0x2FA826CDu},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.key);
        EXPECT_EQ(MurmurHash3_x86_32(c.key.data(), c.key.size(), c.seed), c.hash);
    }
}

TEST(MurmurHash3Test, X64_128ReferenceValues)
{
    const struct
    {
        std::string key;
        uint32_t seed;
        uint64_t h1;
        uint64_t h2;
    } cases[] = {
        {"", 0, 0, 0},
        {"hell", 0, 0x629942693E10F867ull, 0x92DB0B82BAEB5347ull},
        {"hello", 1, 0xA78DDFF5ADAE8D10ull, 0x128900EF20900135ull},
        {"hello ", 2, 0x8A486B23F422E826ull, 0xF962A2C58947765Full},
        {"hello w", 3, 0x2EA59F466F6BED8Cull, 0xC610990ACC428A17ull},
        {"hello wo", 4, 0x79F6305A386C572Cull, 0x46305AED3483B94Eull},
        {"hello wor", 5, 0xC2219D213EC1F1B5ull, 0xA1D8E2E0A52785BDull},
        {"The quick brown fox jumps over the lazy dog", 0, 0xE34BBC7BBC071B6Cull, 0x7A433CA9C49A9347ull},
        {"The quick brown fox jumps over the lazy cog", 0, 0x658CA970FF85269Aull, 0x43FEE3EAA68E5C3Eull},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.key);
        uint64_t out[2] = {1, 1};
        MurmurHash3_x64_128(c.key.data(), c.key.size(), c.seed, out);
        EXPECT_EQ(out[0], c.h1);
        EXPECT_EQ(out[1], c.h2);
    }
}

// The verification code of the reference test suite: keys 0, 0 1, 0 1 2, ... of 0 to 255 bytes,
// each hashed with seed 256 - length, the hashes concatenated and hashed again with seed 0; the
// first four bytes of that, little-endian. It covers every tail length of both variants.
TEST(MurmurHash3Test, ReferenceVerificationCodes)
{
    uint8_t key[256];
    uint8_t hashes32[4 * 256];
    uint8_t hashes128[16 * 256];
    for (int i = 0; i < 256; ++i) {
        key[i] = static_cast<uint8_t>(i);
        uint32_t h = MurmurHash3_x86_32(key, i, 256 - i);
        for (int b = 0; b < 4; ++b)
            hashes32[i * 4 + b] = static_cast<uint8_t>(h >> (8 * b));
        uint64_t out[2];
        MurmurHash3_x64_128(key, i, 256 - i, out);
        for (int b = 0; b < 8; ++b) {
            hashes128[i * 16 + b] = static_cast<uint8_t>(out[0] >> (8 * b));
            hashes128[i * 16 + 8 + b] = static_cast<uint8_t>(out[1] >> (8 * b));
        }
    }
    EXPECT_EQ(MurmurHash3_x86_32(hashes32, sizeof hashes32, 0), 0xB0F57EE3u);
    uint64_t final128[2];
    MurmurHash3_x64_128(hashes128, sizeof hashes128, 0, final128);
    EXPECT_EQ(static_cast<uint32_t>(final128[0]), 0x6384BA69u);
}

TEST(MurmurHash3Test, UnalignedInputHashesLikeAligned)
{
    alignas(16) char buffer[64] = {};
    const std::string text = "unaligned input of some length";
    std::copy(text.begin(), text.end(), buffer + 3);
    EXPECT_EQ(MurmurHash3_x86_32(buffer + 3, text.size(), 7),
              MurmurHash3_x86_32(text.data(), text.size(), 7));
}

} // namespace
