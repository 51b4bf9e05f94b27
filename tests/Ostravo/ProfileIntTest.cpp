#include "Ostravo/ProfileValues.h"
#include "ProfileTestSupport.h"

#include <gtest/gtest.h>

#include <string>

namespace vantelis::test {
namespace {

class ProfileIntTest : public ProfileFixture
{
};

TEST_F(ProfileIntTest, ReadsTheNumberOrTheFallback)
{
    struct Case
    {
        const char *what;
        std::string value; // the line after "a=", or no line at all when null
        bool present;
        uint32_t size;
        int32_t expected;
    };
    const std::string thirty = "1" + std::string(29, '0'); // 30 characters: fits 31, not 30
    const Case cases[] = {
        {"plain", "42", true, 31, 42},
        {"negative", "-7", true, 31, -7},
        {"leading blanks and plus", "  +8", true, 31, 8},
        {"text after the number is ignored", "12 px ; note", true, 31, 12},
        {"no number", "abc", true, 31, -1},
        {"empty value", "", true, 31, -1},
        {"missing item", "", false, 31, -1},
        {"above 32 bits is held at the limit", "99999999999", true, 31, INT32_MAX},
        {"below 32 bits is held at the limit", "-99999999999", true, 31, INT32_MIN},
        {"value of size - 1 characters", "0000000000000000000000000000015", true, 32, 15},
        {"value of size characters reads as missing", "0000000000000000000000000000015", true, 31, -1},
        {"thirty characters in a 30 buffer", thirty, true, 30, -1},
    };
    int n = 0;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        const std::string file = m_dir.file("i" + std::to_string(n++) + ".ini");
        WriteFileBytes(file, c.present ? "[S]\r\na=" + c.value + "\r\n" : "[S]\r\nb=1\r\n");
        EXPECT_EQ(Ostravo::ReadProfileInt("S", "a", -1, file.c_str(), c.size), c.expected);
    }
    EXPECT_EQ(Ostravo::ReadProfileInt("S", "a", 5, m_dir.file("none.ini").c_str()), 5);
}

TEST_F(ProfileIntTest, InRangeHoldsValueAndFallbackWithinTheLimits)
{
    const std::string file = m_dir.file("range.ini");
    WriteFileBytes(file, "[S]\r\nlow=20\r\nhigh=5000\r\nmid=300\r\nbad=x\r\n");
    EXPECT_EQ(Ostravo::ReadProfileIntInRange("S", "low", 100, 100, 1000, file.c_str()), 100);
    EXPECT_EQ(Ostravo::ReadProfileIntInRange("S", "high", 100, 100, 1000, file.c_str()), 1000);
    EXPECT_EQ(Ostravo::ReadProfileIntInRange("S", "mid", 100, 100, 1000, file.c_str()), 300);
    EXPECT_EQ(Ostravo::ReadProfileIntInRange("S", "bad", 150, 100, 1000, file.c_str()), 150);
    EXPECT_EQ(Ostravo::ReadProfileIntInRange("S", "missing", 0, 1, 4, file.c_str()), 1);
}

} // namespace
} // namespace vantelis::test
