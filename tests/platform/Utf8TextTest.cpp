#include "platform/Utf8Text.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string Repeat(const std::string &piece, size_t times)
{
    std::string text;
    for (size_t i = 0; i < times; ++i)
        text += piece;
    return text;
}

TEST(Utf8TextTest, WellFormedSequencesOnly)
{
    struct Case
    {
        const char *what;
        std::string bytes;
        bool valid;
    };
    const Case cases[] = {
        {"ASCII", "Images/cellules.png", true},
        {"two-byte e acute",
         "Donn\xC3\xA9"
         "es \xC3\xA9",
         true},
        {"three-byte euro", "\xE2\x82\xAC", true},
        {"four-byte emoji", "\xF0\x9F\x98\x80", true},
        {"Windows-1252 e acute",
         "Donn\xE9"
         "es",
         false},
        {"stray continuation byte", "a\x80", false},
        {"truncated sequence at the end", "a\xC3", false},
        {"overlong slash", "\xC0\xAF", false},
        {"overlong three-byte", "\xE0\x80\xAF", false},
        {"surrogate", "\xED\xA0\x80", false},
        {"above U+10FFFF", "\xF4\x90\x80\x80", false},
    };
    for (const Case &c : cases)
        EXPECT_EQ(platform::IsValidUtf8(c.bytes), c.valid) << c.what;
}

TEST(Utf8TextTest, ByteLimitsCutBetweenCharacters)
{
    const std::string e = "\xC3\xA9";        // 2 bytes
    const std::string euro = "\xE2\x82\xAC"; // 3 bytes
    const std::string smile = "\xF0\x9F\x98\x80";
    struct Case
    {
        const char *what;
        std::string text;
        size_t limit;
        size_t cut;
    };
    const Case cases[] = {
        // 600 two-byte characters are 1200 bytes: 1023 would split the 512th, so 511 stay.
        {"1023 bytes of two-byte characters", Repeat(e, 600), 1023, 1022},
        {"1023 bytes when a character ends there", "a" + Repeat(e, 600), 1023, 1023},
        {"a text that fits is kept whole", Repeat(e, 10), 1023, 20},
        {"30 bytes of three-byte characters", Repeat(euro, 20), 30, 30},
        {"31 bytes of three-byte characters", Repeat(euro, 20), 31, 30},
        {"four-byte characters", Repeat(smile, 3), 7, 4},
        {"Windows-1252 bytes count one each", Repeat("\xE9", 40), 30, 30},
        {"a broken sequence counts byte by byte", "ab\xC3", 2, 2},
        {"nothing fits", e, 1, 0},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(platform::Utf8CutPoint(c.text, c.limit), c.cut) << c.what;
        const std::string cut = platform::TruncateUtf8(c.text, c.limit);
        EXPECT_EQ(cut, c.text.substr(0, c.cut)) << c.what;
        if (platform::IsValidUtf8(c.text)) {
            EXPECT_TRUE(platform::IsValidUtf8(cut)) << c.what;
        }
    }
}

} // namespace
