// The counting sweep's request check, its level count and its output folder and log.
#include "support/TempDir.h"

#include "platform/Files.h"
#include "tools/CountingParams.h"
#include "tools/CountingSweep.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace vantelis::test {
namespace {

class CountingSweepTest : public ::testing::Test
{
  protected:
    CountingSweepTest()
    {
        std::filesystem::create_directories(m_dir.file("LIB"));
        std::string error;
        EXPECT_TRUE(WriteCountingParamsFile(m_dir.file("LIB/Discs.counting_params"),
                                            DefaultCountingControls(), error));
        WriteFileBytes(m_dir.file("LIB/Odd.counting_params"),
                       "[CountingAlgorithmDlg]\r\nObjectRadius1=TRUE\r\nObjectRadius2=-1e100\r\n");
    }

    static CountingSweepTexts Texts(const char *start, const char *stop, const char *step,
                                    bool withFile = true)
    {
        CountingSweepTexts texts;
        texts.set_name = "Discs";
        texts.param_name = "ObjectRadius1";
        texts.start = start;
        texts.stop = stop;
        texts.step = step;
        texts.directory = "/images";
        if (withFile)
            texts.files = {"a.png"};
        return texts;
    }

    TempDir m_dir;
};

TEST_F(CountingSweepTest, EveryRefusalIsListedInItsOrder)
{
    const struct
    {
        const char *what;
        CountingSweepTexts texts;
        std::vector<std::string> expected;
        int32_t levels;
    } cases[] = {
        {"stop below start, step 0, no file",
         Texts("10", "5", "0", false),
         {"StopLevel1 must be greater than StartLevel1", "StepLevel1 must be greater than zero.",
          "You must select at least one file."},
         0},
        {"1000 steps", Texts("0", "1000", "1"), {}, 1001},
        {"2000 steps", Texts("0", "2000", "1"), {"Number of steps must be less than or equal to 1000."}, 0},
        {"unbounded steps",
         Texts("0", "inf", "1"),
         {"Number of steps must be less than or equal to 1000."},
         0},
        {"texts that are no numbers keep the values before them",
         Texts("abc", "x", "1"),
         {"StartLevel1 must be a valid floating point number.",
          "StopLevel1 must be a valid floating point number.", "StopLevel1 must be greater than StartLevel1"},
         0},
        {"five to ten", Texts("5", "10", "1"), {}, 6},
        {"a step that does not end on stop", Texts("0", "1", "0.3"), {}, 4},
        // Quotients a rounding error below a whole number keep the stop value.
        {"0 to 0.3 by 0.1", Texts("0", "0.3", "0.1"), {}, 4},
        {"0.1 to 0.7 by 0.2", Texts("0.1", "0.7", "0.2"), {}, 4},
        {"0 to 100 by 0.1", Texts("0", "100", "0.1"), {}, 1001},
        {"0 to 100.09 by 0.1", Texts("0", "100.09", "0.1"), {}, 1001},
        {"0 to 100.1 by 0.1: 1001 steps",
         Texts("0", "100.1", "0.1"),
         {"Number of steps must be less than or equal to 1000."},
         0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        CountingSweepRequest request;
        EXPECT_EQ(CheckCountingSweep(c.texts, m_dir.str(), request), c.expected);
        if (c.expected.empty()) {
            EXPECT_EQ(CountingSweepLevels(request), c.levels);
            EXPECT_EQ(request.param_set_path, m_dir.str() + "/LIB/Discs.counting_params");
        }
    }
}

TEST_F(CountingSweepTest, TheSweptOptionMustBeANumberOfTheSet)
{
    const struct
    {
        const char *set;
        const char *param;
        std::string expected;
    } cases[] = {
        {"Discs", "Bogus", "Params file does not have parameter: Bogus"},
        {"Odd", "ObjectRadius1", "Params file does not have parameter: ObjectRadius1"}, // TRUE
        {"Odd", "ObjectRadius2", "Params file does not have parameter: ObjectRadius2"}, // -1e100
        {"", "ObjectRadius1", "Params file does not have parameter: ObjectRadius1"},    // no set
        {"Nowhere", "ObjectRadius1", "Params file does not have parameter: ObjectRadius1"},
        {"../Discs", "ObjectRadius1", "Invalid name \"../Discs\": it holds a path separator."},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string(c.set) + " " + c.param);
        CountingSweepTexts texts = Texts("1", "2", "1");
        texts.set_name = c.set;
        texts.param_name = c.param;
        CountingSweepRequest request;
        EXPECT_EQ(CheckCountingSweep(texts, m_dir.str(), request), std::vector<std::string>{c.expected});
    }
}

TEST_F(CountingSweepTest, SweepsEndingInTheSameSecondKeepTheirOwnFoldersAndLogs)
{
    platform::LocalTime end;
    end.year = 2026;
    end.month = 12;
    end.day = 11;
    end.hour = 1;
    end.minute = 2;
    end.second = 3;
    std::string first, second, error;
    ASSERT_TRUE(WriteCountingSweepLog(m_dir.str(), end, "BENCH", {"one"}, first, error)) << error;
    ASSERT_TRUE(WriteCountingSweepLog(m_dir.str() + "/", end, "BENCH", {"two", "2"}, second, error)) << error;
    EXPECT_EQ(first, m_dir.str() + "/AlgoIterTool_20261211_010203/AlgoIteratorTool.log");
    EXPECT_EQ(second, m_dir.str() + "/AlgoIterTool_20261211_010203_2/AlgoIteratorTool.log");
    EXPECT_EQ(ReadFileBytes(first), "# ComputerName=BENCH\r\none\r\n");
    EXPECT_EQ(ReadFileBytes(second), "# ComputerName=BENCH\r\ntwo\r\n2\r\n");

    // A folder that cannot be made at all.
    EXPECT_FALSE(WriteCountingSweepLog(m_dir.file("missing/deeper"), end, "BENCH", {}, first, error));
    EXPECT_EQ(error, "Can't create output directory: " + m_dir.file("missing/deeper") +
                         "/AlgoIterTool_20261211_010203");
}

} // namespace
} // namespace vantelis::test
