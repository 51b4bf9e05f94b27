// The cartridge choice dialog and the experiment-name prompt: the checked button, the part number
// chosen, the name cleaning, the experiment made on OK, and Cancel.
#include "devices/DevicesFixture.h"

#include "devices/gui/CartridgeDialogs.h"
#include "devices/gui/Shot.h"
#include "support/ServiceFakes.h"

#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

namespace vantelis::test {
namespace {

TEST(SelectCartridgeDlgTest, OpensOnTheGivenChoiceAndGivesThePartNumberOfTheCheckedButton)
{
    const struct
    {
        const char *barcode;
        int checked;
    } cases[] = {{"103-123-4567", 2}, {"102-000-0000", 1}, {"103", 0}, {"999-000-0000", 0}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.barcode);
        SelectCartridgeDlg dialog(CartridgeChoiceForBarcode(c.barcode));
        for (int i = 0; i < 4; ++i)
            EXPECT_EQ(dialog.Radio(i)->isChecked(), i == c.checked);
    }
    SelectCartridgeDlg dialog(0);
    dialog.show();
    Shot(dialog, "select_cartridge", true);
    QTest::mouseClick(dialog.Radio(3), Qt::LeftButton);
    QTest::mouseClick(dialog.OkButton(), Qt::LeftButton);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_STREQ(dialog.GetPartNumber(), CartridgeProducts()[3].part_number);
    EXPECT_EQ(dialog.Radio(3)->text().toStdString(), CartridgeChoiceCaption(3));
}

class PromptForExperimentNameTest : public DevicesFixture
{
  protected:
    PromptForExperimentNameTest()
    {
        for (const CartridgeProduct &product : CartridgeProducts())
            WriteCartridge(std::string(product.part_number, 3) + ".ini",
                           CartridgeIni(std::string(product.part_number, 3), "f01=###-###-####\r\n",
                                        std::string(product.part_number, 3)));
        LoadCartridges();
        InstallOperatorScreenServices(m_screen);
        theApp.m_cartridge_barcode.Assign("old");
        platform::SetFakeClock(MakeTime(2024, 3, 15, 9, 30, 5));
        SetSetting("ExperimentSettings", "CreateDailySubDirectory", "FALSE");
    }
    ~PromptForExperimentNameTest() override { InstallOperatorScreenServices(nullptr); }

    // The operator screen's flow-split setter, recorded.
    struct Screen : StubOperatorScreen
    {
        bool SetFlowSplit(int32_t percent) override
        {
            splits.push_back(percent);
            return true;
        }
        std::vector<int32_t> splits;
    };
    std::shared_ptr<Screen> m_screen = std::make_shared<Screen>();
};

TEST_F(PromptForExperimentNameTest, NamesAreCleanedThenShortenedBeforeTheyAreAccepted)
{
    SetSetting("ExperimentSettings", "ExperimentName", "Run?1");
    const std::string long40(40, 'a');
    const struct
    {
        std::string typed;
        std::string message; // empty: accepted at once
        std::string corrected;
    } cases[] = {
        {"Run?1", "Invalid characters removed from file name.", "Run_1"},
        {long40, "Experiment name truncated at 32 characters.", long40.substr(0, 32)},
        {"a:b|c" + long40, "Invalid characters removed from file name.", "a_b_c" + long40},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.typed);
        PromptForExperimentNameDlg dialog;
        dialog.show();
        dialog.NameEdit()->setText(QString::fromStdString(c.typed));
        QTest::mouseClick(dialog.OkButton(), Qt::LeftButton);
        EXPECT_TRUE(dialog.isVisible());
        ASSERT_FALSE(m_ui->Messages().empty());
        EXPECT_EQ(m_ui->Messages().back().text, c.message);
        EXPECT_EQ(dialog.NameEdit()->text().toStdString(), c.corrected);
    }
    EXPECT_TRUE(m_screen->splits.empty());
    EXPECT_STREQ(theApp.m_cartridge_barcode.c_str(), "old");
    EXPECT_EQ(Setting("ExperimentSettings", "ExperimentDirectory"), "<missing>");

    // The edit starts from the settings; pressing OK again accepts the corrected text.
    PromptForExperimentNameDlg dialog;
    dialog.show();
    EXPECT_EQ(dialog.NameEdit()->text().toStdString(), "Run?1");
    Shot(dialog, "prompt_experiment_name", true);
    QTest::mouseClick(dialog.OkButton(), Qt::LeftButton);
    QTest::mouseClick(dialog.OkButton(), Qt::LeftButton);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(Setting("ExperimentSettings", "ExperimentFullName"), "20240315-0930-05_Run_1");
    EXPECT_EQ(Setting("ExperimentSettings", "ExperimentName"), "Run?1");
}

TEST_F(PromptForExperimentNameTest, OkSetsTheCartridgeResetsTheSplitAndCreatesTheExperiment)
{
    PromptForExperimentNameDlg dialog;
    dialog.show();
    const std::string name32(32, 'x');
    dialog.NameEdit()->setText(QString::fromStdString(name32));
    QTest::mouseClick(dialog.Radio(2), Qt::LeftButton);
    QTest::mouseClick(dialog.OkButton(), Qt::LeftButton);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_TRUE(m_ui->Messages().empty());
    EXPECT_STREQ(theApp.m_cartridge_barcode.c_str(), CartridgeProducts()[2].part_number);
    EXPECT_EQ(m_screen->splits, (std::vector<int32_t>{0}));
    EXPECT_EQ(Setting("ExperimentSettings", "Barcode"), CartridgeProducts()[2].part_number);
    EXPECT_EQ(Setting("ExperimentSettings", "ExperimentDirectory"),
              Experiments() + "/20240315-0930-05_" + name32);
}

TEST_F(PromptForExperimentNameTest, AFailedCreationIsShownAndTheDialogStaysOpen)
{
    SetSetting("ExperimentSettings", "DataDirectory", m_dir.file("missing/Exp"));
    PromptForExperimentNameDlg dialog;
    dialog.show();
    dialog.NameEdit()->setText("Run1");
    QTest::mouseClick(dialog.OkButton(), Qt::LeftButton);
    EXPECT_TRUE(dialog.isVisible());
    ASSERT_EQ(m_ui->Messages().size(), 1u);
    EXPECT_EQ(m_ui->Messages()[0].text, "Unable to create directory: " + m_dir.file("missing/Exp"));

    // Cancel changes nothing more.
    const std::string before = ReadFileBytes(Ini());
    QTest::mouseClick(dialog.CancelButton(), Qt::LeftButton);
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
    EXPECT_EQ(ReadFileBytes(Ini()), before);
}

} // namespace
} // namespace vantelis::test
