// The projection parameters dialog, driven through its controls over a temporary data folder,
// reached through the installed tool services.
#include "Screenshot.h"
#include "app/gui/ImageViewTest.h"
#include "support/FakeUi.h"
#include "support/TempDir.h"

#include "app/ToolServices.h"
#include "tools/projection/gui/ProjectionParamsDialog.h"
#include "tools/projection/gui/ProjectionParamsDialogOwner.h"

#include <QComboBox>

#include <filesystem>
#include <fstream>

namespace vantelis::test {
namespace {

class ProjectionParamsDialogTest : public ImageViewFixture
{
  protected:
    ProjectionParamsDialogTest()
    {
        std::filesystem::create_directories(m_dir.file("LIB"));
        m_owner = InstallProjectionParamsDialogOwner();
    }
    ~ProjectionParamsDialogTest() override
    {
        m_owner.reset();
        RemoveToolServices();
    }

    ProjectionParamsDialog *OpenParams()
    {
        EXPECT_TRUE(ProjectionParams().ParamsDialog().Create(true));
        QCoreApplication::processEvents();
        return m_owner->Params();
    }

    std::string Lib(const std::string &name) const { return m_dir.file("LIB/" + name); }

    std::shared_ptr<ProjectionParamsDialogOwner> m_owner;
};

// ---- Parameter sets ----

TEST_F(ProjectionParamsDialogTest, SaveUnderATypedNameCreatesTheSetAndMakesItCurrent)
{
    WriteSettings("");
    ProjectionParamsDialog *dialog = OpenParams();
    ASSERT_NE(dialog, nullptr);
    // No stored set name: ExperimentSettings, with the defaults.
    EXPECT_EQ(dialog->ControlText(ProjectionParamsDialog::kParamSet), "ExperimentSettings");
    EXPECT_EQ(dialog->ControlText(ProjectionParamsDialog::kNumPeaks), "2");
    EXPECT_FALSE(dialog->IsControlEnabled(ProjectionParamsDialog::kSave));

    dialog->SetControlText(ProjectionParamsDialog::kParamSet, "Beads");
    dialog->SetControlText(ProjectionParamsDialog::kNumPeaks, "3");
    EXPECT_TRUE(dialog->IsControlEnabled(ProjectionParamsDialog::kSave));
    dialog->SetChecked(ProjectionParamsDialog::kFindValleys, true);
    EXPECT_EQ(dialog->ControlText(ProjectionParamsDialog::kNumPeaksLabel), "Num Peaks to Find");
    ASSERT_TRUE(dialog->SaveParams());
    EXPECT_EQ(dialog->ControlText(ProjectionParamsDialog::kNumPeaksLabel), "Num Valleys to Find");
    EXPECT_EQ(MainSetting("ProjectionAnalysisTool", "ProjectionAnalysisParams"), "Beads");
    const std::string text = ReadFileBytes(Lib("Beads.pa_params"));
    EXPECT_NE(text.find("NumPeaksToFind=3"), std::string::npos);
    EXPECT_NE(text.find("FindValleys=TRUE"), std::string::npos);
    EXPECT_NE(text.find("BackgroundSubtract=FALSE"), std::string::npos);

    // The renderer's values follow the fields.
    ProjectionAnalysisParams params;
    ASSERT_TRUE(ProjectionParams().GetParamsFromControls(params));
    EXPECT_EQ(params.NumPeaksToFind, 3);
    EXPECT_TRUE(params.FindValleys);
    EXPECT_DOUBLE_EQ(params.SmoothingWindowMicrons, 15.0);
    WriteScreenshotBeside(&m_area, dialog, "projection_params");
}

TEST_F(ProjectionParamsDialogTest, NamesHoldingExperimentSettingsSaveIntoTheMainFile)
{
    WriteSettings("");
    ProjectionParamsDialog *dialog = OpenParams();
    ASSERT_NE(dialog, nullptr);
    for (const char *name : {"ExperimentSettings", "MyExperimentSettings", "__ExperimentSettings__"}) {
        SCOPED_TRACE(name);
        dialog->SetControlText(ProjectionParamsDialog::kParamSet, name);
        dialog->SetControlText(ProjectionParamsDialog::kSamples, "13");
        ASSERT_TRUE(dialog->SaveParams());
        EXPECT_EQ(MainSetting("RightSideProjection", "IntegrationSamples"), "13");
        EXPECT_FALSE(std::filesystem::exists(Lib(std::string(name) + ".pa_params")));
        WriteSettings("");
    }
}

TEST_F(ProjectionParamsDialogTest, TypedNameThatLeavesLibIsRefused)
{
    WriteSettings("");
    ProjectionParamsDialog *dialog = OpenParams();
    ASSERT_NE(dialog, nullptr);
    for (const char *name : {"../escape", "sub/set", "a:b", "  "}) {
        SCOPED_TRACE(name);
        m_ui->Clear();
        dialog->SetControlText(ProjectionParamsDialog::kParamSet, name);
        EXPECT_FALSE(dialog->SaveParams());
        ASSERT_EQ(m_ui->Messages().size(), 1u);
        EXPECT_NE(m_ui->Messages()[0].text.find("Invalid name"), std::string::npos);
    }
    EXPECT_FALSE(std::filesystem::exists(m_dir.file("escape.pa_params")));
    EXPECT_EQ(MainSetting("ProjectionAnalysisTool", "ProjectionAnalysisParams"), "");
}

TEST_F(ProjectionParamsDialogTest, ChoosingASetLoadsItAndTheListHidesExperimentSettingsFiles)
{
    WriteSettings("[ProjectionAnalysisTool]\r\nProjectionAnalysisParams=Cells\r\n");
    std::ofstream(Lib("Cells.PA_params")) << "[RightSideProjection]\r\nSmoothingWindowMicrons=22.5\r\n";
    std::ofstream(Lib("MyExperimentSettings.pa_params")) << "";
    ProjectionParamsDialog *dialog = OpenParams();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->ControlText(ProjectionParamsDialog::kSmoothing), "22.5");
    EXPECT_EQ(dialog->ControlText(ProjectionParamsDialog::kNumPeaks), "2");
    dialog->OnDropDownParamSet();
    auto *sets = dialog->ControlAs<QComboBox>(ProjectionParamsDialog::kParamSet);
    std::vector<std::string> listed;
    for (int i = 0; i < sets->count(); ++i)
        listed.push_back(sets->itemText(i).toStdString());
    EXPECT_EQ(listed, (std::vector<std::string>{"Cells", "__ExperimentSettings__"}));
}

} // namespace
} // namespace vantelis::test
