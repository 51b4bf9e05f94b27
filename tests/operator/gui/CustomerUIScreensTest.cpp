// Every operator screen painted at both screen sizes with realistic data: screenshots for the eye,
// and a check that no drawn text leaves its rectangle or the window.
#include "operator/gui/CustomerUIPainters.h"
#include "operator/gui/CustomerUIWnd.h"

#include "Ostravo/CachedLog.h"
#include "Ostravo/LogError.h"
#include "app/PlexorinApp.h"
#include "support/TempDir.h"
#include "support/gui/EventLoop.h"

#include <QDir>
#include <QTest>

#include <gtest/gtest.h>

#include <functional>

namespace {

using vantelis::test::RunEventLoopUntil;

// One painted screen: the state it shows and the data a script would have given it.
struct ScreenCase
{
    const char *name;
    int32_t state;
    std::function<void(CustomerUI &)> setUp;
};

void Lines(CustomerUI &screen, std::vector<std::string> lines)
{
    screen.Edit([&](CustomerUIData &d) { d.textLines = std::move(lines); });
}

const std::vector<ScreenCase> &Screens()
{
    static const std::vector<ScreenCase> cases = {
        {"Undefined", UndefinedState, [](CustomerUI &s) { s.Reset(); }},
        {"Login", Login,
         [](CustomerUI &s) {
             s.SetEditText(1, "operator");
             s.SetEditText(0, "secret");
             s.ShowTimedMessage("Password must be at least 4 characters.", 5);
         }},
        {"SelectAction", SelectAction, [](CustomerUI &s) { Lines(s, {"Welcome back, operator"}); }},
        {"SelectActionButtons", SelectAction,
         [](CustomerUI &s) {
             s.SetActionLines({"Live Cell Enrichment", "Image Analysis", "Clean the fluidics", "Shut down"},
                              {});
             s.Edit([](CustomerUIData &d) {
                 d.actionsTopLinePos = 0.5;
                 d.actionBackgroundColor = 0x604A3A;
                 d.actionHighlightBackgroundColor = 0xB4B344;
                 d.actionCornerRadius = 30;
                 d.hoverAction = 2;
             });
         }},
        {"PromptInsertFlowcell", PromptInsertFlowcell,
         [](CustomerUI &s) {
             s.StartCountdown(90000, true);
             s.ShowTimedMessage("Cartridge not detected.", 5);
         }},
        {"PipetteSample", PipetteSample, [](CustomerUI &s) { s.StartCountdown(300000, false); }},
        {"SampleBeingCollected", SampleBeingCollected, [](CustomerUI &) {}},
        {"RunComplete", RunComplete, [](CustomerUI &) {}},
        {"RunSummary", RunSummary, [](CustomerUI &) {}},
        {"ShowVideo", ShowVideo,
         [](CustomerUI &s) {
             Lines(s, {"Adjust the focus until the cells are sharp.", "Then press Start."});
             s.Edit([](CustomerUIData &d) {
                 d.nextText = "Start";
                 d.backText = "Back";
             });
             s.StartCountdown(90000, true);
         }},
        {"PromptForInput", PromptForInput,
         [](CustomerUI &s) {
             Lines(s, {"Enter the sample details."});
             s.SetInput(0, "Sample name", "S-17", 12);
             s.SetInput(1, "Volume (ul)", "200", 6);
         }},
        {"PromptInfo", PromptInfo,
         [](CustomerUI &s) {
             Lines(s, {"The run is complete.", "Remove the cartridge and close the lid."});
             std::string error;
             s.DefineGroupBox(CuiRect{300, 300, 1200, 700}, 0x4A3A2A, 0xB4B344, 3, 40, error);
         }},
        {"PromptForInputChecks", PromptForInputChecks,
         [](CustomerUI &s) {
             Lines(s, {"Confirm before you start:"});
             s.SetCheckboxInput(0, "The waste bottle is empty", 1);
             s.SetCheckboxInput(1, "The buffer bottle is full", 0);
         }},
        {"PromptForFilename", PromptForFilename,
         [](CustomerUI &s) {
             Lines(s, {"Choose the experiment settings."});
             s.SetInput(0, "Settings file", "Experiment.ini", 20);
         }},
        {"PromptForImageChecks", PromptForImageChecks,
         [](CustomerUI &s) {
             Lines(s, {"Tick the images that are in focus."});
             s.SetCheckboxInput(0, "Bright field", 1);
             s.SetCheckboxInput(1, "Green", 0);
         }},
        {"PromptForFusedImageVerification", PromptForFusedImageVerification,
         [](CustomerUI &s) { Lines(s, {"Does the fused image look right?"}); }},
        {"PromptForMontageReport", PromptForMontageReport,
         [](CustomerUI &s) { Lines(s, {"Montage of the run"}); }},
    };
    return cases;
}

class CustomerUIScreensTest : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        QDir().mkpath("/tmp/shots");
        QDir().mkpath(QString::fromStdString(m_dir.file("LOG")));
        SetLogDataDirectory(m_dir.str().c_str());
        m_oldIni = theApp.m_ini_path;
        m_oldFolder = theApp.m_customer_ui_directory.c_str();
        theApp.m_ini_path = m_dir.file("Vantelis.ini");
        theApp.m_customer_ui_directory.Assign(VANTELIS_SOURCE_DIR "/res/program/CustomerUI");
        vantelis::test::WriteFileBytes(
            theApp.m_ini_path, "[ExperimentSettings]\r\n"
                               "ImageTypeName1=Bright field\r\nImageTypeExposure1=300\r\nIsActive1=TRUE\r\n"
                               "ImageTypeName2=Green\r\nImageTypeExposure2=750\r\nIsActive2=FALSE\r\n"
                               "ImageTypeName3=Red\r\nImageTypeExposure3=1000\r\nIsActive3=TRUE\r\n");
    }
    void TearDown() override
    {
        theApp.m_ini_path = m_oldIni;
        theApp.m_customer_ui_directory.Assign(m_oldFolder.c_str());
        SetLogDataDirectory("");
    }

    vantelis::test::TempDir m_dir;
    std::string m_oldIni;
    std::string m_oldFolder;
};

// Paints the window as it stands now, recording every drawn text.
QImage PaintRecording(CustomerUIWnd &window, std::vector<CuiDrawnText> &texts)
{
    texts.clear();
    window.RecordTexts(&texts);
    const QImage img = window.grab().toImage();
    window.RecordTexts(nullptr);
    return img;
}

TEST_F(CustomerUIScreensTest, EveryScreenAtBothSizesKeepsItsTextsInsideTheirRectangles)
{
    const struct
    {
        int desktopW, desktopH;
    } sizes[] = {{1920, 1080}, {1600, 900}};
    for (const auto &size : sizes) {
        for (const ScreenCase &c : Screens()) {
            auto shared = std::make_shared<CustomerUIShared>();
            CustomerUI screen;
            CustomerUIWnd window(screen, shared, size.desktopW, size.desktopH);
            screen.Edit([](CustomerUIData &d) { d.title = "Run 17 - Sample S-17"; });
            std::string error;
            if (c.state != UndefinedState)
                ASSERT_TRUE(screen.SetState(c.state, error)) << error;
            else
                window.show();
            c.setUp(screen);
            if (c.state == UndefinedState)
                screen.Edit([](CustomerUIData &d) { d.title = "Run 17 - Sample S-17"; });
            ASSERT_TRUE(RunEventLoopUntil([&] { return window.isVisible(); })) << c.name;
            // The first paint sets up the screen's controls; the second shows them placed.
            window.grab();
            QTest::qWait(30);
            std::vector<CuiDrawnText> texts;
            const QImage img = PaintRecording(window, texts);
            const std::string shot =
                std::string("/tmp/shots/cui_") + c.name + "_" + std::to_string(size.desktopW);
            img.save(QString::fromStdString(shot + ".png"));
            const QRect client(0, 0, window.width(), window.height());
            EXPECT_FALSE(texts.empty() && c.state == Login) << c.name;
            for (const CuiDrawnText &t : texts) {
                if (t.text.trimmed().isEmpty())
                    continue;
                EXPECT_TRUE(t.target.contains(t.extent))
                    << shot << ": \"" << t.text.toStdString() << "\" extent " << t.extent.x() << ","
                    << t.extent.y() << " " << t.extent.width() << "x" << t.extent.height() << " target "
                    << t.target.x() << "," << t.target.y() << " " << t.target.width() << "x"
                    << t.target.height();
                EXPECT_TRUE(client.contains(t.extent)) << shot << ": \"" << t.text.toStdString() << "\"";
            }
            // The corner title ends at x 0.98 on every screen.
            bool title = false;
            for (const CuiDrawnText &t : texts)
                title |= t.text == "Run 17 - Sample S-17" &&
                         t.target.top() == cui_paint::AtFraction(window.height(), 0.07);
            EXPECT_TRUE(title) << shot;
        }
    }
}

} // namespace
