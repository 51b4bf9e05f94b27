#pragma once
// The fluidic control panel's files and button actions: twenty buttons, each bound to a script of
// the Scripts folder, kept in panel files <settings folder>/<name>.ControlPanel, one section
// [ControlPanelButton_n] per button with the keys Title, Color ("r,g,b") and Script. The active
// panel's name is [ControlPanel] ActiveControlPanel of <settings folder>/ActiveControlPanel.ini
// ("Default" when missing). The settings folder is the main settings file's folder.
//
// A Script of "<NotAssigned>" (the properties dialog stored it for a cleared button) reads as no
// script, so such a button is hidden in operator mode and its click starts nothing.
#include "Ostravo/EString.h"

#include <cstdint>
#include <string>
#include <vector>

constexpr int kFirstControlPanelButton = 1091;
constexpr int kLastControlPanelButton = 1110;
constexpr int kControlPanelButtonCount = 20;
constexpr uint32_t kDefaultButtonColor = 0xC0C0C0;
constexpr const char *kNotAssigned = "<NotAssigned>";
constexpr size_t kMaxControlPanelNameLength = 32;

// Colours are held as r | g << 8 | b << 16.
constexpr uint32_t MakeColor(uint32_t red, uint32_t green, uint32_t blue)
{
    return (red & 0xFF) | (green & 0xFF) << 8 | (blue & 0xFF) << 16;
}

// The folder of the main settings file (the data folder when no settings file is known).
std::string ControlPanelSettingsFolder();
// The data folder's Scripts sub-folder.
std::string ControlPanelScriptsFolder();
// The section of button id: "ControlPanelButton_<id - 1090>".
std::string ControlPanelButtonSection(int buttonId);

// Sets path to the active panel's file and returns its text.
const char *GetActiveControlPanelFile(EString &path);
// The active panel's name: its file name without folder and extension.
std::string ActiveControlPanelName();
// The names of the panel files in the settings folder, each cut at its first '.'.
std::vector<std::string> ControlPanelNames();

// 0xC0C0C0 for an id outside 1091..1110 or a Color that is not three numbers.
uint32_t GetControlPanelButtonColor(const char *panelFile, int buttonId);
// The button's script in the active panel: empty for an id outside 1091..1110, a missing key or
// "<NotAssigned>".
const char *GetControlPanelButtonScript(int buttonId, EString &script);
// "<NotAssigned>" when the button has no script in panelFile, else its Title ("[Empty]" when
// missing).
const char *GetControlPanelButtonTitle(const char *panelFile, int buttonId, EString &title);

// A left click on a button: starts its script on script handle 0, or stops that handle's script
// for "Stop". A button without a script, or a script that does not start, logs the reason and
// shows it. False when nothing was started or stopped.
bool RunButtonScript(int buttonId);

// "Control Panel - Script Running" while the script of handle 0 runs, else "Control Panel".
std::string ControlPanelTitle();

// What the panel-name box does with a typed name.
enum class PanelSwitch
{
    Reload,     // the active panel's own name: reload the buttons
    Ignored,    // empty, or blanks and tabs only
    Refused,    // too long, or the operator declined a question
    CopyFailed, // a new panel could not be made from the active one
    Switched,   // the named panel is active now: reload the buttons
};
// Runs the name change with its questions and messages; shown receives the name to show in the
// box (the corrected one when characters were replaced).
PanelSwitch SwitchControlPanel(const std::string &typed, std::string &shown);

// The properties of one button as the properties dialog edits them.
struct ButtonProperties
{
    uint32_t color = kDefaultButtonColor;
    std::string title;
    std::string script; // as stored; "<NotAssigned>" when missing
};
ButtonProperties ReadButtonProperties(const std::string &panelFile, const std::string &section);
// The dialog's script list: "<NotAssigned>", the *.scr files of the Scripts folder, "Stop".
std::vector<std::string> ButtonScriptChoices();
// Index of the first choice that begins with script ignoring case; -1 when none does.
int FindScriptChoice(const std::vector<std::string> &choices, const std::string &script);
// Writes the colour and title and, when scriptChoice is not null, the script: "<NotAssigned>"
// clears it. False with the file in error when a value could not be written.
bool WriteButtonProperties(const std::string &panelFile, const std::string &section, uint32_t color,
                           const std::string &title, const std::string *scriptChoice, std::string &error);
