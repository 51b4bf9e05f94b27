// Every operator screen painted at both screen sizes with realistic data: screenshots for the eye,
// and a check that no drawn text leaves its rectangle or the window.
#include "operator/gui/CustomerUIPainters.h"
#include "operator/gui/CustomerUIWnd.h"

#include "Ostravo/CachedLog.h"
#include "Ostravo/LogError.h"
#include "app/CommandIds.h"
#include "app/PlexorinApp.h"
#include "operator/gui/CustomerUIWindowFixture.h"
#include "support/TempDir.h"
#include "support/gui/EventLoop.h"
#include "support/gui/PixelCount.h"

#include <QDir>
#include <QFontMetrics>
#include <QLineEdit>
#include <QRadioButton>
#include <QTest>

#include <gtest/gtest.h>

#include <cmath>
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
                 d.actionHighlightTextColor = 0xFFFFFF;
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
             s.SetImage(1, "PromptInsertFlowcell.png", theApp.m_customer_ui_directory.c_str(), error);
             // A script frames the picture (a quarter to three quarters across, 0.15 to 0.67 down)
             // with a group box a little larger.
             const CustomerUIData d = s.Snapshot();
             const int w = d.clientWidth;
             const int h = d.clientHeight;
             s.DefineGroupBox(CuiRect{w / 4 - 20, h * 15 / 100 - 20, w * 3 / 4 + 20, h * 67 / 100 + 20},
                              0x4A3A2A, 0xB4B344, 3, 40, error);
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
         [](CustomerUI &s) {
             Lines(s, {"Montage and Fractionation Report", "Report: run1.txt"});
             // The program's wide strip picture stands in for a montage.
             const std::string strip =
                 std::string(theApp.m_customer_ui_directory.c_str()) + "/PipetteSample_1.png";
             s.Edit([&](CustomerUIData &d) {
                 d.inputLabels = {"Top Fraction:  59%", "Bottom Fraction:  41%"};
                 d.images = {"", "", "", "", "", strip};
             });
         }},
    };
    return cases;
}

class CustomerUIScreensTest : public vantelis::test::CustomerUIWindowFixture
{
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

// A window shown in state with its first paint done (the paint that sets up the controls).
struct ShownScreen
{
    std::shared_ptr<CustomerUIShared> shared = std::make_shared<CustomerUIShared>();
    CustomerUI screen;
    std::unique_ptr<CustomerUIWnd> window;

    ShownScreen(int32_t state, int desktopW = 1920, int desktopH = 1080,
                const std::function<void(CustomerUI &)> &setUp = {})
    {
        window = std::make_unique<CustomerUIWnd>(screen, shared, desktopW, desktopH);
        if (setUp)
            setUp(screen);
        std::string error;
        EXPECT_TRUE(screen.SetState(state, error)) << error;
        EXPECT_TRUE(RunEventLoopUntil([&] { return window->isVisible(); }));
        Paint();
    }
    QImage Paint()
    {
        QTest::qWait(20);
        return window->grab().toImage();
    }
};

QSize Extent(const QFont &font, const char *text)
{
    return QFontMetrics(font)
        .boundingRect(QRect(), Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, text)
        .size();
}

using vantelis::test::CountColour;

const QColor kBackground(33, 50, 63);

TEST_F(CustomerUIScreensTest, LoginPlacesItsPromptAtFourTenthsAndTheEditsUnderIt)
{
    ShownScreen s(Login);
    const QImage img = s.Paint();
    // Expected from the text font's own metrics: client 1919 x 1079.
    const QFont font = s.window->InputEdit(0)->font();
    const QSize prompt = Extent(font, "Please login to start sorting.");
    const int x0 = static_cast<int>(std::lround(1919 * 0.5 - prompt.width() / 2.0));
    const int h0 = prompt.height();
    const int yu = 432 + 2 * (h0 - 1);
    const int bu = yu + Extent(font, "UserName:").height() - 1;
    const int yp = bu + (bu - yu) / 4;
    const int xe = x0 + std::max(Extent(font, "UserName:").width(), Extent(font, "Password:").width()) +
                   (h0 - 1) / 4 - 1;
    const int right = x0 + prompt.width() - 1;
    EXPECT_EQ(s.window->InputEdit(0)->geometry(), QRect(QPoint(xe, yu), QPoint(right, bu)));
    EXPECT_EQ(s.window->PasswordEdit()->geometry().topLeft(), QPoint(xe, yp));
    EXPECT_EQ(s.window->PasswordEdit()->geometry().right(), right);
    EXPECT_TRUE(s.window->InputEdit(0)->isVisible());
    EXPECT_TRUE(s.window->PasswordEdit()->isVisible());
    EXPECT_FALSE(s.window->InputEdit(1)->isVisible());
    // Nothing of the prompt above its top row, some of it in its first line.
    EXPECT_EQ(CountColour(img, QRect(QPoint(x0, 300), QPoint(right, 431)), kBackground),
              (right - x0 + 1) * 132);
    EXPECT_GT(CountColour(img, QRect(QPoint(x0, 432), QPoint(right, 432 + h0)), QColor(255, 255, 255)), 100);
    // The 2-pixel underline four pixels below the user-name edit.
    EXPECT_EQ(img.pixelColor((xe + right) / 2, bu + 4), QColor(255, 255, 255));
    EXPECT_EQ(img.pixelColor((xe + right) / 2, bu + 5), QColor(255, 255, 255));
    EXPECT_EQ(img.pixelColor((xe + right) / 2, bu + 6), kBackground);
}

TEST_F(CustomerUIScreensTest, AScriptBackgroundColourReachesTheFrameAndTheEdits)
{
    ShownScreen s(Login);
    s.screen.Edit([](CustomerUIData &d) { d.backgroundColor = 10 | 20 << 8 | 30 << 16; });
    ASSERT_TRUE(RunEventLoopUntil(
        [&] { return s.window->InputEdit(0)->palette().color(QPalette::Base) == QColor(10, 20, 30); }));
    const QImage img = s.Paint();
    EXPECT_EQ(img.pixelColor(3, 3), QColor(10, 20, 30));
    const QRect edit = s.window->InputEdit(0)->geometry();
    EXPECT_EQ(img.pixelColor(edit.right() - 2, edit.top() + 2), QColor(10, 20, 30));
    // The Next arrow keeps its own teal.
    s.screen.Edit([](CustomerUIData &d) { d.highlightColor = 0x0000FF; });
    EXPECT_EQ(s.Paint().pixelColor(1814 - 4, 998), QColor(68, 179, 180));
}

TEST_F(CustomerUIScreensTest, TheLogoBesideTheProgramIsDrawnAtItsOwnSizeOverTheBackground)
{
    const std::string oldExe = theApp.m_exe_directory.c_str();
    // A 10 x 4 logo: its left half opaque white, its right half white at alpha 0 (invisible).
    QImage logo(10, 4, QImage::Format_ARGB32);
    logo.fill(QColor(255, 255, 255, 0));
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 5; ++x)
            logo.setPixelColor(x, y, QColor(255, 255, 255, 255));
    ASSERT_TRUE(logo.save(QString::fromStdString(m_dir.file("LogoDarkBackground_sm.png"))));
    theApp.m_exe_directory.Assign((m_dir.str() + "/").c_str());
    {
        ShownScreen s(SampleBeingCollected);
        const QImage img = s.Paint();
        // Top left at x 0.02, y 0.07 of 1919 x 1079: (38, 76).
        EXPECT_EQ(img.pixelColor(38, 76), QColor(255, 255, 255));
        EXPECT_EQ(img.pixelColor(42, 79), QColor(255, 255, 255));
        EXPECT_EQ(img.pixelColor(43, 76), kBackground) << "the transparent half shows the background";
        EXPECT_EQ(img.pixelColor(38, 80), kBackground) << "drawn at its own size";
        EXPECT_EQ(img.pixelColor(37, 76), kBackground);
    }
    theApp.m_exe_directory.Assign(m_dir.file("missing").c_str());
    {
        ShownScreen s(SampleBeingCollected);
        EXPECT_EQ(s.Paint().pixelColor(38, 76), kBackground) << "no logo file, no logo";
    }
    theApp.m_exe_directory.Assign(oldExe.c_str());
}

TEST_F(CustomerUIScreensTest, ACountdownOfNinetySecondsShowsItsMinutesInTheBox)
{
    ShownScreen s(PromptInsertFlowcell);
    s.screen.StartCountdown(90000, true);
    std::vector<CuiDrawnText> texts;
    s.window->RecordTexts(&texts);
    s.Paint();
    s.window->RecordTexts(nullptr);
    const CuiRect box = s.window->Placement().countdown;
    bool shown = false;
    for (const CuiDrawnText &t : texts)
        shown |=
            t.text == "01:30" && t.target == QRect(QPoint(box.left, box.top), QPoint(box.right, box.bottom));
    EXPECT_TRUE(shown);
}

// A button image written for the test: a solid block of the given size.
std::string WriteBlock(const std::string &folder, const char *name, int w, int h, const QColor &colour)
{
    QImage img(w, h, QImage::Format_RGB32);
    img.fill(colour);
    const std::string path = folder + "/" + name;
    EXPECT_TRUE(img.save(QString::fromStdString(path)));
    return path;
}

TEST_F(CustomerUIScreensTest, ButtonImagesKeepTheirSizeStayAboveTheBottomLimitAndAreTheHitArea)
{
    const std::string folder = m_dir.file("CustomerUI");
    QDir().mkpath(QString::fromStdString(folder));
    theApp.m_customer_ui_directory.Assign((folder + " \r\nignored").c_str()); // trimmed and cut at the break
    WriteBlock(folder, "tall.png", 60, 300, QColor(200, 0, 0));
    ShownScreen s(PromptInsertFlowcell, 1920, 1080, [](CustomerUI &screen) {
        screen.Edit([](CustomerUIData &d) { d.nextImages = {"tall.png", ""}; });
    });
    const QImage img = s.Paint();
    // Arrow box 1660..1814 x 958..1038: the image is centred on it, 60 wide; its 300 rows would
    // reach below 1080 - 41, so it is moved up to end there.
    const CustomerUIData d = s.screen.Snapshot();
    EXPECT_EQ(d.nextTextRect, 1);
    EXPECT_EQ(d.buttonRects[1], (CuiRect{1707, 739, 1767, 1039}));
    EXPECT_EQ(img.pixelColor(1737, 739), QColor(200, 0, 0));
    EXPECT_EQ(img.pixelColor(1737, 1038), QColor(200, 0, 0));
    EXPECT_EQ(img.pixelColor(1737, 738), kBackground);
    EXPECT_EQ(img.pixelColor(1706, 900), kBackground);
    EXPECT_EQ(img.pixelColor(1814 - 4, 998), kBackground) << "no arrow under the image";
    // A click on the image's top, far above the arrow, is a Next.
    QTest::mouseClick(s.window.get(), Qt::LeftButton, Qt::NoModifier, QPoint(1737, 745));
    std::string text;
    EXPECT_TRUE(s.screen.WaitForEvent(std::chrono::milliseconds(0), text));
    EXPECT_EQ(text, "Next");

    // Under the mouse with no hover image, the light arrow is drawn and is the hit area again.
    QTest::mouseMove(s.window.get(), QPoint(1737, 1000));
    ASSERT_TRUE(RunEventLoopUntil([&] { return s.screen.Snapshot().nextHover[PromptInsertFlowcell]; }));
    const QImage hover = s.Paint();
    EXPECT_EQ(hover.pixelColor(1814 - 4, 998), QColor(244, 248, 254));
    EXPECT_EQ(hover.pixelColor(1737, 800), kBackground);
    EXPECT_EQ(s.screen.Snapshot().nextTextRect, 0);
}

TEST_F(CustomerUIScreensTest, ActionsAreClickedWhereTheyAreDrawn)
{
    {
        ShownScreen s(SelectAction);
        const QFont font = s.window->InputEdit(0)->font();
        const int h = Extent(font, "Select the protocol you would like to run.").height();
        // The title at y 0.4 (432); the first action one title height below it.
        const int top = 2 * (432 + h - 1) - 432;
        const CuiRect first = s.screen.Snapshot().fixedActionRects[0];
        EXPECT_EQ(first.top, top);
        EXPECT_EQ(first.right - first.left + 1, Extent(font, "Live Cell Enrichment").width());
        QTest::mouseClick(s.window.get(), Qt::LeftButton, Qt::NoModifier,
                          QPoint((first.left + first.right) / 2, (first.top + first.bottom) / 2));
        std::string text;
        EXPECT_TRUE(s.screen.WaitForEvent(std::chrono::milliseconds(0), text));
        EXPECT_EQ(text, "Live Cell Enrichment");
    }
    {
        ShownScreen s(SelectAction, 1600, 900, [](CustomerUI &screen) {
            screen.SetActionLines({"Go", "A much longer action"}, {});
            screen.Edit([](CustomerUIData &d) { d.actionsTopLinePos = 0.5; });
        });
        const QSize widest = Extent(s.window->InputEdit(0)->font(), "A much longer action");
        const int width = static_cast<int>(std::lround(1.2 * widest.width()));
        const int height = static_cast<int>(std::lround(1.2 * widest.height()));
        const int left = (1599 - width) / 2;
        const int top = 450; // round(899 x 0.5)
        const std::vector<CuiRect> rects = s.screen.Snapshot().actionRects;
        ASSERT_EQ(rects.size(), 2u);
        EXPECT_EQ(rects[0], (CuiRect{left, top, left + width - 1, top + height - 1}));
        const int second = top + height + height / 2;
        EXPECT_EQ(rects[1], (CuiRect{left, second, left + width - 1, second + height - 1}));
        QTest::mouseClick(s.window.get(), Qt::LeftButton, Qt::NoModifier, QPoint(left + 3, second + 3));
        std::string text;
        EXPECT_TRUE(s.screen.WaitForEvent(std::chrono::milliseconds(0), text));
        EXPECT_EQ(text, "A much longer action");
    }
}

TEST_F(CustomerUIScreensTest, PipetteSampleShowsNoBannerWhileTheNextScreenDoes)
{
    const QRect bannerRow(400, 971, 1100, 45);
    ShownScreen s(PipetteSample);
    s.screen.ShowTimedMessage("IIII HHHH", 30);
    EXPECT_EQ(CountColour(s.Paint(), bannerRow, QColor(228, 50, 27)), 0);
    std::string error;
    ASSERT_TRUE(s.screen.SetState(PromptInsertFlowcell, error));
    EXPECT_GT(CountColour(s.Paint(), bannerRow, QColor(228, 50, 27)), 50);
}

TEST_F(CustomerUIScreensTest, LiveVideoAreaAndBottomPicture)
{
    const struct
    {
        bool analysis;
        bool pictures; // the operator-screen folder holds the program's pictures
        bool live;     // the live frame shows in the image area
    } cases[] = {{false, true, true}, {true, true, false}, {false, false, true}};
    const bool oldAnalysis = theApp.m_analysis_mode;
    for (const auto &c : cases) {
        theApp.m_analysis_mode = c.analysis;
        if (!c.pictures)
            theApp.m_customer_ui_directory.Assign(m_dir.str().c_str());
        ShownScreen s(ShowVideo);
        const CuiRect area = s.window->Placement().imageArea;
        {
            std::lock_guard<std::mutex> lock(s.shared->frameMutex);
            s.shared->frame = QImage(area.right - area.left, area.bottom - area.top, QImage::Format_RGB32);
            s.shared->frame.fill(QColor(0, 200, 0));
            s.shared->frameOrigin = QPoint(area.left, area.top);
        }
        const QImage img = s.Paint();
        const QPoint centre((area.left + area.right) / 2, (area.top + area.bottom) / 2);
        EXPECT_EQ(img.pixelColor(centre), c.live ? QColor(0, 200, 0) : kBackground) << c.analysis;
        // FractionRect (0.4, 0.85, 0.6, 0.95) of 1919 x 1079.
        const QRect bottom(QPoint(768, 917), QPoint(1151, 1025));
        const int background = CountColour(img, bottom, kBackground);
        if (c.pictures)
            EXPECT_LT(background, bottom.width() * bottom.height()) << "the equilibration picture shows";
        else
            EXPECT_EQ(background, bottom.width() * bottom.height())
                << "a missing picture leaves its place empty";
    }
    theApp.m_analysis_mode = oldAnalysis;
}

TEST_F(CustomerUIScreensTest, LiveVideoSwitchesLiveImagingOnUnlessAScriptStoppedItLately)
{
    using Clock = CustomerUI::Clock;
    Clock::time_point now = Clock::now();
    std::vector<int32_t> commands;
    ShownScreen s(ShowVideo, 1920, 1080, [&](CustomerUI &screen) {
        screen.SetClock([&] { return now; });
        CustomerUIHost host;
        host.liveImagePressed = [] { return false; };
        host.postCommand = [&](int32_t command) { commands.push_back(command); };
        screen.SetHost(std::move(host));
    });
    auto advance = [&](std::chrono::milliseconds step) {
        now += step;
        QTest::qWait(40); // the window's 10 ms poll runs the due timers
    };
    // A poll that is due has run once a command arrives; a loaded machine may take longer than one
    // 40 ms wait to get there.
    auto waitForCommand = [&] { (void)QTest::qWaitFor([&] { return !commands.empty(); }, 5000); };
    advance(std::chrono::milliseconds(20));
    waitForCommand();
    ASSERT_EQ(commands, std::vector<int32_t>{cmd::kLiveImage}) << "switched on after the first paint";
    commands.clear();
    s.screen.NoteLiveImageStopped();
    s.Paint();
    advance(std::chrono::milliseconds(10990));
    s.Paint();
    advance(std::chrono::milliseconds(20));
    EXPECT_TRUE(commands.empty()) << "left off while the stop is recent";
    advance(std::chrono::milliseconds(20));
    s.Paint();
    advance(std::chrono::milliseconds(20));
    waitForCommand();
    EXPECT_EQ(commands, std::vector<int32_t>{cmd::kLiveImage}) << "back on more than 11 s after the stop";
    s.screen.SetHost({});
}

TEST_F(CustomerUIScreensTest, LiveVideoShowsItsRadiosAgainWhenEnteredAfterAnotherScreen)
{
    ShownScreen s(ShowVideo);
    ASSERT_TRUE(s.window->DisplayRadio(0)->isVisible());
    std::string error;
    for (int32_t other : {Login, RunComplete}) {
        ASSERT_TRUE(s.screen.SetState(other, error));
        s.Paint();
        EXPECT_FALSE(s.window->DisplayRadio(0)->isVisible() && other == Login);
        ASSERT_TRUE(s.screen.SetState(ShowVideo, error));
        s.Paint();
        EXPECT_TRUE(s.window->DisplayRadio(0)->isVisible()) << "after " << other;
        EXPECT_TRUE(s.window->DisplayRadio(2)->isVisible()) << "after " << other;
        EXPECT_FALSE(s.window->InputEdit(0)->isVisible()) << "after " << other;
    }
}

} // namespace
