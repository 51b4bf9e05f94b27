// The stage, focus-stack and temperature commands without a stage (analysis mode), and the focus
// stack's folder and file names.
#include "script/commands/StageCommands.h"
#include "ScriptFixture.h"
#include "platform/Files.h"
#include "script/CommandTable.h"

#include <gmock/gmock.h>

#include <string>

using ::testing::HasSubstr;

namespace {

class StageCommandsTest : public ScriptFixture
{
  protected:
    void SetUp() override
    {
        ScriptFixture::SetUp();
        RegisterStageCommands();
        m_oldStage = theApp.m_stage_port;
        m_oldPump = theApp.m_pump_port;
        m_oldAnalysis = theApp.m_analysis_mode;
        theApp.m_stage_port = 0;
        theApp.m_pump_port = 0;
        theApp.m_analysis_mode = true;
    }
    void TearDown() override
    {
        for (int id :
             {cmd::ZB_MoveToPosition_mm, cmd::ZB_MoveRelative_mm, cmd::ZB_Home, cmd::ZB_GetPosition_mm,
              cmd::ZB_WaitForMoveToFinish, cmd::CollectFocusStack, cmd::GetTemperatures})
            RegisterCommandHandler(id, nullptr);
        theApp.m_stage_port = m_oldStage;
        theApp.m_pump_port = m_oldPump;
        theApp.m_analysis_mode = m_oldAnalysis;
        ScriptFixture::TearDown();
    }
    int32_t m_oldStage = 0;
    int32_t m_oldPump = 0;
    bool m_oldAnalysis = false;
};

TEST_F(StageCommandsTest, ChecksSplitBetweenLoadAndRun)
{
    struct Case
    {
        const char *script;
        bool loads;
        const char *message; // "" = the stage driver's own text, which must not be empty
    };
    const Case cases[] = {
        {"ZB_MoveToPosition_mm(\"x\", 1);", false,
         "ZB_MoveToPosition_mm() axis must have value \"X\" or \"Z\""},
        {"ZB_MoveToPosition_mm(\"X\", 250);", true,
         "ZB_MoveToPosition_mm() position must be between -200 and +200 mm"},
        {"ZB_MoveToPosition_mm(\"X\", 150);", true, ""},
        {"ZB_Home(\"Y\");", true, "ZB_Home() axis must have value \"X\" or \"Z\""},
        {"ZB_Home(\"Z\");", true, ""},
        {"ZB_MoveRelative_mm(\"ZZ\", 1);", true, "ZB_MoveRelative_mm() axis must have value \"X\" or \"Z\""},
        {"ZB_MoveRelative_mm(\"Z\", -200.5);", true,
         "ZB_MoveRelative_mm() position must be between -200 and +200 mm"},
        {"ZB_MoveRelative_mm(\"Z\", 1);", true, ""},
        {"ZB_WaitForMoveToFinish(\"X\");", false, "ZB_WaitForMoveToFinish() Zaber is not initialized."},
        {"ZB_WaitForMoveToFinish(\"z\");", false,
         "ZB_WaitForMoveToFinish() axis must have value \"X\" or \"Z\""},
        {"double p;\nZB_GetPosition_mm(\"Q\", p);", false,
         "ZB_GetPosition_mm() axis must have value \"X\" or \"Z\""},
        {"double p;\nZB_GetPosition_mm(\"X\", p);", true, ""},
        {"CollectFocusStack(\"Z\", 26, 0.1, 3);", false,
         "CollectFocusStack() start_mm must have a value between 0 and 25 for the Z axis"},
        {"CollectFocusStack(\"X\", 101, 0.1, 3);", false,
         "CollectFocusStack() start_mm must have a value between 0 and 100 for the X axis"},
        {"CollectFocusStack(\"X\", 26, 10.5, 3);", false,
         "CollectFocusStack() step_mm must have a value between -10.0 and +10.0"},
        {"CollectFocusStack(\"Z\", 1, 0.01, 0);", false,
         "CollectFocusStack() nsteps must be a value between 1 and 500"},
        {"CollectFocusStack(\"Z\", 1, 0.01, 501);", false,
         "CollectFocusStack() nsteps must be a value between 1 and 500"},
        // The stage check comes before the analysis-mode check.
        {"CollectFocusStack(\"Z\", 1, 0.01, 3);", false, ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.script);
        Script instance;
        VariableList variables;
        EString error;
        const std::string path = WriteScript("t.scr", std::string(c.script) + "\n");
        Script loader;
        EString loadError;
        const bool loaded = Load(loader, path, loadError);
        EXPECT_EQ(loaded, c.loads) << loadError.c_str();
        const bool ok = LoadAndRun(instance, std::string(c.script) + "\n", error, &variables);
        EXPECT_FALSE(ok);
        if (*c.message) {
            EXPECT_THAT(error.c_str(), HasSubstr(c.message));
        } else {
            // The driver's text, never an empty failure or the analysis-mode refusal.
            const std::string text = error.c_str();
            const size_t colon = text.rfind(" : ");
            EXPECT_TRUE(colon == std::string::npos ? !text.empty() : colon + 3 < text.size()) << text;
            EXPECT_THAT(text, ::testing::Not(HasSubstr("analysis mode")));
        }
    }
}

TEST_F(StageCommandsTest, TemperaturesWithoutDevicesKeepTheVariables)
{
    Script instance;
    VariableList variables;
    EString error;
    ASSERT_TRUE(LoadAndRun(
        instance,
        "double a = 1.5;\ndouble b = 2.5;\ndouble c = 3.5;\nint d = 4;\nGetTemperatures(a, b, c, d, 1);\n",
        error, &variables))
        << error.c_str();
    const double expected[] = {1.5, 2.5, 3.5};
    int i = 0;
    for (const Variable &v : variables) {
        if (v.type == kVariableDouble)
            EXPECT_DOUBLE_EQ(v.number, expected[i++]);
        else if (v.type == kVariableInt)
            EXPECT_EQ(v.integer, 4);
    }
    EXPECT_EQ(i, 3);
}

TEST(FocusStackFolderTest, MadeUnderTheDataFolderAndNeverAtTheRoot)
{
    vantelis::test::TempDir dir;
    platform::LocalTime now;
    now.year = 1999;
    now.month = 1;
    now.day = 2;
    now.hour = 3;
    now.minute = 4;
    now.second = 5;
    std::string folder;
    EString error;
    for (const char *empty : {"", "  \t", "\r\nD:\\data"}) {
        EXPECT_FALSE(MakeFocusStackFolder(empty, "Z", now, folder, error)) << empty;
        EXPECT_THAT(error.c_str(), HasSubstr("DataDirectory"));
    }
    EXPECT_FALSE(platform::FolderExists("/19990102"));

    ASSERT_TRUE(MakeFocusStackFolder(" " + dir.str() + "\t\r\nrest", "Z", now, folder, error))
        << error.c_str();
    EXPECT_EQ(folder, dir.str() + "/19990102/StackZ_19990102-030405");
    EXPECT_TRUE(platform::FolderExists(folder));
    // A second stack within the same second finds its folder taken.
    EXPECT_FALSE(MakeFocusStackFolder(dir.str() + "/", "Z", now, folder, error));
    EXPECT_THAT(error.c_str(), HasSubstr("CollectFocusStack() - unable to create directory: "));
    EXPECT_THAT(error.c_str(), HasSubstr("StackZ_19990102-030405"));

    // A data folder that cannot hold sub-folders.
    vantelis::test::WriteFileBytes(dir.file("plain"), "x");
    EXPECT_FALSE(MakeFocusStackFolder(dir.file("plain"), "X", now, folder, error));
    EXPECT_THAT(error.c_str(), HasSubstr("unable to create directory"));
}

TEST(FocusStackFolderTest, FileNamesCarryTheNominalPositionInMicrometres)
{
    struct Case
    {
        double mm;
        const char *expected;
    };
    const Case cases[] = {
        {1.0, "/d/StackZ_1/StackZ_1_BF_Z001000.png"},
        {1.0 + 3 * 0.01, "/d/StackZ_1/StackZ_1_BF_Z001030.png"},
        {-0.1, "/d/StackZ_1/StackZ_1_BF_Z-00100.png"},
        {0.0004, "/d/StackZ_1/StackZ_1_BF_Z000000.png"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(FocusStackFileName("/d/StackZ_1", "BF", "Z", c.mm), c.expected) << c.mm;
}

} // namespace
