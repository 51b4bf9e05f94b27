// The operator-screen commands for colours, images, buttons, action buttons, group boxes and the
// layout, and the two image-check screens, run through scripts on the operator handle.
#include "operator/CustomerUILayoutCommands.h"
#include "operator/CustomerUI.h"
#include "operator/CustomerUICommands.h"
#include "script/CommandTable.h"
#include "script/ScriptFixture.h"

#include <gmock/gmock.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <future>
#include <sstream>
#include <thread>

using namespace std::chrono_literals;
using ::testing::EndsWith;
using ::testing::HasSubstr;

namespace {

// Windows RGB value as the fixture writes it: red in the low byte.
constexpr int32_t WinRgb(int32_t r, int32_t g, int32_t b)
{
    return r | (g << 8) | (b << 16);
}

void ClearScreen()
{
    CustomerUI &screen = theCustomerUI();
    screen.Reset();
    screen.SetHost({});
    screen.SetPreviewZoom({});
    screen.SetClientSize(1919, 1079);
    screen.Edit([](CustomerUIData &d) {
        const CustomerUIData fresh;
        d.inputLabels.clear();
        d.inputValues.clear();
        d.inputWidths.clear();
        d.editTexts = {};
        d.checkMarks = {};
        d.images.clear();
        d.imageColors.clear();
        d.selectionTitle = fresh.selectionTitle;
        d.backgroundColor = fresh.backgroundColor;
        d.textColor = fresh.textColor;
        d.highlightColor = fresh.highlightColor;
    });
    for (int32_t id :
         {CUI_TIMER_UNHIDE_NEXT, CUI_TIMER_UNHIDE_BACK, CUI_TIMER_REPAINT, CUI_TIMER_SCRIPT_WATCH})
        screen.KillTimer(id);
    std::string ignored;
    screen.WaitForEvent(0ms, ignored); // drop an event left by another test
}

class CustomerUILayoutCommandsTest : public ScriptFixture
{
  protected:
    void SetUp() override
    {
        ScriptFixture::SetUp();
        RegisterCustomerUICommands();
        RegisterCustomerUILayoutCommands();
        m_oldFolder = theApp.m_customer_ui_directory.c_str();
        m_oldSize = {theApp.m_customer_ui_size.width, theApp.m_customer_ui_size.height};
        std::filesystem::create_directories(m_folder);
        std::filesystem::create_directories(m_dir.path() / "LOG");
        theApp.m_customer_ui_directory.Assign(m_folder.c_str());
        ClearScreen();
        theCustomerUI().SetClock([this] {
            return std::chrono::steady_clock::time_point{} + std::chrono::milliseconds(m_nowMs.load());
        });
    }
    void TearDown() override
    {
        theCustomerUI().SetClock([] { return std::chrono::steady_clock::now(); });
        ClearScreen();
        theApp.m_customer_ui_directory.Assign(m_oldFolder.c_str());
        theApp.m_customer_ui_size.width = m_oldSize.first;
        theApp.m_customer_ui_size.height = m_oldSize.second;
        ScriptFixture::TearDown();
    }

    // A file in the operator-screen folder (or elsewhere in the test folder) that the setters find.
    std::string Touch(const std::string &name)
    {
        const std::string path = (std::filesystem::path(m_folder) / name).string();
        vantelis::test::WriteFileBytes(path, "png");
        return path;
    }

    bool Run(const std::string &text, EString &error, VariableList *variables = nullptr)
    {
        Script instance(SCRIPT_HANDLE_CUSTOMER_UI);
        return LoadAndRun(instance, text, error, variables);
    }

    static const Variable &Var(const VariableList &variables, const char *name)
    {
        size_t index = 0;
        EXPECT_TRUE(FindVariable(variables, name, index)) << name;
        return variables[index];
    }

    // Everything these commands may store, as one comparable text.
    static std::string Fingerprint()
    {
        const CustomerUIData d = theCustomerUI().Snapshot();
        const PreviewZoomArea z = theCustomerUI().PreviewZoom();
        std::ostringstream out;
        out << d.backgroundColor << ' ' << d.textColor << ' ' << d.highlightColor << " |";
        for (const std::string &image : d.images)
            out << image << ',';
        out << '|' << d.nextImages[0] << ',' << d.nextImages[1] << ',' << d.backImages[0] << ','
            << d.backImages[1] << '|' << d.nextHidden << d.backHidden << '|';
        for (const std::string &line : d.actionLines)
            out << line << ',';
        out << '|' << d.actionRects.size() << ' ' << d.actionWidth << ' ' << d.actionVerticalSpacing << ' '
            << d.actionFontHeight << ' ' << d.actionTextColor << ' ' << d.actionBackgroundColor << ' '
            << d.groupBoxRects.size() << ' ' << d.topLinePos << ' ' << d.actionsTopLinePos << '|' << z.left
            << ' ' << z.right << ' ' << z.top << ' ' << z.bottom << '|';
        for (const auto &[id, period] : theCustomerUI().Timers())
            out << id << ':' << period << ',';
        return out.str();
    }

    std::string ErrorLogText() const
    {
        std::string text;
        const std::filesystem::path log = m_dir.path() / "LOG";
        if (std::filesystem::is_directory(log))
            for (const auto &entry : std::filesystem::directory_iterator(log))
                if (entry.path().filename().string().rfind("Err_", 0) == 0)
                    text += vantelis::test::ReadFileBytes(entry.path().string());
        return text;
    }

    // Waits until the screen shows state (a script thread got there).
    static bool WaitForState(int32_t state)
    {
        for (int i = 0; i < 500 && theCustomerUI().State() != state; ++i)
            std::this_thread::sleep_for(10ms);
        return theCustomerUI().State() == state;
    }

    std::string m_folder = m_dir.file("CustomerUI");
    std::string m_oldFolder;
    std::pair<int32_t, int32_t> m_oldSize;
    std::atomic<int64_t> m_nowMs{7000000};
};

TEST_F(CustomerUILayoutCommandsTest, OtherHandlesAreRefusedAtLoadWithTheCommandsOwnName)
{
    const char *const lines[] = {
        "CustomerUI_SetBackgroundColor(1, 2, 3);",
        "CustomerUI_SetDefaultTextColor(1, 2, 3);",
        "CustomerUI_SetHilightTextColor(1, 2, 3);",
        "CustomerUI_SetImage(1, \"a.png\");",
        "CustomerUI_SetNextImages(\"a.png\", \"b.png\");",
        "CustomerUI_SetBackImages(\"a.png\", \"b.png\");",
        "CustomerUI_SetImagePreviewZoomInArea(0, 1, 0, 1);",
        "CustomerUI_ShowNext();",
        "CustomerUI_ShowBack();",
        "CustomerUI_HideNext(1);",
        "CustomerUI_HideBack(1);",
        "CustomerUI_AddActionButtonLine(\"Go\");",
        "CustomerUI_DefineActionButtonWidth(200);",
        "CustomerUI_DefineActionButtonCornerRadius(5);",
        "CustomerUI_DefineActionButtonVerticalSpacing(5);",
        "CustomerUI_DefineActionButtonBackgroundColors(1, 2, 3, 4, 5, 6);",
        "CustomerUI_DefineActionButtonTextColors(1, 2, 3, 4, 5, 6);",
        "CustomerUI_DefineActionButtonFont(\"Arial\", 20);",
        "CustomerUI_DefineGroupBox(0, 10, 0, 10, 1, 2, 3, 4, 5, 6, 1, 2);",
        "CustomerUI_SetTopLinePos(0.2);",
        "CustomerUI_SetActionsTopLinePos(0.2);",
        "CustomerUI_RestoreDefaultState();",
        "CustomerUI_GetGUISize(i, i);",
        "CustomerUI_FluoChannelCheck(\"a\", \"b\", \"c\", \"d\", s, i, i);",
        "CustomerUI_FusedImageCheck(\"a\", \"b\", \"c\", s);",
    };
    for (const char *line : lines) {
        const std::string text = line;
        const std::string name = text.substr(0, text.find('('));
        Script instance(SCRIPT_HANDLE_FLUIDIC_SYSTEM);
        const std::string path = WriteScript("h0.scr", Lines({"STRING s;", "int i;", line}));
        EString error;
        EXPECT_FALSE(Load(instance, path, error)) << line;
        EXPECT_EQ(std::string(error.c_str()),
                  path + " at line 3 : Script::" + name +
                      "() may only be called from the CustomerUI instance of the interpreter.")
            << line;
    }
}

TEST_F(CustomerUILayoutCommandsTest, ArgumentErrorsRefuseTheLoadWithTheParameterNumber)
{
    const struct
    {
        const char *line;
        const char *message;
    } cases[] = {
        // Parameters counted from 1 ...
        {"CustomerUI_SetBackgroundColor(1, 2);", "Invalid int parameter 3"},
        {"CustomerUI_SetImage(\"1\", \"a.png\");", "Invalid int parameter 1"},
        {"CustomerUI_SetNextImages(\"a.png\");", "Missing leading \" for string parameter 2"},
        {"CustomerUI_DefineGroupBox(0, 10, 0, 10, 1, 2, 3, 4, 5, 6, 1);", "Invalid int parameter 12"},
        {"CustomerUI_SetImagePreviewZoomInArea(0, 1, 0, x);",
         "Variable \"x\" is not defined, expecting double parameter 4"},
        // ... and from 0, as these commands number them.
        {"CustomerUI_SetHilightTextColor(1, 2);", "Invalid int parameter 2"},
        {"CustomerUI_HideNext(\"5\");", "Invalid int parameter 0"},
        {"CustomerUI_DefineActionButtonVerticalSpacing(s);",
         "Variable s is not type int, parameter 0 expected int"},
        {"CustomerUI_DefineActionButtonFont(\"Arial\");", "Invalid int parameter 1"},
        {"CustomerUI_DefineActionButtonFont(12, 20);", "Missing leading \" for string parameter 0"},
        // The action-button colours are range-checked as they are read, 1-based.
        {"CustomerUI_DefineActionButtonTextColors(1, 2, 3, 300, 5, 6);",
         "Parameter 4 must be between 0 and 255"},
        {"CustomerUI_DefineActionButtonBackgroundColors(-1, 2, 3, 4, 5, 6);",
         "Parameter 1 must be between 0 and 255"},
        {"CustomerUI_DefineActionButtonBackgroundColors(1, 2, 3, 4, 5, 256);",
         "Parameter 6 must be between 0 and 255"},
        {"CustomerUI_ShowNext(1);", "missing )"},
    };
    for (const auto &c : cases) {
        Script instance(SCRIPT_HANDLE_CUSTOMER_UI);
        const std::string path = WriteScript("bad.scr", Lines({"STRING s;", c.line}));
        EString error;
        EXPECT_FALSE(Load(instance, path, error)) << c.line;
        EXPECT_EQ(std::string(error.c_str()), path + " at line 2 : " + c.message) << c.line;
    }

    // The argument text as the dispatcher hands it over, behind the command name.
    const struct
    {
        int id;
        const char *arguments;
        const char *message; // nullptr: accepted
    } frames[] = {
        {cmd::CustomerUI_ShowBack, " ;", "Missing '('"},
        {cmd::CustomerUI_SetTopLinePos, " ( ", "missing );"},
        {cmd::CustomerUI_DefineGroupBox, "", "Missing '('"},
        {cmd::CustomerUI_RestoreDefaultState, "", nullptr}, // its argument text is not examined
        {cmd::CustomerUI_RestoreDefaultState, " junk", nullptr},
    };
    Script instance(SCRIPT_HANDLE_CUSTOMER_UI);
    VariableList variables;
    for (const auto &f : frames) {
        EString error;
        const bool ok = RegisteredCommandHandler(f.id)(instance, f.arguments, variables, true, error);
        EXPECT_EQ(ok, f.message == nullptr) << f.arguments;
        if (f.message) {
            EXPECT_EQ(std::string(error.c_str()), f.message) << f.arguments;
        }
    }
}

TEST_F(CustomerUILayoutCommandsTest, RangeErrorsLoadThenFailWhenRunAndStoreNothing)
{
    Touch("present.png");
    const struct
    {
        const char *line;
        const char *message;
    } cases[] = {
        {"CustomerUI_SetBackgroundColor(256, 0, 0);", "red must be between 0 and 255."},
        {"CustomerUI_SetBackgroundColor(-1, 0, 0);", "red must be between 0 and 255."},
        {"CustomerUI_SetBackgroundColor(300, 300, 300);", "red must be between 0 and 255."},
        {"CustomerUI_SetDefaultTextColor(0, 256, 0);", "green must be between 0 and 255"},
        {"CustomerUI_SetHilightTextColor(0, 0, -5);", "blue must be between 0 and 255"},
        {"CustomerUI_SetImage(0, \"present.png\");",
         "CustomerUI_SetImage() - image index must be between 1 and 6."},
        {"CustomerUI_SetImage(7, \"present.png\");",
         "CustomerUI_SetImage() - image index must be between 1 and 6."},
        {"CustomerUI_SetImagePreviewZoomInArea(-0.1, 1, 0, 1);",
         "left must be greater than or equal to zero."},
        {"CustomerUI_SetImagePreviewZoomInArea(0, 1.1, 0, 1);", "right must be less than or equal to 1."},
        {"CustomerUI_SetImagePreviewZoomInArea(0.5, 0.5, 0, 1);", "right must be greater then left."},
        {"CustomerUI_SetImagePreviewZoomInArea(0.6, 0.5, -1, 2);", "right must be greater then left."},
        {"CustomerUI_SetImagePreviewZoomInArea(0, 1, -0.1, 1);",
         "top must be greater than or equal to zero."},
        {"CustomerUI_SetImagePreviewZoomInArea(0, 1, 0, 1.5);", "bottom must be less than or equal to 1."},
        {"CustomerUI_SetImagePreviewZoomInArea(0, 1, 0.5, 0.2);", "bottom must be greater then top."},
        {"CustomerUI_HideNext(3601);", "Maximum timeout is 3600 sec."},
        {"CustomerUI_HideBack(-1);", "Minimum timeout is 0 sec."},
        {"CustomerUI_AddActionButtonLine(\"\");",
         "Action button line must have at least one character and no more than 100 characters."},
        {"CustomerUI_DefineActionButtonWidth(19);", "Button width must be between 20 and 1919"},
        {"CustomerUI_DefineActionButtonWidth(1920);", "Button width must be between 20 and 1919"},
        {"CustomerUI_DefineActionButtonVerticalSpacing(101);", "Verical spacing must be between 0 and 100"},
        {"CustomerUI_DefineActionButtonVerticalSpacing(-1);", "Verical spacing must be between 0 and 100"},
        {"CustomerUI_DefineGroupBox(0, 10, 0, 10, 256, 0, 0, 0, 0, 0, 1, 2);",
         "fill_red must be between 0 and 255"},
        {"CustomerUI_DefineGroupBox(0, 10, 0, 10, 0, -1, 0, 0, 0, 0, 1, 2);",
         "fill_green must be between 0 and 255"},
        {"CustomerUI_DefineGroupBox(0, 10, 0, 10, 0, 0, 999, 999, 0, 0, 1, 2);",
         "fill_blue must be between 0 and 255"},
        {"CustomerUI_DefineGroupBox(0, 10, 0, 10, 0, 0, 0, 256, 0, 0, 1, 2);",
         "bdr_red must be between 0 and 255"},
        {"CustomerUI_DefineGroupBox(0, 10, 0, 10, 0, 0, 0, 0, 256, 0, 1, 2);",
         "bdr_green must be between 0 and 255"},
        {"CustomerUI_DefineGroupBox(0, 10, 0, 10, 0, 0, 0, 0, 0, 256, 1, 2);",
         "bdr_blue must be between 0 and 255"},
        // Then the group box's own checks.
        {"CustomerUI_DefineGroupBox(0, 10, 0, 10, 0, 0, 0, 0, 0, 0, 11, 2);",
         "Border thickness must not be more than 10 or less than 0"},
        {"CustomerUI_DefineGroupBox(0, 1920, 0, 10, 0, 0, 0, 0, 0, 0, 1, 2);",
         "The group box rectangle must be inside the CustomerUI window: width=1919 and height=1079"},
        // Sides whose distance does not fit an int.
        {"CustomerUI_DefineGroupBox(-2147483647, 2147483647, -2147483647, 2147483647, 10, 20, 30, 40, 50, "
         "60, 1, "
         "1);",
         "The group box rectangle must be inside the CustomerUI window: width=1919 and height=1079"},
        {"CustomerUI_DefineGroupBox(0, 10, 0, 20, 0, 0, 0, 0, 0, 0, 1, 11);",
         "Corner radius must not be less than 0 or greater than half the minumum of the height or width of "
         "the "
         "group box rectangle."},
        {"CustomerUI_SetTopLinePos(1.0);", "Script::CustomerUI_SetTopLinePos() must be between 0.0 and 0.99"},
        {"CustomerUI_SetTopLinePos(-0.01);",
         "Script::CustomerUI_SetTopLinePos() must be between 0.0 and 0.99"},
        {"CustomerUI_SetActionsTopLinePos(0.04);",
         "Script::CustomerUI_SetActionsTopLinePos() must be between 0.05 and 0.90"},
        {"CustomerUI_SetActionsTopLinePos(0.91);",
         "Script::CustomerUI_SetActionsTopLinePos() must be between 0.05 and 0.90"},
        {"CustomerUI_GetGUISize(1920, h);",
         "CustomerUI_GetGUISize() - parameter 1 must be a variable to receive the result."},
        {"CustomerUI_FusedImageCheck(\"a\", \"b\", \"c\", \"r\");",
         "CustomerUI_FusedImageCheck() - parameter 4 must be a variable to receive the result."},
        {"CustomerUI_FluoChannelCheck(\"a\", \"b\", \"c\", \"d\", s, 1, h);",
         "CustomerUI_FluoChannelCheck() - parameter 6 must be a variable to receive the result."},
    };
    for (const auto &c : cases) {
        // A screen with something in the fields, so that a stray write shows.
        std::string ignored;
        ASSERT_TRUE(theCustomerUI().SetImage(2, "present.png", m_folder, ignored));
        theCustomerUI().SetActionLines({"Analyse"}, {CuiRect{1, 2, 3, 4}});
        const std::string before = Fingerprint();

        Script instance(SCRIPT_HANDLE_CUSTOMER_UI);
        VariableList variables;
        EString error;
        bool loaded = false;
        EXPECT_FALSE(LoadAndRunScriptText(instance, m_dir.file("range.scr"),
                                          Lines({"STRING s;", "int h;", c.line}), error, loaded, variables))
            << c.line;
        EXPECT_TRUE(loaded) << c.line << ": " << error.c_str();
        EXPECT_THAT(std::string(error.c_str()), EndsWith(std::string(" : ") + c.message)) << c.line;
        EXPECT_EQ(Fingerprint(), before) << c.line;
        EXPECT_EQ(theCustomerUI().State(), UndefinedState) << c.line;
    }
}

TEST_F(CustomerUILayoutCommandsTest, AcceptedValuesReachTheScreenIncludingTheRangeEnds)
{
    Touch("slot.png");
    Touch("next.png");
    Touch("next_hover.png");
    Touch("back.png");
    const std::string elsewhere = m_dir.file("full.png");
    vantelis::test::WriteFileBytes(elsewhere, "png");
    theCustomerUI().SetActionLines({}, {CuiRect{1, 2, 3, 4}});
    VariableList variables;
    EString error;
    ASSERT_TRUE(Run(Lines({
                        "int r = 12;",
                        "CustomerUI_SetBackgroundColor(r, 34, 56);",
                        "CustomerUI_SetDefaultTextColor(255, 255, 255);",
                        "CustomerUI_SetHilightTextColor(0, 0, 0);",
                        "CustomerUI_SetImage(2, \"slot.png\");",
                        "CustomerUI_SetImage(6, \"" + elsewhere + "\");",
                        "CustomerUI_SetNextImages(\"next.png\", \"next_hover.png\");",
                        "CustomerUI_SetBackImages(\"back.png\", \"\");",
                        "CustomerUI_SetImagePreviewZoomInArea(0, 1, 0.25, 0.75);",
                        "CustomerUI_DefineActionButtonCornerRadius(-7);",
                        "CustomerUI_DefineActionButtonBackgroundColors(1, 2, 3, 4, 5, 6);",
                        "CustomerUI_DefineActionButtonTextColors(255, 0, 0, 0, 255, 0);",
                        "CustomerUI_DefineGroupBox(0, 1919, 0, 1079, 10, 20, 30, 40, 50, 60, 10, 1079);",
                        "CustomerUI_SetTopLinePos(0.99);",
                        "CustomerUI_SetActionsTopLinePos(0.05);",
                    }),
                    error, &variables))
        << error.c_str();
    CustomerUIData d = theCustomerUI().Snapshot();
    EXPECT_EQ(d.backgroundColor, WinRgb(12, 34, 56));
    EXPECT_EQ(d.textColor, WinRgb(255, 255, 255));
    EXPECT_EQ(d.highlightColor, 0);
    ASSERT_EQ(d.images.size(), 6u);
    EXPECT_EQ(std::filesystem::path(d.images[1]), std::filesystem::path(m_folder) / "slot.png");
    EXPECT_EQ(d.images[5], elsewhere) << "a path is used as given";
    EXPECT_EQ(d.images[0], "");
    EXPECT_EQ(d.nextImages, (std::array<std::string, 2>{"next.png", "next_hover.png"}));
    EXPECT_EQ(d.backImages, (std::array<std::string, 2>{"back.png", ""}));
    const PreviewZoomArea z = theCustomerUI().PreviewZoom();
    EXPECT_EQ((std::array<double, 4>{z.left, z.right, z.top, z.bottom}),
              (std::array<double, 4>{0, 1, 0.25, 0.75}));
    EXPECT_EQ(d.actionCornerRadius, -7) << "not range-checked";
    EXPECT_EQ(d.actionRects.size(), 1u) << "the corners keep the layout";
    EXPECT_EQ(d.actionBackgroundColor, WinRgb(1, 2, 3));
    EXPECT_EQ(d.actionHighlightBackgroundColor, WinRgb(4, 5, 6));
    EXPECT_EQ(d.actionTextColor, WinRgb(255, 0, 0));
    EXPECT_EQ(d.actionHighlightTextColor, WinRgb(0, 255, 0));
    ASSERT_EQ(d.groupBoxRects.size(), 1u);
    EXPECT_EQ(d.groupBoxRects[0], (CuiRect{0, 0, 1919, 1079})) << "left, right, top, bottom in the script";
    EXPECT_EQ(d.groupBoxFillColors[0], WinRgb(10, 20, 30));
    EXPECT_EQ(d.groupBoxBorderColors[0], WinRgb(40, 50, 60));
    EXPECT_EQ(d.groupBoxBorderWidths[0], 10);
    EXPECT_EQ(d.groupBoxCornerSizes[0], 1079);
    EXPECT_DOUBLE_EQ(d.topLinePos, 0.99);
    EXPECT_DOUBLE_EQ(d.actionsTopLinePos, 0.05);

    // The layout changes empty the action rectangles, which the painter then recomputes.
    for (const char *line :
         {"CustomerUI_DefineActionButtonWidth(1919);", "CustomerUI_DefineActionButtonVerticalSpacing(100);",
          "CustomerUI_AddActionButtonLine(\"Analyse Experiment\");"}) {
        theCustomerUI().Edit([](CustomerUIData &data) { data.actionRects = {CuiRect{1, 2, 3, 4}}; });
        ASSERT_TRUE(Run(Lines({line}), error)) << line << ": " << error.c_str();
        EXPECT_TRUE(theCustomerUI().Snapshot().actionRects.empty()) << line;
    }
    d = theCustomerUI().Snapshot();
    EXPECT_EQ(d.actionWidth, 1919) << "a width equal to the client width is accepted";
    EXPECT_EQ(d.actionVerticalSpacing, 100);
    EXPECT_EQ(d.actionLines, (std::vector<std::string>{"Analyse Experiment"}));
}

TEST_F(CustomerUILayoutCommandsTest, AMissingButtonImageFailsWithTheJoinedPathAndAFailingHoverKeepsTheNormal)
{
    Touch("next.png");
    EString error;
    EXPECT_FALSE(Run(Lines({"CustomerUI_SetBackImages(\"gone.png\", \"\");"}), error));
    EXPECT_THAT(
        std::string(error.c_str()),
        EndsWith(" : File does not exist: " + (std::filesystem::path(m_folder) / "gone.png").string()));
    EXPECT_EQ(theCustomerUI().Snapshot().backImages, (std::array<std::string, 2>{}));

    EXPECT_FALSE(Run(Lines({"CustomerUI_SetNextImages(\"next.png\", \"gone.png\");"}), error));
    EXPECT_EQ(theCustomerUI().Snapshot().nextImages, (std::array<std::string, 2>{"next.png", ""}));

    // A missing image file keeps the slot and names the file as the script gave it.
    EXPECT_FALSE(Run(Lines({"CustomerUI_SetImage(3, \"gone.png\");"}), error));
    EXPECT_THAT(std::string(error.c_str()),
                EndsWith(" : CustomerUI_SetImage() - file does not exist: gone.png"));
}

TEST_F(CustomerUILayoutCommandsTest, NoMoreThanSixteenActionLinesAndNoLineOverAHundredCharacters)
{
    EString error;
    EXPECT_FALSE(Run(Lines({"CustomerUI_AddActionButtonLine(\"" + std::string(101, 'x') + "\");"}), error));
    EXPECT_THAT(std::string(error.c_str()), HasSubstr("no more than 100 characters."));
    std::vector<std::string> script;
    for (int i = 1; i <= 15; ++i)
        script.push_back("CustomerUI_AddActionButtonLine(\"Action " + std::to_string(i) + "\");");
    script.push_back("CustomerUI_AddActionButtonLine(\"" + std::string(100, 'y') + "\");");
    ASSERT_TRUE(Run(Lines(script), error)) << error.c_str();
    EXPECT_FALSE(Run(Lines({"CustomerUI_AddActionButtonLine(\"Seventeenth\");"}), error));
    EXPECT_THAT(std::string(error.c_str()), EndsWith(" : No more than action lines may be added."));
    const CustomerUIData d = theCustomerUI().Snapshot();
    ASSERT_EQ(d.actionLines.size(), 16u);
    EXPECT_EQ(d.actionLines[0], "Action 1");
    EXPECT_EQ(d.actionLines[15], std::string(100, 'y'));
}

TEST_F(CustomerUILayoutCommandsTest, ActionFontKeepsItsFaceWhenTheHeightOrTheFontIsRefused)
{
    EString error;
    ASSERT_TRUE(Run(Lines({"CustomerUI_DefineActionButtonFont(\"Verdana\", 0);"}), error)) << error.c_str();
    CustomerUIData d = theCustomerUI().Snapshot();
    EXPECT_EQ(d.actionFontFace, "Verdana");
    EXPECT_EQ(d.actionFontHeight, 40) << "height 0 means 40";

    for (const char *height : {"7", "101"}) {
        EXPECT_FALSE(Run(
            Lines({std::string("CustomerUI_DefineActionButtonFont(\"Tahoma\", ") + height + ");"}), error));
        EXPECT_THAT(std::string(error.c_str()), EndsWith(" : font_ht must be between 8 and 100"));
        d = theCustomerUI().Snapshot();
        EXPECT_EQ(d.actionFontFace, "Tahoma") << "the face is taken before the check";
        EXPECT_EQ(d.actionFontHeight, 40) << height;
    }

    // A font the window cannot make: face and height stay set, the layout is kept.
    std::vector<std::pair<std::string, int32_t>> asked;
    CustomerUIHost host;
    host.canCreateFont = [&](const std::string &face, int32_t h) {
        asked.emplace_back(face, h);
        return face != "No Such Face";
    };
    theCustomerUI().SetHost(host);
    theCustomerUI().SetActionLines({"A"}, {CuiRect{1, 2, 3, 4}});
    EXPECT_FALSE(Run(Lines({"CustomerUI_DefineActionButtonFont(\"No Such Face\", 12);"}), error));
    EXPECT_THAT(std::string(error.c_str()),
                EndsWith(" : Can't create font using font name: \"No Such Face\" and font height: 12"));
    d = theCustomerUI().Snapshot();
    EXPECT_EQ(d.actionFontFace, "No Such Face");
    EXPECT_EQ(d.actionFontHeight, 12);
    EXPECT_EQ(d.actionRects.size(), 1u);
    ASSERT_TRUE(Run(Lines({"CustomerUI_DefineActionButtonFont(\"Arial\", 8);"}), error)) << error.c_str();
    EXPECT_TRUE(theCustomerUI().Snapshot().actionRects.empty()) << "a new font needs a new layout";
    EXPECT_EQ(asked, (std::vector<std::pair<std::string, int32_t>>{{"No Such Face", 12}, {"Arial", 8}}));
}

TEST_F(CustomerUILayoutCommandsTest, HiddenButtonsComeBackWhenTheirOwnTimerRunsOut)
{
    EString error;
    ASSERT_TRUE(Run(Lines({"CustomerUI_HideNext(5);", "CustomerUI_ShowBack();"}), error)) << error.c_str();
    CustomerUIData d = theCustomerUI().Snapshot();
    EXPECT_TRUE(d.nextHidden);
    EXPECT_FALSE(d.backHidden);
    EXPECT_EQ(theCustomerUI().Timers().at(CUI_TIMER_UNHIDE_NEXT), 5000);
    EXPECT_EQ(theCustomerUI().Timers().count(CUI_TIMER_UNHIDE_BACK), 0u);

    // Re-armed while hidden: the new period counts from now.
    m_nowMs += 3000;
    ASSERT_TRUE(Run(Lines({"CustomerUI_HideNext(4);"}), error)) << error.c_str();
    m_nowMs += 3000;
    EXPECT_TRUE(theCustomerUI().TakeDueTimers().empty()) << "six seconds after the first hide";
    EXPECT_TRUE(theCustomerUI().Snapshot().nextHidden);
    m_nowMs += 1000;
    const std::vector<int32_t> due = theCustomerUI().TakeDueTimers();
    ASSERT_EQ(due, (std::vector<int32_t>{CUI_TIMER_UNHIDE_NEXT}));
    theCustomerUI().OnTimer(CUI_TIMER_UNHIDE_NEXT);
    EXPECT_FALSE(theCustomerUI().Snapshot().nextHidden);
    EXPECT_EQ(theCustomerUI().Timers().count(CUI_TIMER_UNHIDE_NEXT), 0u);

    // Zero seconds: the re-show timer is due at once. Show stops it.
    ASSERT_TRUE(Run(Lines({"CustomerUI_HideBack(0);"}), error)) << error.c_str();
    EXPECT_TRUE(theCustomerUI().Snapshot().backHidden);
    EXPECT_EQ(theCustomerUI().TakeDueTimers(), (std::vector<int32_t>{CUI_TIMER_UNHIDE_BACK}));
    ASSERT_TRUE(Run(Lines({"CustomerUI_HideBack(60);", "CustomerUI_ShowBack();"}), error)) << error.c_str();
    EXPECT_FALSE(theCustomerUI().Snapshot().backHidden);
    EXPECT_EQ(theCustomerUI().Timers().count(CUI_TIMER_UNHIDE_BACK), 0u);
}

TEST_F(CustomerUILayoutCommandsTest, RestoreDefaultStateEmptiesThePerScreenDataOnly)
{
    Touch("slot.png");
    theCustomerUI().Edit([](CustomerUIData &d) { d.imageColors = {"green"}; });
    std::string ignored;
    ASSERT_TRUE(theCustomerUI().SetState(PromptInfo, ignored));
    EString error;
    ASSERT_TRUE(Run(Lines({
                        "CustomerUI_SetBackgroundColor(1, 2, 3);",
                        "CustomerUI_SetSelectionActionTitle(\"Pick one\");",
                        "CustomerUI_SetTitle(\"Run\");",
                        "CustomerUI_SetTextLine(1, \"line\");",
                        "CustomerUI_SetImage(1, \"slot.png\");",
                        "CustomerUI_AddActionButtonLine(\"Go\");",
                        "CustomerUI_DefineActionButtonFont(\"Arial\", 30);",
                        "CustomerUI_DefineActionButtonTextColors(1, 2, 3, 4, 5, 6);",
                        "CustomerUI_DefineGroupBox(0, 10, 0, 10, 1, 2, 3, 4, 5, 6, 1, 2);",
                        "CustomerUI_HideNext(30);",
                        "CustomerUI_SetTopLinePos(0.5);",
                        "CustomerUI_SetActionsTopLinePos(0.5);",
                        "CustomerUI_RestoreDefaultState(whatever is written here);",
                    }),
                    error))
        << error.c_str();
    const CustomerUIData d = theCustomerUI().Snapshot();
    EXPECT_EQ(d.title, "");
    EXPECT_TRUE(d.textLines.empty());
    EXPECT_TRUE(d.images.empty());
    EXPECT_TRUE(d.actionLines.empty());
    EXPECT_EQ(d.actionFontFace, "");
    EXPECT_EQ(d.actionFontHeight, 0);
    EXPECT_EQ(d.actionTextColor, -1);
    EXPECT_TRUE(d.groupBoxRects.empty());
    EXPECT_FALSE(d.nextHidden);
    EXPECT_DOUBLE_EQ(d.topLinePos, 0.01);
    EXPECT_DOUBLE_EQ(d.actionsTopLinePos, 0.0);
    // What stays: state, selection title, screen colours, image colour names.
    EXPECT_EQ(d.state, PromptInfo);
    EXPECT_EQ(d.selectionTitle, "Pick one");
    EXPECT_EQ(d.backgroundColor, WinRgb(1, 2, 3));
    EXPECT_EQ(d.imageColors, (std::vector<std::string>{"green"}));
}

TEST_F(CustomerUILayoutCommandsTest, GuiSizeFillsIntResultsOnly)
{
    theApp.m_customer_ui_size.width = 1600;
    theApp.m_customer_ui_size.height = 900;
    VariableList variables;
    EString error;
    ASSERT_TRUE(Run(Lines({"int w;", "int h;", "double dw = 1.5;", "double dh = 2.5;",
                           "CustomerUI_GetGUISize(w, h);", "CustomerUI_GetGUISize(dw, dh);"}),
                    error, &variables))
        << error.c_str();
    EXPECT_EQ(Var(variables, "w").integer, 1600);
    EXPECT_EQ(Var(variables, "h").integer, 900);
    EXPECT_DOUBLE_EQ(Var(variables, "dw").number, 1.5);
    EXPECT_DOUBLE_EQ(Var(variables, "dh").number, 2.5);
}

// ---- the image-check screens ----

TEST_F(CustomerUILayoutCommandsTest, ChannelCheckWithoutImagesReturnsNextAtOnce)
{
    VariableList variables;
    EString error;
    ASSERT_TRUE(Run(Lines({"STRING r;", "int m1 = 7;", "int m2 = 8;", "STRING grey = \"grey.png\";",
                           "CustomerUI_FluoChannelCheck(\"Green\", \"\", \"Red\", \"\", r, m1, m2);",
                           "STRING f;", "CustomerUI_FusedImageCheck(grey, \"\", \"\", f);"}),
                    error, &variables))
        << error.c_str();
    EXPECT_STREQ(Var(variables, "r").text.c_str(), "Next");
    EXPECT_STREQ(Var(variables, "f").text.c_str(), "Next");
    EXPECT_EQ(Var(variables, "m1").integer, 7);
    EXPECT_EQ(Var(variables, "m2").integer, 8);
    const CustomerUIData d = theCustomerUI().Snapshot();
    EXPECT_EQ(d.state, UndefinedState) << "no screen is shown";
    EXPECT_TRUE(d.images.empty());
    EXPECT_TRUE(d.inputLabels.empty());
}

TEST_F(CustomerUILayoutCommandsTest, ChannelCheckShowsItsImagesAndReturnsTheFinalMarks)
{
    const std::string green = Touch("green.png");
    const std::string red = Touch("red.png");
    const struct
    {
        const char *name;
        std::string image1;
        std::string image2;
        size_t greenSlot; // 1-based; 0 = not shown
        size_t redSlot;
        std::vector<std::string> labels;
        std::array<int32_t, 2> shownMarks; // check boxes 1 and 2 when the screen appears
        std::array<int32_t, 2> ticked;     // what the operator leaves on boxes 1 and 2
        std::array<int32_t, 2> results;    // mark1 and mark2 afterwards
    } cases[] = {
        {"green only", green, "", 1, 0, {"Green ok"}, {1, 0}, {0, 1}, {0, 0}},
        {"red only", "", red, 0, 1, {"Red ok"}, {0, 0}, {1, 1}, {0, 1}},
        {"both", green, red, 4, 5, {"Green ok", "Red ok"}, {1, 0}, {0, 1}, {0, 1}},
    };
    for (const auto &c : cases) {
        ClearScreen();
        VariableList variables;
        EString error;
        auto run = std::async(std::launch::async, [&] {
            return Run(Lines({"STRING r;", "int m1 = 1;", "int m2 = 0;",
                              "CustomerUI_FluoChannelCheck(\"Green ok\", \"" + c.image1 +
                                  "\", \"Red ok\", \"" + c.image2 + "\", r, m1, m2);"}),
                       error, &variables);
        });
        ASSERT_TRUE(WaitForState(PromptForImageChecks)) << c.name;
        const CustomerUIData shown = theCustomerUI().Snapshot();
        EXPECT_EQ(shown.inputLabels, c.labels) << c.name;
        EXPECT_EQ(shown.checkMarks[0], c.shownMarks[0]) << c.name;
        EXPECT_EQ(shown.checkMarks[1], c.shownMarks[1]) << c.name;
        if (c.greenSlot) {
            ASSERT_GE(shown.images.size(), c.greenSlot) << c.name;
            EXPECT_EQ(shown.images[c.greenSlot - 1], green) << c.name;
            EXPECT_EQ(shown.imageColors[c.greenSlot - 1], "green") << c.name;
        }
        if (c.redSlot) {
            ASSERT_GE(shown.images.size(), c.redSlot) << c.name;
            EXPECT_EQ(shown.images[c.redSlot - 1], red) << c.name;
            EXPECT_EQ(shown.imageColors[c.redSlot - 1], "red") << c.name;
        }
        EXPECT_EQ(run.wait_for(50ms), std::future_status::timeout) << c.name << ": the screen must wait";
        theCustomerUI().SetCheckMark(1, c.ticked[0] != 0);
        theCustomerUI().SetCheckMark(2, c.ticked[1] != 0);
        theCustomerUI().RaiseEvent("Back");
        ASSERT_TRUE(run.get()) << c.name << ": " << error.c_str();
        EXPECT_STREQ(Var(variables, "r").text.c_str(), "Back") << c.name;
        EXPECT_EQ(Var(variables, "m1").integer, c.results[0]) << c.name;
        EXPECT_EQ(Var(variables, "m2").integer, c.results[1]) << c.name;
    }
}

TEST_F(CustomerUILayoutCommandsTest, AnEarlyNextIsKeptAndAMissingImageShowsNoEarlierImage)
{
    const std::string old = Touch("old.png");
    std::string ignored;
    ASSERT_TRUE(theCustomerUI().SetImage(1, old, m_folder, ignored));
    // The operator clicked Next while the script was still filling the screen.
    theCustomerUI().RaiseEvent("Next");
    VariableList variables;
    EString error;
    ASSERT_TRUE(
        Run(Lines({"STRING r;", "int m1 = 1;", "double m2 = 2.5;",
                   "CustomerUI_FluoChannelCheck(\"Green ok\", \"missing_green.png\", \"Red ok\", \"\", r, "
                   "m1, m2);"}),
            error, &variables))
        << error.c_str();
    EXPECT_STREQ(Var(variables, "r").text.c_str(), "Next");
    EXPECT_EQ(Var(variables, "m1").integer, 1) << "the box was shown marked and left so";
    EXPECT_DOUBLE_EQ(Var(variables, "m2").number, 2.5) << "a double result is left alone";
    const CustomerUIData d = theCustomerUI().Snapshot();
    EXPECT_EQ(d.state, PromptForImageChecks);
    ASSERT_GE(d.images.size(), 1u);
    EXPECT_EQ(d.images[0], "") << "the earlier screen's image must not pass for the green channel";
    EXPECT_EQ(d.imageColors[0], "green");
    EXPECT_THAT(ErrorLogText(), HasSubstr("CustomerUI_SetImage() - file does not exist: missing_green.png"));
}

TEST_F(CustomerUILayoutCommandsTest, FusedCheckFillsGreyGreenAndRedSlotsAndWaits)
{
    const std::string grey = Touch("grey.png");
    const std::string green = Touch("green.png");
    const std::string stale = Touch("stale.png");
    std::string ignored;
    ASSERT_TRUE(theCustomerUI().SetImage(5, stale, m_folder, ignored));
    VariableList variables;
    EString error;
    auto run = std::async(std::launch::async, [&] {
        return Run(
            Lines({"STRING r;", "CustomerUI_FusedImageCheck(\"" + grey + "\", \"" + green + "\", \"\", r);"}),
            error, &variables);
    });
    ASSERT_TRUE(WaitForState(PromptForFusedImageVerification));
    const CustomerUIData d = theCustomerUI().Snapshot();
    ASSERT_EQ(d.images.size(), 5u);
    EXPECT_EQ(d.images[0], grey);
    EXPECT_EQ(d.images[3], green);
    EXPECT_EQ(d.images[4], "") << "an empty name clears its slot";
    EXPECT_EQ(d.imageColors[0], "grey");
    EXPECT_EQ(d.imageColors[3], "green");
    EXPECT_EQ(d.imageColors[4], "red");
    EXPECT_EQ(run.wait_for(50ms), std::future_status::timeout) << "the screen must wait";
    theCustomerUI().RaiseEvent("Next");
    ASSERT_TRUE(run.get()) << error.c_str();
    EXPECT_STREQ(Var(variables, "r").text.c_str(), "Next");
}

} // namespace
