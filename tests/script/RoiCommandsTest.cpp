// The named-ROI commands against a main settings file: what they read, what they store, what
// they refuse, and that a refused write leaves the file as it was.
#include "CommandFixture.h"

#include "app/BackgroundImages.h"
#include "app/ViewGlobals.h"
#include "script/commands/RoiCommands.h"

#include <gmock/gmock.h>

#include <atomic>

using ::testing::HasSubstr;
using ::testing::Not;
using vantelis::test::ReadFileBytes;
using vantelis::test::WriteFileBytes;

namespace {

class RoiCommandsTest : public CommandFixture
{
  protected:
    RoiCommandsTest()
        : CommandFixture(RegisterRoiCommands, {cmd::ROI_Exists, cmd::ROI_Read, cmd::ROI_Write,
                                               cmd::ROI_Remove, cmd::ROI_ChooseByName})
    {
    }
    void SetUp() override
    {
        CommandFixture::SetUp();
        m_oldActive = _active_roi.Get();
        _active_roi.Set(ImageRect{});
        SetInvalidateAllViewsHook([this] { ++m_repaints; });
    }
    void TearDown() override
    {
        SetInvalidateAllViewsHook(nullptr);
        _active_roi.Set(m_oldActive);
        CommandFixture::TearDown();
    }
    // A settings file whose [ROI] holds count ROIs roi0, roi1, ... between two other sections.
    std::string WriteRois(int count)
    {
        std::string text = "[Before]\r\nkey=1\r\n[ROI]\r\n";
        for (int i = 0; i < count; ++i)
            text += "item" + std::to_string(i) + "=\"roi" + std::to_string(i) + "\"," + std::to_string(i) +
                    "," + std::to_string(i + 20) + ",5,40\r\n";
        text += "[After]\r\nkey=2\r\n";
        WriteFileBytes(theApp.m_ini_path, text);
        return text;
    }

    ImageRect m_oldActive;
    std::atomic<int> m_repaints{0};
};

TEST_F(RoiCommandsTest, ReadExistsAndRemoveUseExactNames)
{
    WriteRois(2);
    EString error;
    ASSERT_TRUE(Run(Lines({"int found = 9;", "int upper = 9;", "int l = -1;", "int r = -1;", "int t = -1;",
                           "int b = -1;", "ROI_Exists(\"roi1\", found);", "ROI_Exists(\"ROI1\", upper);",
                           "ROI_Read(\"roi1\", l, r, t, b);", "ROI_Read(\"ROI1\", t, t, t, t);"}),
                    error))
        << error.c_str();
    EXPECT_EQ(Int("found"), 1);
    EXPECT_EQ(Int("upper"), 0);
    EXPECT_EQ(Int("l"), 1);
    EXPECT_EQ(Int("r"), 21);
    EXPECT_EQ(Int("t"), 5); // an unknown name leaves the results alone
    EXPECT_EQ(Int("b"), 40);

    EXPECT_FALSE(Run("ROI_Remove(\"ROI0\");\n", error));
    EXPECT_THAT(error.c_str(), HasSubstr("There is no ROI with name: ROI0"));
    ASSERT_TRUE(Run("ROI_Remove(\"roi0\");\n", error)) << error.c_str();
    const std::string stored = ReadFileBytes(theApp.m_ini_path);
    EXPECT_THAT(stored, HasSubstr("[ROI]\r\nitem0=\"roi1\",1,21,5,40\r\n"));
    EXPECT_THAT(stored, Not(HasSubstr("roi0")));
    EXPECT_THAT(stored, HasSubstr("[Before]\r\nkey=1\r\n"));
}

TEST_F(RoiCommandsTest, WriteChecksNameAndRectangleFirst)
{
    const std::string before = WriteRois(1);
    struct Case
    {
        const char *arguments;
        const char *message;
    } cases[] = {
        {"\"A-1\", 0, 10, 0, 10", "ROI names may only include letters, numbers and underscores."},
        {"\"abcdefghijklmnopqrstuvwxyz0123456\", 0, 10, 0, 10", "Name may be no more than 32 characters"},
        {"\"a\", 0, 9, 0, 10", "right - left must be at least 10"},
        {"\"a\", 0, 10, 5, 14", "bottom - top must be at least 10"},
        {"\"a\", -1, 10, 0, 10", "left must be at least 0"},
        {"\"a\", 0, 10, -1, 10", "top must be at least 0"},
        {"\"a\", 0, 5001, 0, 10", "right may be no more than 5000"},
        {"\"a\", 0, 10, 0, 5001", "bottom may be no more than 5000"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.arguments);
        EString error;
        EXPECT_FALSE(Run(std::string("ROI_Write(") + c.arguments + ");\n", error));
        EXPECT_THAT(error.c_str(), HasSubstr(c.message));
        EXPECT_EQ(ReadFileBytes(theApp.m_ini_path), before);
    }
    // 32 characters, and the empty name, pass.
    EString error;
    ASSERT_TRUE(Run("ROI_Write(\"abcdefghijklmnopqrstuvwxyz012345\", 0, 5000, 0, 5000);\n"
                    "ROI_Write(\"\", 3, 13, 4, 14);\n",
                    error))
        << error.c_str();
    const std::string stored = ReadFileBytes(theApp.m_ini_path);
    EXPECT_THAT(stored, HasSubstr("\"abcdefghijklmnopqrstuvwxyz012345\",0,5000,0,5000\r\n"));
    EXPECT_THAT(stored, HasSubstr("=\"\",3,13,4,14\r\n"));
}

TEST_F(RoiCommandsTest, AFullListTakesNoNewNameButChangesAnExistingOne)
{
    const std::string full = WriteRois(100);
    EString error;
    EXPECT_FALSE(Run("ROI_Write(\"extra\", 0, 10, 0, 10);\n", error));
    EXPECT_THAT(error.c_str(),
                HasSubstr("Can't write new ROI object because there are already 100 named ROI objects."));
    EXPECT_EQ(ReadFileBytes(theApp.m_ini_path), full);

    ASSERT_TRUE(Run("ROI_Write(\"roi57\", 100, 200, 300, 400);\n", error)) << error.c_str();
    const std::string stored = ReadFileBytes(theApp.m_ini_path);
    EXPECT_THAT(stored, HasSubstr("item57=\"roi57\",100,200,300,400\r\n"));
    EXPECT_THAT(stored, HasSubstr("item99=\"roi99\",99,119,5,40\r\n"));
}

TEST_F(RoiCommandsTest, AMissingSectionIsEmptyAnUnreadableOneIsNeverReplaced)
{
    // No file at all, then a file without [ROI]: both are an empty list that a write starts.
    EString error;
    ASSERT_TRUE(Run("int f = 9;\nROI_Exists(\"a\", f);\nROI_Write(\"a\", 0, 10, 0, 10);\n", error))
        << error.c_str();
    EXPECT_EQ(Int("f"), 0);
    EXPECT_THAT(ReadFileBytes(theApp.m_ini_path), HasSubstr("[ROI]\r\nitem0=\"a\",0,10,0,10\r\n"));
    WriteFileBytes(theApp.m_ini_path, "[Other]\r\nkey=1\r\n");
    ASSERT_TRUE(Run("ROI_Write(\"b\", 0, 10, 0, 10);\n", error)) << error.c_str();
    EXPECT_EQ(ReadFileBytes(theApp.m_ini_path), "[Other]\r\nkey=1\r\n[ROI]\r\nitem0=\"b\",0,10,0,10\r\n");

    // A file that reads as enciphered but cannot be deciphered (no key is loaded).
    const std::string unreadable = std::string(40, '\xC3') + "[ROI]\r\nitem0=\"a\",0,10,0,10\r\n";
    WriteFileBytes(theApp.m_ini_path, unreadable);
    const std::string expected = "Unable to read section [ROI] of file: " + theApp.m_ini_path;
    EXPECT_FALSE(Run("ROI_Write(\"a\", 0, 10, 0, 10);\n", error));
    EXPECT_THAT(error.c_str(), HasSubstr(expected));
    EXPECT_FALSE(Run("ROI_ChooseByName(\"a\");\n", error));
    EXPECT_THAT(error.c_str(), HasSubstr(expected));
    EXPECT_FALSE(Run("ROI_Remove(\"a\");\n", error));
    EXPECT_THAT(error.c_str(), HasSubstr("There is no ROI with name: a"));
    EXPECT_EQ(ReadFileBytes(theApp.m_ini_path), unreadable);
    EXPECT_TRUE(_active_roi.Get().IsZero());
}

TEST_F(RoiCommandsTest, ChooseByNameSetsTheActiveRoiAndRepaintsOnChangeOnly)
{
    WriteRois(3);
    EString error;
    ASSERT_TRUE(Run("ROI_ChooseByName(\"roi2\");\nROI_ChooseByName(\"roi2\");\n", error)) << error.c_str();
    EXPECT_EQ(_active_roi.Get(), (ImageRect{2, 5, 22, 40}));
    EXPECT_EQ(m_repaints.load(), 1);
    ASSERT_TRUE(Run("ROI_ChooseByName(\"roi1\");\n", error)) << error.c_str();
    EXPECT_EQ(_active_roi.Get(), (ImageRect{1, 5, 21, 40}));
    EXPECT_EQ(m_repaints.load(), 2);

    EXPECT_FALSE(Run("ROI_ChooseByName(\"Roi1\");\n", error));
    EXPECT_THAT(error.c_str(), HasSubstr("ROI with name: \"Roi1\" does not exist."));
    EXPECT_EQ(_active_roi.Get(), (ImageRect{1, 5, 21, 40}));
}

} // namespace
