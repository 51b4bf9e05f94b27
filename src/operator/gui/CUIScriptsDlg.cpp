#include "operator/gui/CUIScriptsDlg.h"

#include "Ostravo/LogError.h"
#include "Ostravo/Profile.h"
#include "app/AppGlobals.h"
#include "app/OperatorScreenServices.h"
#include "app/PlexorinApp.h"
#include "app/gui/DropDownCombo.h"
#include "operator/CustomerUI.h"
#include "platform/Files.h"
#include "platform/Ui.h"
#include "platform/Utf8Text.h"
#include "platform/gui/QtText.h"
#include "script/Script.h"
#include "tools/gui/ToolWindowKit.h"

#include <QCheckBox>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include <algorithm>

namespace {

constexpr const char *kSourceFile = "CUIScriptsDlg.cpp";
constexpr const char *kSection = "CustomerUI";
// The longest default-script name kept, as the settings file has always held it.
constexpr size_t kMaxScriptName = 1023;

std::shared_ptr<CUIScriptsWindow> g_installed;

} // namespace

std::string CustomerUIScriptsFolder()
{
    EString folder;
    folder.JoinPath(theApp.m_customer_ui_directory.c_str(), "Scripts");
    return folder.c_str();
}

CUIScriptsDlg::CUIScriptsDlg(QWidget *parent)
    : ScriptsDlg("Customer UI Scripts", SCRIPT_HANDLE_CUSTOMER_UI, CustomerUIScriptsFolder, parent)
{
    auto *top = new QHBoxLayout;
    top->addWidget(new QLabel(QStringLiteral("Default Script"), this));
    m_run_on_startup = AddControl(kRunOnStartupId, new QCheckBox(QStringLiteral("Run On Startup"), this));
    top->addWidget(m_run_on_startup);
    top->addStretch(1);
    m_default_script = AddControl(kDefaultScriptId, new DropDownCombo(this));
    m_default_script->setEditable(true);
    m_default_script->setInsertPolicy(QComboBox::NoInsert);
    auto *separator = new QFrame(this);
    separator->setFrameShape(QFrame::HLine);
    separator->setFrameShadow(QFrame::Sunken);
    Layout()->insertLayout(0, top);
    Layout()->insertWidget(1, m_default_script);
    Layout()->insertWidget(2, separator);
    resize(300, 420);

    m_default_script->onDropDown = [this] { OnDropdownDefaultScript(); };
    m_default_script->onCloseUp = [this] { OnDefaultScriptChanged(); };
    connect(m_default_script, &QComboBox::editTextChanged, this, [this] { OnDefaultScriptChanged(); });
    connect(m_run_on_startup, &QCheckBox::clicked, this, [this] { OnDefaultScriptChanged(); });

    LoadSettings();
}

CUIScriptsDlg::~CUIScriptsDlg() = default;

void CUIScriptsDlg::LoadSettings()
{
    m_initialising = true;
    char name[kMaxScriptName + 1];
    Ostravo::E_GetPrivateProfileString(kSection, "DefaultScript", "", name, sizeof name,
                                       _settings_ini_path.c_str());
    platform::gui::SetComboEditText(m_default_script, name);
    char runOnStartup[9];
    Ostravo::E_GetPrivateProfileString(kSection, "RunOnStartup", "", runOnStartup, sizeof runOnStartup,
                                       _settings_ini_path.c_str());
    m_run_on_startup->setChecked(CompareText(runOnStartup, "TRUE", 0, 0));
    m_initialising = false;
}

void CUIScriptsDlg::UpdateButtons()
{
    const bool selected = !SelectedText().empty();
    const bool running = Script::IsScriptRunning(SCRIPT_HANDLE_CUSTOMER_UI);
    EnableControl(kEditId, theApp.m_admin_mode);
    EnableControl(kStopId, running);
    if (selected) {
        EnableControl(kRunId, !running);
    } else {
        EnableControl(kRunId, false);
        EnableControl(kEditId, false);
    }
    EnableControl(kListId, true);
}

void CUIScriptsDlg::OnBnClickedRun()
{
    EString path;
    path.JoinPath(Folder().c_str(), SelectedText().c_str());
    ModelessWindow &screen = OperatorScreen().Screen();
    if (!screen.HasWindow())
        screen.Create(false);
    std::string error;
    if (OperatorScreen().Reload(path.c_str(), error)) {
        // A file without code starts nothing, yet shows as started; showing the window again
        // reads the real state.
        ShowRunningButtons();
        return;
    }
    LogError(kSourceFile, __LINE__, error);
    // Handle 1 still taken (a run started elsewhere): the log is enough.
    if (error.find("Interpreter instance with handle:") != std::string::npos &&
        error.find("already exists.") != std::string::npos)
        return;
    platform::ui::MessageBox(error, "Vantelis", platform::ui::MbOk | platform::ui::MbIconError);
}

void CUIScriptsDlg::OnScriptEnded()
{
    // The screen first, on this thread: its event and state are reset before the buttons say
    // that the run is over.
    theCustomerUI().OnScriptEnded();
    ScriptsDlg::OnScriptEnded();
}

void CUIScriptsDlg::OnDropdownDefaultScript()
{
    std::vector<std::string> names;
    for (const platform::DirEntry &entry : platform::ListFolder(Folder(), "*.scr"))
        if (!entry.isFolder)
            names.push_back(entry.name);
    platform::gui::SortByShownText(names, platform::gui::TextKind::Path);
    // Emptying the list must not take the typed name with it, nor count as an edit.
    const QSignalBlocker blocker(m_default_script);
    const QString text = m_default_script->currentText();
    m_default_script->clear();
    for (const std::string &name : names)
        platform::gui::AddComboItem(m_default_script, name, platform::gui::TextKind::Path);
    m_default_script->setCurrentIndex(m_default_script->findText(text, Qt::MatchFixedString));
    m_default_script->setEditText(text);
}

void CUIScriptsDlg::OnDefaultScriptChanged()
{
    if (m_initialising)
        return;
    RestartTimer(CUISCRIPTS_TIMER_SAVE_SETTINGS, 1000);
}

void CUIScriptsDlg::OnTimer(int id)
{
    if (id != CUISCRIPTS_TIMER_SAVE_SETTINGS)
        return;
    KillTimer(CUISCRIPTS_TIMER_SAVE_SETTINGS);
    const std::string name =
        platform::TruncateUtf8(platform::gui::ComboText(m_default_script), kMaxScriptName);
    // Failed writes are not reported: the next change tries again.
    Ostravo::E_WritePrivateProfileString(kSection, "DefaultScript", name.c_str(), _settings_ini_path.c_str());
    Ostravo::E_WritePrivateProfileString(kSection, "RunOnStartup",
                                         m_run_on_startup->isChecked() ? "TRUE" : "FALSE",
                                         _settings_ini_path.c_str());
}

// ---- the installed window ----

struct CUIScriptsWindow::Impl
{
    LazyToolWindow<CUIScriptsDlg> window{[] { return std::make_unique<CUIScriptsDlg>(); }};
};

CUIScriptsWindow::CUIScriptsWindow() : m_impl(std::make_unique<Impl>()) {}
CUIScriptsWindow::~CUIScriptsWindow() = default;

bool CUIScriptsWindow::HasWindow() const
{
    return m_impl->window.HasWindow();
}
bool CUIScriptsWindow::Create(bool visible)
{
    return m_impl->window.Create(visible);
}
bool CUIScriptsWindow::IsVisible() const
{
    return m_impl->window.IsVisible();
}
void CUIScriptsWindow::Show(bool show)
{
    m_impl->window.Show(show);
}
void CUIScriptsWindow::SetStatusText(const std::string &text)
{
    if (CUIScriptsDlg *dialog = Dialog())
        dialog->SetStatusText(text.c_str());
}
void CUIScriptsWindow::OnScriptEnded()
{
    if (CUIScriptsDlg *dialog = Dialog())
        dialog->OnScriptEnded();
    else
        theCustomerUI().OnScriptEnded();
}
CUIScriptsDlg *CUIScriptsWindow::Dialog() const
{
    return m_impl->window.HasWindow() ? m_impl->window.Window() : nullptr;
}

std::shared_ptr<CUIScriptsWindow> InstallCUIScriptsWindow()
{
    g_installed = std::make_shared<CUIScriptsWindow>();
    SetCUIScriptsWindow(g_installed);
    return g_installed;
}

void UninstallCUIScriptsWindow()
{
    SetCUIScriptsWindow(nullptr);
    g_installed.reset();
}
