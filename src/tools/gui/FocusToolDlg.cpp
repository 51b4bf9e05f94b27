#include "tools/gui/FocusToolDlg.h"

#include "Ostravo/LogError.h"
#include "Ostravo/OpenUsingDefaultApp.h"
#include "app/PlexorinApp.h"
#include "platform/Clock.h"
#include "platform/Ui.h"
#include "platform/Utf8Text.h"

#include <QPushButton>

#include <cstdio>

FocusToolDlg::FocusToolDlg()
    : ImageFolderBatchDlg("Focus Tool", "FocusTool", kBrowse, kImageList, "Select a directory with images...")
{
    m_open_report = [](const std::string &path) { OpenUsingDefaultApp(path.c_str(), ".xls"); };
    connect(ControlAs<QPushButton>(kRun), &QPushButton::clicked, this, [this] { OnRun(); });
    LoadSettings();
    FillImageList();
}

FocusToolDlg::~FocusToolDlg() = default;

void FocusToolDlg::OnSettingChanged()
{
    RestartTimer(kSettingsTimer, 500);
}

void FocusToolDlg::OnTimer(int id)
{
    KillTimer(id);
    if (id == kSettingsTimer) {
        FillImageList();
        SaveSettings();
    }
}

void FocusToolDlg::OnRun()
{
    if (IsRunning())
        return;
    m_selected_images = SelectedImages();
    if (m_selected_images.empty()) {
        const char *message = "You must select at least one file.";
        LogError("FocusToolDlg", __LINE__, message);
        platform::ui::MessageBox(message, "Focus Tool", platform::ui::MbOk | platform::ui::MbIconError);
        return;
    }
    m_folder = platform::TruncateUtf8(ControlText(kFolder), 1023);
    FocusRunInput input;
    input.folder = m_folder;
    input.names = m_selected_images;
    input.product_name = theApp.m_product_name;
    input.version = theApp.m_version;
    const std::string settingsPath = theApp.m_ini_path;
    std::function<void()> wait = m_wait;
    StartWorker([this, input, settingsPath, wait]() mutable {
        input.region = FocusToolRegion(settingsPath);
        input.start = platform::Now();
        FocusRunHooks hooks;
        hooks.progress = [this](int32_t i, int32_t n) {
            char text[64];
            std::snprintf(text, sizeof(text), "Processing %d of %d", i, n);
            PostProgress(text);
        };
        hooks.wait = wait;
        std::string path;
        if (RunFocusTool(input, m_stop, hooks, path) != FocusRunEnd::ReportFailed && m_open_report)
            m_open_report(path);
        PostRunEnded();
    });
}
