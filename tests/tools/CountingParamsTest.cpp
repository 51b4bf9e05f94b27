#include "tools/CountingParams.h"

#include "support/TempDir.h"

#include "platform/Files.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace vantelis::test {
namespace {

using namespace counting_id;

// Every key in the order of the set files, with the values a fresh window loads.
const char *const kDefaultSetText = "[CountingAlgorithmDlg]\r\n"
                                    "EdgeProcessing=FALSE\r\n"
                                    "MFilter1=FALSE\r\n"
                                    "MFilter2=FALSE\r\n"
                                    "CFilter1=FALSE\r\n"
                                    "CFilter2=FALSE\r\n"
                                    "ObjectRadius1=13\r\n"
                                    "ObjectRadius2=4\r\n"
                                    "ObjectRadiusSweep1=0\r\n"
                                    "ObjectRadiusSweep2=0\r\n"
                                    "MFilterSamples1=12\r\n"
                                    "MFilterSamples2=8\r\n"
                                    "CFilterThreshold1=200\r\n"
                                    "CFilterThreshold2=100\r\n"
                                    "CFilterMinSize1=5\r\n"
                                    "CFilterMinSize2=1\r\n"
                                    "RestoreImage=FALSE\r\n"
                                    "MFilterThreshold1=250\r\n"
                                    "MFilterThreshold2=250\r\n"
                                    "UseInnerRing1=TRUE\r\n"
                                    "UseInnerRing2=TRUE\r\n"
                                    "ProximityFilteringWithinType1=TRUE\r\n"
                                    "ProximityFilteringWithinType2=TRUE\r\n"
                                    "ProximityFilteringBetweenType1_2=TRUE\r\n"
                                    "Left=100\r\n"
                                    "Right=1000\r\n"
                                    "Top=100\r\n"
                                    "Bottom=1000\r\n";

TEST(CountingParams, TheWriterPutsEveryKeyInOrderWithCrLf)
{
    EXPECT_EQ(FormatCountingParams(DefaultCountingControls()), kDefaultSetText);

    // Edit texts are stored unchanged, cut at a line end and at 1022 characters.
    CountingControls controls = DefaultCountingControls();
    controls.edits[kObjectRadius1] = " 12.5x";
    controls.edits[kLeft] = "7\r\nBottom=1";
    controls.edits[kTop] = std::string(1100, '9');
    controls.boxes[kEdgeProcessing] = true;
    const std::string text = FormatCountingParams(controls);
    EXPECT_NE(text.find("\r\nEdgeProcessing=TRUE\r\n"), std::string::npos);
    EXPECT_NE(text.find("\r\nObjectRadius1= 12.5x\r\n"), std::string::npos);
    EXPECT_NE(text.find("\r\nLeft=7\r\nRight="), std::string::npos);
    EXPECT_NE(text.find("\r\nTop=" + std::string(1022, '9') + "\r\nBottom="), std::string::npos);
}

TEST(CountingParams, TheShippedDefaultSetIsWhatTheWriterWrites)
{
    std::string shipped;
    ASSERT_TRUE(platform::ReadWholeFile(
        std::string(VANTELIS_SOURCE_DIR) + "/res/data/LIB/Default.counting_params", shipped));
    EXPECT_EQ(shipped, FormatCountingParams(DefaultCountingControls()));
}

TEST(CountingParams, ReadingFollowsTheRulesOfEachBox)
{
    TempDir dir;
    const std::string path = dir.file("Set.counting_params");
    WriteFileBytes(path, "[CountingAlgorithmDlg]\n"
                         "MFilter1=true\n"
                         "MFilter2=Yes\n"
                         "CFilter1=FALSE\n"
                         "UseInnerRing1=maybe\n"
                         "UseInnerRing2=false\n"
                         "ObjectRadius1=abc\n"
                         "Left=5\n");
    CountingControls controls;
    controls.boxes[kEdgeProcessing] = true; // missing: A leaves it
    controls.boxes[kMFilter2] = true;       // not TRUE or FALSE: A leaves it
    controls.boxes[kCFilter1] = true;
    controls.boxes[kCFilter2] = false;
    ReadCountingParamsFile(path, controls);
    EXPECT_TRUE(controls.Box(kEdgeProcessing));
    EXPECT_TRUE(controls.Box(kMFilter1));
    EXPECT_TRUE(controls.Box(kMFilter2));
    EXPECT_FALSE(controls.Box(kCFilter1));
    EXPECT_FALSE(controls.Box(kCFilter2));
    EXPECT_TRUE(controls.Box(kUseInnerRing1)); // B: anything else ticks
    EXPECT_FALSE(controls.Box(kUseInnerRing2));
    EXPECT_TRUE(controls.Box(kProximityBetween)); // B: a missing key ticks
    EXPECT_EQ(controls.Edit(kObjectRadius1), "abc");
    EXPECT_EQ(controls.Edit(kLeft), "5");
    EXPECT_EQ(controls.Edit(kRight), "1000");
    EXPECT_EQ(controls.Edit(kObjectRadius2), "4");

    // A missing file gives every default.
    CountingControls fresh;
    ReadCountingParamsFile(dir.file("missing.counting_params"), fresh);
    EXPECT_EQ(FormatCountingParams(fresh), kDefaultSetText);
}

TEST(CountingParams, WritingAFileIsWholeOrNothing)
{
    TempDir dir;
    const std::string path = dir.file("Set.counting_params");
    WriteFileBytes(path, "old");
    std::string error;
    platform::FailNextReplaceAt(platform::ReplaceFailurePoint::Write);
    EXPECT_FALSE(WriteCountingParamsFile(path, DefaultCountingControls(), error));
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(ReadFileBytes(path), "old");
    EXPECT_TRUE(WriteCountingParamsFile(path, DefaultCountingControls(), error));
    EXPECT_EQ(ReadFileBytes(path), kDefaultSetText);
    EXPECT_FALSE(WriteCountingParamsFile(dir.file("no/such/folder/x.counting_params"),
                                         DefaultCountingControls(), error));
}

TEST(CountingParams, SetNamesAreCutAtTheLastDotAndSorted)
{
    TempDir dir;
    for (const char *name : {"b.counting_params", "A.counting_params", "x.y.COUNTING_PARAMS",
                             "c.epi_counting_params", "notes.txt"})
        WriteFileBytes(dir.file(name), "");
    std::filesystem::create_directories(dir.file("folder.counting_params"));
    EXPECT_EQ(CountingParamSetNames(dir.str()), (std::vector<std::string>{"A", "b", "x.y"}));
    EXPECT_TRUE(CountingParamSetNames(dir.file("missing")).empty());
}

TEST(CountingParams, SetNamesStayInTheirFolder)
{
    const struct
    {
        const char *name;
        bool valid;
    } cases[] = {
        {"Default", true}, {"my set 2", true}, {"a-b_c.d", true}, {"", false},     {"  ", false},
        {"../x", false},   {"..", false},      {"a/b", false},    {"a\\b", false}, {"a:b", false},
        {"a*", false},     {"a?", false},      {"a|b", false},    {"a\"b", false}, {"tab\there", false},
    };
    for (const auto &c : cases) {
        std::string message;
        EXPECT_EQ(ValidateSetName(c.name, message), c.valid) << '"' << c.name << '"';
        if (!c.valid) {
            EXPECT_EQ(message.rfind(std::string("Invalid name \"") + c.name + "\": ", 0), 0u) << message;
        }
    }
}

} // namespace
} // namespace vantelis::test
