// SHA-256 against the digests of the standard's examples and, for the other lengths, of a reference
// implementation.
#include "Ostravo/Sha256.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace {

std::string Hex(const uint8_t digest[32])
{
    std::string hex;
    char two[3];
    for (int i = 0; i < 32; ++i) {
        std::snprintf(two, sizeof two, "%02x", digest[i]);
        hex += two;
    }
    return hex;
}

// Feeds the message byte by byte, as the callers do.
std::string DigestBytewise(const std::string &message)
{
    Sha256 ctx;
    Sha256Init(ctx);
    for (char c : message)
        Sha256Update(ctx, static_cast<uint8_t>(c));
    uint8_t digest[32];
    Sha256Final(ctx, digest);
    return Hex(digest);
}

TEST(Sha256Test, ReferenceDigests)
{
    const struct
    {
        std::string message;
        const char *digest;
    } cases[] = {
        {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        // 56 bytes: the length no longer fits behind the padding byte, so a second block is needed.
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {"abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopqklmnopqrlmnopqrsmno"
         "pqrs"
         "tnopqrstu",
         "cf5b16a778af8380036ce59e7b0492370b249b11e8f07a51afac45037afee9d1"},
        {"The quick brown fox jumps over the lazy dog",
         "d7a8fbb307d7809469ca9abcb0082e4f8d5651e46d3cdb762d02d0bf37c9e592"},
        // Lengths around the block and padding boundaries.
        {std::string(55, 'a'), "9f4390f8d30c2dd92ec9f095b65e2b9ae9b0a925a5258e241c9f1e910f734318"},
        {std::string(56, 'a'), "b35439a4ac6f0948b6d6f9e3c6af0f5f590ce20f1bde7090ef7970686ec6738a"},
        {std::string(57, 'a'), "f13b2d724659eb3bf47f2dd6af1accc87b81f09f59f2b75e5c0bed6589dfe8c6"},
        {std::string(63, 'a'), "7d3e74a05d7db15bce4ad9ec0658ea98e3f06eeecf16b4c6fff2da457ddc2f34"},
        {std::string(64, 'a'), "ffe054fe7ae0cb6dc65c3af9b61d5209f439851db43d0ba5997337df154668eb"},
        {std::string(65, 'a'), "635361c48bb9eab14198e76ea8ab7f1a41685d6ad62aa9146d301d4f17eb0ae0"},
        {std::string(120, 'a'), "2f3d335432c70b580af0e8e1b3674a7c020d683aa5f73aaaedfdc55af904c21c"},
        {std::string(1000000, 'a'), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
        // Over 1 MiB.
        {std::string(1048577, 'a'), "4a3f0c0c213adea174f9a3d4c13177315b588bdb2e9c1012d3d0bf0453ca0f6a"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.message.size());
        EXPECT_EQ(DigestBytewise(c.message), c.digest);
    }
}

TEST(Sha256Test, RunsOfBytesAcrossBlockBoundaries)
{
    std::string message;
    for (int i = 0; i < 1500; ++i)
        message += static_cast<char>(i * 7 % 251);
    Sha256 ctx;
    Sha256Init(ctx);
    size_t pos = 0;
    for (size_t run : {1u, 63u, 64u, 65u, 200u, 1107u}) {
        Sha256Update(ctx, reinterpret_cast<const uint8_t *>(message.data()) + pos, run);
        pos += run;
    }
    ASSERT_EQ(pos, message.size());
    uint8_t digest[32];
    Sha256Final(ctx, digest);
    EXPECT_EQ(Hex(digest), "14e58204ed7a002385e8f91a76b740621dc63889c9fde082358c952954ebb356");
}

} // namespace
