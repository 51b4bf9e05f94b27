// The control panel's files, button actions and panel switching, without windows.
#include "ControlPanelFixture.h"

#include "devices/ControlPanel.h"

#include <gmock/gmock.h>

namespace vantelis::test {
namespace {

using ::testing::HasSubstr;

constexpr int Button(int n)
{
    return 1090 + n;
}

TEST_F(ControlPanelFixture, ActivePanelFileFollowsActiveControlPanelIni)
{
    EString path;
    EXPECT_EQ(std::string(GetActiveControlPanelFile(path)), dir.file("Default.ControlPanel"));
    EXPECT_EQ(ActiveControlPanelName(), "Default");
    SetActivePanel("Lab 2");
    EXPECT_EQ(std::string(GetActiveControlPanelFile(path)), dir.file("Lab 2.ControlPanel"));
    EXPECT_EQ(ActiveControlPanelName(), "Lab 2");
}

TEST_F(ControlPanelFixture, ButtonColorsTitlesAndScripts)
{
    WritePanel("Default", kDefaultPanel);
    const std::string panel = dir.file("Default.ControlPanel");
    struct Case
    {
        int id;
        uint32_t color;
        const char *title;
        const char *script;
    };
    const Case cases[] = {
        {Button(1), 0x0000FF, "Prime", "prime.scr"},
        // A stored "<NotAssigned>" is no script.
        {Button(2), 0x00FF00, "<NotAssigned>", ""},
        {Button(3), 0xFF0000, "Halt", "stop"},
        {Button(4), 0xC0C0C0, "<NotAssigned>", ""},
        // Two numbers are no colour; a missing title is "[Empty]".
        {Button(5), 0xC0C0C0, "[Empty]", "flush.scr"},
        {Button(20), 0xC0C0C0, "<NotAssigned>", ""},
        {Button(0), 0xC0C0C0, "<NotAssigned>", ""},
        {Button(21), 0xC0C0C0, "<NotAssigned>", ""},
    };
    for (const Case &c : cases) {
        EString title, script;
        EXPECT_EQ(GetControlPanelButtonColor(panel.c_str(), c.id), c.color) << c.id;
        EXPECT_STREQ(GetControlPanelButtonTitle(panel.c_str(), c.id, title), c.title) << c.id;
        GetControlPanelButtonScript(c.id, script);
        EXPECT_EQ(std::string(script.IsNonEmpty() ? script.c_str() : ""), c.script) << c.id;
    }
    // Each number is taken to its low byte, as a colour value holds one byte per channel.
    WritePanel("Default", "[ControlPanelButton_1]\r\nColor=256,1,513\r\n");
    EXPECT_EQ(GetControlPanelButtonColor(panel.c_str(), Button(1)), 0x010100u);
}

TEST_F(ControlPanelFixture, RunningAButton)
{
    WritePanel("Default", kDefaultPanel);
    struct Case
    {
        int id;
        bool result;
        const char *started; // script path relative to the data folder, or null
        bool stopped;
        const char *message;
    };
    const Case cases[] = {
        {Button(1), true, "Scripts/prime.scr", false, nullptr},
        {Button(3), true, nullptr, true, nullptr},
        {Button(2), false, nullptr, false, "No script assigned to this button."},
        {Button(4), false, nullptr, false, "No script assigned to this button."},
    };
    for (const Case &c : cases) {
        scripts->started.clear();
        scripts->stopped.clear();
        ui->Clear();
        EXPECT_EQ(RunButtonScript(c.id), c.result) << c.id;
        if (c.started) {
            ASSERT_EQ(scripts->started.size(), 1u) << c.id;
            EXPECT_EQ(scripts->started[0].first, 0u);
            EXPECT_EQ(scripts->started[0].second, dir.file(c.started));
        } else {
            EXPECT_TRUE(scripts->started.empty()) << c.id;
        }
        EXPECT_EQ(scripts->stopped, c.stopped ? std::vector<uint32_t>{0} : std::vector<uint32_t>{}) << c.id;
        if (c.message) {
            ASSERT_EQ(ui->Messages().size(), 1u) << c.id;
            EXPECT_EQ(ui->Messages()[0].text, c.message);
            EXPECT_THAT(ErrorLog(), HasSubstr(c.message));
        } else {
            EXPECT_TRUE(ui->Messages().empty()) << c.id;
        }
    }
}

TEST_F(ControlPanelFixture, AScriptThatDoesNotStartIsLoggedAndShown)
{
    WritePanel("Default", kDefaultPanel);
    scripts->runError = "Script file not found: prime.scr";
    EXPECT_FALSE(RunButtonScript(Button(1)));
    ASSERT_EQ(ui->Messages().size(), 1u);
    EXPECT_EQ(ui->Messages()[0].text, scripts->runError);
    EXPECT_THAT(ErrorLog(), HasSubstr(scripts->runError));
}

TEST_F(ControlPanelFixture, TitleShowsWhetherTheFluidicScriptRuns)
{
    EXPECT_EQ(ControlPanelTitle(), "Control Panel");
    scripts->instances = {{1, true, "op.scr"}, {0, false, ""}};
    EXPECT_EQ(ControlPanelTitle(), "Control Panel");
    scripts->instances = {{0, true, "prime.scr"}};
    EXPECT_EQ(ControlPanelTitle(), "Control Panel - Script Running");
}

TEST_F(ControlPanelFixture, SwitchingPanels)
{
    namespace ui_ = platform::ui;
    struct Case
    {
        const char *name;
        const char *typed;
        std::vector<int> answers;
        PanelSwitch result;
        const char *shown;
        std::vector<std::string> messages;
        const char *active; // ActiveControlPanel afterwards
    };
    const std::string longName(33, 'x');
    const std::string longest(32, 'y');
    const std::vector<Case> cases = {
        {"own name in other case", "DEFAULT", {}, PanelSwitch::Reload, "DEFAULT", {}, "Default"},
        {"blanks and tabs", " \t ", {}, PanelSwitch::Ignored, " \t ", {}, "Default"},
        {"33 characters",
         longName.c_str(),
         {},
         PanelSwitch::Refused,
         longName.c_str(),
         {"Control panel names may not be longer than 32 characters."},
         "Default"},
        {"existing panel", "Lab", {}, PanelSwitch::Switched, "Lab", {}, "Lab"},
        {"existing panel in other case", "lab", {}, PanelSwitch::Switched, "lab", {}, "Lab"},
        {"invalid character declined",
         "a/b",
         {ui_::IdNo},
         PanelSwitch::Refused,
         "a/b",
         {"The control panel must be a valid file name. Fix the name?"},
         "Default"},
        {"invalid character fixed, new panel",
         "a/b",
         {ui_::IdYes, ui_::IdYes, ui_::IdYes},
         PanelSwitch::Switched,
         "a_b",
         {"The control panel must be a valid file name. Fix the name?", "Create a new control panel: a_b?",
          "The contents of the active control panel Default will be copied to the new control panel a_b. "
          "Continue?"},
         "a_b"},
        {"new panel declined",
         "Night",
         {ui_::IdNo},
         PanelSwitch::Refused,
         "Night",
         {"Create a new control panel: Night?"},
         "Default"},
        {"copy declined",
         "Night",
         {ui_::IdYes, ui_::IdNo},
         PanelSwitch::Refused,
         "Night",
         {"Create a new control panel: Night?",
          "The contents of the active control panel Default will be copied to the new control panel Night. "
          "Continue?"},
         "Default"},
        {"32 characters",
         longest.c_str(),
         {ui_::IdYes, ui_::IdYes},
         PanelSwitch::Switched,
         longest.c_str(),
         {"Create a new control panel: " + longest + "?",
          "The contents of the active control panel Default will be copied to the new control panel " +
              longest + ". Continue?"},
         longest.c_str()},
    };
    for (const Case &c : cases) {
        for (const platform::DirEntry &entry : platform::ListFolder(dir.str(), "*.ControlPanel"))
            platform::DeleteFile(dir.file(entry.name));
        WritePanel("Default", kDefaultPanel);
        WritePanel("Lab", "[ControlPanelButton_1]\r\nTitle=Lab prime\r\nScript=lab.scr\r\n");
        SetActivePanel("Default");
        ui->Clear();
        for (int answer : c.answers)
            ui->QueueMessageAnswer(answer);
        std::string shown;
        EXPECT_EQ(SwitchControlPanel(c.typed, shown), c.result) << c.name;
        EXPECT_EQ(shown, c.shown) << c.name;
        std::vector<std::string> messages;
        for (const auto &message : ui->Messages())
            messages.push_back(message.text);
        EXPECT_EQ(messages, c.messages) << c.name;
        EXPECT_EQ(ActiveControlPanelName(), c.active) << c.name;
    }
    // The new panel is a copy of the one that was active.
    std::string copy, original;
    ASSERT_TRUE(platform::ReadWholeFile(dir.file(longest + ".ControlPanel"), copy));
    ASSERT_TRUE(platform::ReadWholeFile(dir.file("Default.ControlPanel"), original));
    EXPECT_EQ(copy, original);
}

TEST_F(ControlPanelFixture, ANewPanelWithoutAnActiveFileToCopySwitchesNothing)
{
    SetActivePanel("Default"); // Default.ControlPanel does not exist
    ui->QueueMessageAnswer(platform::ui::IdYes);
    ui->QueueMessageAnswer(platform::ui::IdYes);
    std::string shown;
    EXPECT_EQ(SwitchControlPanel("Night", shown), PanelSwitch::CopyFailed);
    ASSERT_EQ(ui->Messages().size(), 3u);
    EXPECT_EQ(ui->Messages()[2].text, "Problem copying file: " + dir.file("Default.ControlPanel") + "\n to " +
                                          dir.file("Night.ControlPanel"));
    EXPECT_EQ(ActiveControlPanelName(), "Default");
    EXPECT_FALSE(platform::FileExists(dir.file("Night.ControlPanel")));
}

TEST_F(ControlPanelFixture, PanelNamesAreCutAtTheFirstDot)
{
    WritePanel("Default", "");
    WritePanel("Lab.v2", "");
    WriteFileBytes(dir.file("Other.ini"), "");
    EXPECT_EQ(ControlPanelNames(), (std::vector<std::string>{"Default", "Lab"}));
}

TEST_F(ControlPanelFixture, PropertiesScriptChoicesAndSelection)
{
    for (const char *name : {"prime.scr", "Flush.scr", "notes.txt"})
        WriteFileBytes(dir.file(std::string("Scripts/") + name), "");
    const std::vector<std::string> choices = ButtonScriptChoices();
    EXPECT_EQ(choices, (std::vector<std::string>{"<NotAssigned>", "Flush.scr", "prime.scr", "Stop"}));
    EXPECT_EQ(FindScriptChoice(choices, "<NotAssigned>"), 0);
    EXPECT_EQ(FindScriptChoice(choices, ""), 0);
    EXPECT_EQ(FindScriptChoice(choices, "PRIME.SCR"), 2);
    EXPECT_EQ(FindScriptChoice(choices, "stop"), 3);
    EXPECT_EQ(FindScriptChoice(choices, "gone.scr"), -1);
}

TEST_F(ControlPanelFixture, PropertiesAreWrittenAndNotAssignedClearsTheButton)
{
    WritePanel("Default", kDefaultPanel);
    const std::string panel = dir.file("Default.ControlPanel");
    const std::string section = "ControlPanelButton_1";
    std::string error;
    const std::string choice = "<NotAssigned>";
    ASSERT_TRUE(WriteButtonProperties(panel, section, 0x30201u, "Rinse", &choice, error)) << error;
    const ButtonProperties read = ReadButtonProperties(panel, section);
    EXPECT_EQ(read.color, 0x30201u);
    EXPECT_EQ(read.title, "Rinse");
    EXPECT_EQ(read.script, "");
    EXPECT_EQ(GetControlPanelButtonColor(panel.c_str(), Button(1)), 0x30201u);
    EString title, script;
    EXPECT_STREQ(GetControlPanelButtonTitle(panel.c_str(), Button(1), title), "<NotAssigned>");
    GetControlPanelButtonScript(Button(1), script);
    EXPECT_FALSE(script.IsNonEmpty());
    std::string text;
    ASSERT_TRUE(platform::ReadWholeFile(panel, text));
    EXPECT_THAT(text, HasSubstr("Color=1,2,3"));

    // Without a chosen entry the script stays.
    ASSERT_TRUE(WriteButtonProperties(panel, "ControlPanelButton_3", 0xC0C0C0, "Halt", nullptr, error));
    EXPECT_EQ(ReadButtonProperties(panel, "ControlPanelButton_3").script, "stop");
    // A missing section reads as grey, no title and "<NotAssigned>".
    const ButtonProperties empty = ReadButtonProperties(panel, "ControlPanelButton_9");
    EXPECT_EQ(empty.color, 0xC0C0C0u);
    EXPECT_EQ(empty.title, "");
    EXPECT_EQ(empty.script, "<NotAssigned>");
}

} // namespace
} // namespace vantelis::test
