#include "Ostravo/FileCompare.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

using namespace vantelis::test;

namespace {

std::vector<EString> Names(std::initializer_list<const char *> names)
{
    std::vector<EString> result;
    for (const char *name : names)
        result.emplace_back(name);
    return result;
}

std::string Pattern(size_t size)
{
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<char>((i * 7 + i / 251) & 0xFF);
    return bytes;
}

TEST(FilesIdentical, ComparesEveryByteAcrossBlockBoundaries)
{
    TempDir dir;
    struct Case
    {
        const char *what;
        size_t size;
        long flipAt; // -1: identical copies
        bool identical;
    } cases[] = {
        {"two empty files", 0, -1, true},
        {"one full block and an empty last block", 1048576, -1, true},
        {"two full blocks and a short last block", 3000000, -1, true},
        {"last byte differs", 3000000, 2999999, false},
        {"first byte of the second block differs", 3000000, 1048576, false},
        {"first byte differs", 1048576, 0, false},
    };
    for (const Case &c : cases) {
        std::string a = Pattern(c.size);
        std::string b = a;
        if (c.flipAt >= 0)
            b[static_cast<size_t>(c.flipAt)] ^= 0x01;
        WriteFileBytes(dir.file("a"), a);
        WriteFileBytes(dir.file("b"), b);
        EXPECT_EQ(FilesIdentical(dir.file("a").c_str(), dir.file("b").c_str()), c.identical) << c.what;
    }
    WriteFileBytes(dir.file("short"), "abc");
    WriteFileBytes(dir.file("long"), "abcd");
    EXPECT_FALSE(FilesIdentical(dir.file("short").c_str(), dir.file("long").c_str()));
    EXPECT_FALSE(FilesIdentical(dir.file("short").c_str(), dir.file("missing").c_str()));
    EXPECT_FALSE(FilesIdentical(dir.file("missing").c_str(), dir.file("missing").c_str()));
}

class CompareColumns : public ::testing::Test
{
  protected:
    bool Compare(const std::string &a, const std::string &b, const std::vector<EString> &names)
    {
        WriteFileBytes(dir.file("a.txt"), a);
        WriteFileBytes(dir.file("b.txt"), b);
        return CompareColumnFiles(dir.file("a.txt").c_str(), dir.file("b.txt").c_str(), names, count, maxima,
                                  error);
    }
    std::string A() const { return dir.file("a.txt"); }
    std::string B() const { return dir.file("b.txt"); }

    TempDir dir;
    int32_t count = -1;
    std::vector<double> maxima;
    EString error;
};

TEST_F(CompareColumns, MatchesColumnsByNameWhateverTheirOrderAndHeaderLine)
{
    // z is the last column of A: its line end must not stick to the name or the numbers.
    const std::string a = "# Version=1\r\nx\ty\tz\r\n1\t10\t100\r\n2\t20\t200.5\r\n3\t30\t300\r\n";
    const std::string b = "z\tignored\tx\n100.25\t0\t1.5\n200\t0\t2\n299\t0\t3\n";
    EXPECT_TRUE(Compare(a, b, Names({"x", "z"}))) << error.c_str();
    EXPECT_STREQ(error.c_str(), "");
    EXPECT_EQ(count, 6);
    ASSERT_EQ(maxima.size(), 2u);
    EXPECT_DOUBLE_EQ(maxima[0], 0.5);
    EXPECT_DOUBLE_EQ(maxima[1], 1.0);
}

TEST_F(CompareColumns, RowsBeyondTheShorterFileAreIgnored)
{
    const std::string longer = "v\r\n1\r\n2\r\n3\r\n";
    const std::string shorter = "v\r\n1\r\n4\r\n";
    EXPECT_TRUE(Compare(longer, shorter, Names({"v"})));
    EXPECT_EQ(count, 2);
    EXPECT_DOUBLE_EQ(maxima[0], 2.0);
    EXPECT_TRUE(Compare(shorter, longer, Names({"v"})));
    EXPECT_EQ(count, 2);
    EXPECT_DOUBLE_EQ(maxima[0], 2.0);
}

TEST_F(CompareColumns, TheHeaderMustStandWithinTheFirst1000Lines)
{
    std::string at1000;
    for (int i = 1; i < 1000; ++i)
        at1000 += "# note " + std::to_string(i) + "\r\n";
    const std::string table = "v\r\n5\r\n";
    EXPECT_TRUE(Compare(at1000 + table, table, Names({"v"}))) << error.c_str();
    EXPECT_EQ(count, 1);

    EXPECT_FALSE(Compare("# one more\r\n" + at1000 + table, table, Names({"v"})));
    EXPECT_EQ(std::string(error.c_str()),
              "Not all data colums found within the first 1000 lines in file : " + A());

    EXPECT_FALSE(Compare(table, "a\tb\r\n1\t2\r\n3\t4\r\n", Names({"v"})));
    EXPECT_EQ(std::string(error.c_str()),
              "Not all data colums found within the first 3 lines in file : " + B());
}

TEST_F(CompareColumns, TheFirstBadRowEndsTheComparisonKeepingWhatWasGathered)
{
    const std::string a = "p\tq\r\n1\t1\r\n2\t2\r\n3\t3\r\n";
    struct Case
    {
        const char *what;
        std::string b;
        std::string message; // after the path
        bool inB;
        int32_t count;
    } cases[] = {
        {"non-numeric field of B", "head\r\np\tq\r\n1\t1.5\r\n2\tabc\r\n",
         " - invalid data, column 2 line 4 not a valid number: abc", true, 3},
        {"short row of B", "q\tp\r\n1\t1\r\n2\r\n",
         " - invalid row, column 2 referenced in the header, but not found at line 3", true, 2},
    };
    for (const Case &c : cases) {
        EXPECT_FALSE(Compare(a, c.b, Names({"p", "q"}))) << c.what;
        EXPECT_EQ(std::string(error.c_str()), (c.inB ? B() : A()) + c.message) << c.what;
        EXPECT_EQ(count, c.count) << c.what;
    }
    EXPECT_FALSE(Compare("p\tq\r\n1\r\n", "p\tq\r\n1\t1\r\n", Names({"p", "q"})));
    EXPECT_EQ(std::string(error.c_str()),
              A() + " - invalid row, column 2 referenced in the header, but not found at line 2");
    EXPECT_EQ(count, 1);
    ASSERT_EQ(maxima.size(), 2u);
}

TEST_F(CompareColumns, MissingFile)
{
    WriteFileBytes(A(), "v\r\n");
    EXPECT_FALSE(
        CompareColumnFiles(A().c_str(), dir.file("missing.txt").c_str(), Names({"v"}), count, maxima, error));
    EXPECT_STREQ(error.c_str(), "File does not exist: ");
    EXPECT_EQ(count, 0);
    EXPECT_EQ(maxima, std::vector<double>{0.0});
}

} // namespace
