#include "devices/ControlPanel.h"

#include "Ostravo/LogError.h"
#include "Ostravo/Profile.h"
#include "app/PlexorinApp.h"
#include "app/ScriptServices.h"
#include "platform/Files.h"
#include "platform/PathParts.h"
#include "platform/Ui.h"
#include "platform/Utf8Text.h"

#include <cstdio>
#include <cstring>
#include <strings.h>

namespace {

constexpr uint32_t kValueSize = 1024; // values are read into buffers of 1023 characters

std::string ReadValue(const std::string &file, const std::string &section, const char *key,
                      const char *defaultValue)
{
    char buffer[kValueSize] = "";
    Ostravo::E_GetPrivateProfileString(section.c_str(), key, defaultValue, buffer, kValueSize, file.c_str());
    return buffer;
}

bool ValidButton(int buttonId)
{
    return buttonId >= kFirstControlPanelButton && buttonId <= kLastControlPanelButton;
}

std::string Trimmed(const std::string &text)
{
    const size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos)
        return std::string();
    const size_t last = text.find_last_not_of(" \t\r\n");
    return text.substr(first, last - first + 1);
}

std::string ActiveIniPath()
{
    return ControlPanelSettingsFolder() + "/ActiveControlPanel.ini";
}

bool IsNotAssigned(const std::string &script)
{
    return strcasecmp(script.c_str(), kNotAssigned) == 0;
}

void LogAndShow(int line, const std::string &text)
{
    LogError(__FILE_NAME__, line, text);
    platform::ui::MessageBox(text);
}

std::string Format2(const char *format, const std::string &a, const std::string &b)
{
    std::vector<char> text(std::strlen(format) + a.size() + b.size() + 1);
    std::snprintf(text.data(), text.size(), format, a.c_str(), b.c_str());
    return text.data();
}

} // namespace

std::string ControlPanelSettingsFolder()
{
    const std::string folder = platform::FolderPart(theApp.m_ini_path);
    return folder.empty() ? theApp.m_data_directory : folder;
}

std::string ControlPanelScriptsFolder()
{
    return theApp.m_data_directory + "/Scripts";
}

std::string ControlPanelButtonSection(int buttonId)
{
    return "ControlPanelButton_" + std::to_string(static_cast<unsigned>(buttonId - 1090));
}

const char *GetActiveControlPanelFile(EString &path)
{
    const std::string ini = ActiveIniPath();
    const std::string name = ReadValue(ini, "ControlPanel", "ActiveControlPanel", "Default");
    path = (Trimmed(platform::FolderPart(ini)) + "/" + name + ".ControlPanel").c_str();
    return path.c_str();
}

std::string ActiveControlPanelName()
{
    EString path;
    std::string file = GetActiveControlPanelFile(path);
    return platform::FileTitleOf(file);
}

std::vector<std::string> ControlPanelNames()
{
    std::vector<std::string> names;
    for (const platform::DirEntry &entry :
         platform::ListFolder(ControlPanelSettingsFolder(), "*.ControlPanel"))
        names.push_back(entry.name.substr(0, entry.name.find('.')));
    return names;
}

uint32_t GetControlPanelButtonColor(const char *panelFile, int buttonId)
{
    if (!ValidButton(buttonId) || !panelFile)
        return kDefaultButtonColor;
    const std::string value =
        ReadValue(panelFile, ControlPanelButtonSection(buttonId), "Color", "192,192,192");
    long red = 0, green = 0, blue = 0;
    if (std::sscanf(value.c_str(), "%ld,%ld,%ld", &red, &green, &blue) != 3)
        return kDefaultButtonColor;
    return MakeColor(static_cast<uint32_t>(red), static_cast<uint32_t>(green), static_cast<uint32_t>(blue));
}

const char *GetControlPanelButtonScript(int buttonId, EString &script)
{
    script = "";
    if (ValidButton(buttonId)) {
        EString panel;
        const std::string value =
            ReadValue(GetActiveControlPanelFile(panel), ControlPanelButtonSection(buttonId), "Script", "");
        if (!IsNotAssigned(value))
            script = value.c_str();
    }
    return script.c_str();
}

const char *GetControlPanelButtonTitle(const char *panelFile, int buttonId, EString &title)
{
    const std::string section = ControlPanelButtonSection(buttonId);
    const std::string file = panelFile ? panelFile : "";
    const std::string script = ReadValue(file, section, "Script", "");
    if (script.empty() || IsNotAssigned(script))
        title = kNotAssigned;
    else
        title = ReadValue(file, section, "Title", "[Empty]").c_str();
    return title.c_str();
}

bool RunButtonScript(int buttonId)
{
    EString scriptText;
    GetControlPanelButtonScript(buttonId, scriptText);
    const std::string script = scriptText.IsNonEmpty() ? scriptText.c_str() : "";
    if (script.empty()) {
        LogAndShow(__LINE__, "No script assigned to this button.");
        return false;
    }
    if (strcasecmp(script.c_str(), "Stop") == 0) {
        Scripts().StopScript(0);
        return true;
    }
    EString error;
    if (!Scripts().RunScript(0, ControlPanelScriptsFolder() + "/" + script, error)) {
        LogAndShow(__LINE__, error.IsNonEmpty() ? error.c_str() : "The script could not be started.");
        return false;
    }
    return true;
}

std::string ControlPanelTitle()
{
    std::string path;
    return Scripts().IsScriptRunning(0, path) ? "Control Panel - Script Running" : "Control Panel";
}

PanelSwitch SwitchControlPanel(const std::string &typed, std::string &shown)
{
    namespace ui = platform::ui;
    std::string name = typed;
    shown = typed;
    const std::string active = ActiveControlPanelName();
    if (strcasecmp(name.c_str(), active.c_str()) == 0)
        return PanelSwitch::Reload;
    if (name.find_first_not_of(" \t") == std::string::npos)
        return PanelSwitch::Ignored;
    if (name.size() > kMaxControlPanelNameLength) {
        ui::MessageBox("Control panel names may not be longer than 32 characters.");
        return PanelSwitch::Refused;
    }
    std::string fixed = name;
    for (char &c : fixed)
        if (!IsValidFileNameChar(c))
            c = '_';
    if (fixed != name) {
        if (ui::MessageBox("The control panel must be a valid file name. Fix the name?", "Vantelis",
                           ui::MbYesNo) != ui::IdYes)
            return PanelSwitch::Refused;
        name = fixed;
        shown = fixed;
    }

    const std::string folder = ControlPanelSettingsFolder();
    const std::string wanted = name + ".ControlPanel";
    // Panels made on a system that ignores letter case are found in any case.
    const std::string existing = platform::FindFileIgnoringCase(folder, wanted);
    if (!existing.empty()) {
        const std::string file = platform::FileNameOf(existing);
        name = file.substr(0, file.size() - std::string(".ControlPanel").size());
    } else {
        const std::string file = folder + "/" + wanted;
        if (ui::MessageBox(Format2("Create a new control panel: %s?", name, ""), "Vantelis", ui::MbYesNo) !=
            ui::IdYes)
            return PanelSwitch::Refused;
        if (ui::MessageBox(
                Format2("The contents of the active control panel %s will be copied to the new control "
                        "panel %s. Continue?",
                        active, name),
                "Vantelis", ui::MbYesNo) != ui::IdYes)
            return PanelSwitch::Refused;
        EString activeFile;
        GetActiveControlPanelFile(activeFile);
        if (!platform::CopyFile(activeFile.c_str(), file, true)) {
            ui::MessageBox(Format2("Problem copying file: %s\n to %s", activeFile.c_str(), file));
            return PanelSwitch::CopyFailed;
        }
    }
    if (!Ostravo::E_WritePrivateProfileString("ControlPanel", "ActiveControlPanel", name.c_str(),
                                              ActiveIniPath().c_str())) {
        LogAndShow(__LINE__, "Problem writing file: " + ActiveIniPath());
        return PanelSwitch::CopyFailed;
    }
    return PanelSwitch::Switched;
}

ButtonProperties ReadButtonProperties(const std::string &panelFile, const std::string &section)
{
    ButtonProperties properties;
    const std::string color = ReadValue(panelFile, section, "Color", "192,192,192");
    long red = 0, green = 0, blue = 0;
    if (std::sscanf(color.c_str(), "%ld,%ld,%ld", &red, &green, &blue) == 3)
        properties.color =
            MakeColor(static_cast<uint32_t>(red), static_cast<uint32_t>(green), static_cast<uint32_t>(blue));
    properties.title = ReadValue(panelFile, section, "Title", "");
    properties.script = ReadValue(panelFile, section, "Script", kNotAssigned);
    return properties;
}

std::vector<std::string> ButtonScriptChoices()
{
    std::vector<std::string> choices{kNotAssigned};
    for (const platform::DirEntry &entry : platform::ListFolder(ControlPanelScriptsFolder(), "*.scr"))
        if (!entry.isFolder)
            choices.push_back(entry.name);
    choices.push_back("Stop");
    return choices;
}

int FindScriptChoice(const std::vector<std::string> &choices, const std::string &script)
{
    for (size_t i = 0; i < choices.size(); ++i)
        if (strncasecmp(choices[i].c_str(), script.c_str(), script.size()) == 0)
            return static_cast<int>(i);
    return -1;
}

bool WriteButtonProperties(const std::string &panelFile, const std::string &section, uint32_t color,
                           const std::string &title, const std::string *scriptChoice, std::string &error)
{
    char text[64];
    std::snprintf(text, sizeof text, "%ld,%ld,%ld", static_cast<long>(color & 0xFF),
                  static_cast<long>((color >> 8) & 0xFF), static_cast<long>((color >> 16) & 0xFF));
    bool ok = Ostravo::E_WritePrivateProfileString(section.c_str(), "Color", text, panelFile.c_str());
    ok = Ostravo::E_WritePrivateProfileString(
             section.c_str(), "Title", platform::TruncateUtf8(title, 1023).c_str(), panelFile.c_str()) &&
         ok;
    if (scriptChoice) {
        // Choosing "<NotAssigned>" clears the button.
        const std::string script = IsNotAssigned(*scriptChoice) ? std::string() : *scriptChoice;
        ok = Ostravo::E_WritePrivateProfileString(section.c_str(), "Script", script.c_str(),
                                                  panelFile.c_str()) &&
             ok;
    }
    if (!ok)
        error = "Problem writing file: " + panelFile;
    return ok;
}
