#pragma once
// Shared fixture of the folder tool windows (meniscus finder, focus tool): a data folder with its
// main settings file and error log, an image folder, a recording message box whose GUI-thread
// calls from a worker are queued to the GUI thread as the program's interface does, and the tool
// windows installed as the program installs them.
#include "../FolderToolFixtures.h"
#include "QueuedFakeUi.h"
#include "support/FakeUi.h"
#include "support/ServiceFakes.h"
#include "support/TempDir.h"
#include "support/gui/EventLoop.h"

#include "Ostravo/LogError.h"
#include "Ostravo/Profile.h"
#include "app/AnalysisToolWindows.h"
#include "app/PlexorinApp.h"
#include "tools/gui/CountingToolWindows.h"
#include "tools/gui/ImageFolderBatchDlg.h"

#include <QCoreApplication>
#include <QListWidget>
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <mutex>

namespace vantelis::test {

class FolderToolWindowFixture : public ::testing::Test
{
  protected:
    FolderToolWindowFixture()
    {
        m_oldIni = theApp.m_ini_path;
        m_oldData = theApp.m_data_directory;
        m_oldVersion = theApp.m_version;
        theApp.m_ini_path = m_dir.file("Plexorin.ini");
        theApp.m_data_directory = m_dir.str();
        theApp.m_version = "1.2.3.4";
        std::filesystem::create_directories(m_dir.file("LOG"));
        std::filesystem::create_directories(m_dir.file("img"));
        SetLogDataDirectory(m_dir.str().c_str());
        m_previousUi = platform::ui::SetUi(m_ui);
        m_windows = InstallCountingToolWindows();
    }

    ~FolderToolWindowFixture() override
    {
        InstallAnalysisToolWindows(nullptr);
        m_windows.reset(); // joins any worker
        QCoreApplication::processEvents();
        platform::ui::SetUi(m_previousUi);
        SetLogDataDirectory("");
        theApp.m_ini_path = m_oldIni;
        theApp.m_data_directory = m_oldData;
        theApp.m_version = m_oldVersion;
    }

    void WriteSettings(const std::string &text) { WriteFileBytes(theApp.m_ini_path, text); }

    std::string Setting(const char *section, const char *key) const
    {
        char buffer[1024] = {0};
        Ostravo::E_GetPrivateProfileString(section, key, "<none>", buffer, sizeof(buffer),
                                           theApp.m_ini_path.c_str());
        return buffer;
    }

    std::string Image(const std::string &name) const { return m_dir.file("img/" + name); }

    static std::vector<std::string> ListTexts(ImageFolderBatchDlg &dialog, int listId)
    {
        std::vector<std::string> texts;
        auto *list = dialog.ControlAs<QListWidget>(listId);
        for (int row = 0; list && row < list->count(); ++row)
            texts.push_back(list->item(row)->text().toStdString());
        return texts;
    }

    static void Select(ImageFolderBatchDlg &dialog, int listId, const std::vector<std::string> &names)
    {
        auto *list = dialog.ControlAs<QListWidget>(listId);
        for (int row = 0; row < list->count(); ++row) {
            const std::string text = list->item(row)->text().toStdString();
            list->item(row)->setSelected(std::find(names.begin(), names.end(), text) != names.end());
        }
    }

    std::vector<std::string> MessageTexts() const
    {
        std::vector<std::string> texts;
        for (const FakeUi::Message &m : m_ui->Messages())
            texts.push_back(m.text);
        return texts;
    }

    std::vector<std::string> Opened()
    {
        std::lock_guard<std::mutex> lock(m_openedMutex);
        return m_opened;
    }

    // Report openings are recorded instead of starting a spreadsheet.
    void RecordOpenings(ImageFolderBatchDlg &dialog)
    {
        dialog.m_open_report = [this](const std::string &path) {
            std::lock_guard<std::mutex> lock(m_openedMutex);
            m_opened.push_back(path);
        };
    }

    TempDir m_dir;
    std::shared_ptr<QueuedFakeUi> m_ui = std::make_shared<QueuedFakeUi>();
    std::shared_ptr<platform::ui::UserInterface> m_previousUi;
    std::shared_ptr<CountingToolWindows> m_windows;
    std::string m_oldIni, m_oldData, m_oldVersion;
    std::mutex m_openedMutex;
    std::vector<std::string> m_opened;
};

} // namespace vantelis::test
