#include "tools/gui/FindMeniscusDlg.h"

#include "Ostravo/LogError.h"
#include "Ostravo/OpenUsingDefaultApp.h"
#include "app/PlexorinApp.h"
#include "platform/Clock.h"
#include "platform/Ui.h"
#include "platform/Utf8Text.h"
#include "tools/MeniscusReport.h"

#include <QPushButton>

#include <cstdio>

FindMeniscusDlg::FindMeniscusDlg()
    : ImageFolderBatchDlg("Find Meniscus", "FindMeniscus", kBrowse, kImageList,
                          "Select a directory with images.")
{
    m_open_report = [](const std::string &path) { OpenUsingDefaultApp(path.c_str(), ".xlsx"); };
    connect(ControlAs<QPushButton>(kRun), &QPushButton::clicked, this, [this] { OnRun(); });
    // Filling the edits starts both timers, so the list follows a second after the window opens.
    LoadSettings();
}

FindMeniscusDlg::~FindMeniscusDlg() = default;

void FindMeniscusDlg::OnSettingChanged()
{
    RestartTimer(kSaveSettingsTimer, 1000);
    RestartTimer(kFillListTimer, 1000);
}

void FindMeniscusDlg::OnTimer(int id)
{
    KillTimer(id);
    if (id == kSaveSettingsTimer)
        SaveSettings();
    else if (id == kFillListTimer)
        FillImageList();
}

void FindMeniscusDlg::OnRun()
{
    if (IsRunning())
        return;
    m_folder = platform::TruncateUtf8(ControlText(kFolder), 1023);
    m_selected_images = SelectedImages();
    if (m_selected_images.empty()) {
        platform::ui::MessageBox("You must select at least one image to process.", "Find Meniscus");
        return;
    }
    MeniscusRunInput input{m_folder, m_selected_images, theApp.m_version};
    StartWorker([this, input] {
        const std::vector<std::string> lines = RunFindMeniscus(
            input,
            [this](int32_t i, int32_t n) {
                char text[64];
                std::snprintf(text, sizeof(text), "%d of %d", i, n);
                PostProgress(text);
            },
            &m_stop);
        PostProgress("");
        // Named when the search has ended.
        const std::string path = MeniscusReportPath(input.folder, platform::Now());
        std::string error;
        if (WriteMeniscusReport(path, lines, error)) {
            if (m_open_report)
                m_open_report(path);
        } else {
            const std::string message = "Can't open report file: " + path;
            LogError("FindMeniscusDlg", __LINE__, message + " (" + error + ")");
            platform::ui::MessageBox(message, "Find Meniscus",
                                     platform::ui::MbOk | platform::ui::MbIconError);
        }
        PostRunEnded();
    });
}
