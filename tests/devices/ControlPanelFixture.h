#pragma once
// A data folder with a main settings file, a Scripts folder and control-panel files; a recording
// user interface and a script engine that records what it is asked to start and stop.
#include "Ostravo/LogError.h"
#include "app/PlexorinApp.h"
#include "platform/Files.h"
#include "support/FakeUi.h"
#include "support/ServiceFakes.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace vantelis::test {

class ControlPanelFixture : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        ASSERT_TRUE(platform::MakeFolder(dir.file("LOG")));
        ASSERT_TRUE(platform::MakeFolder(dir.file("Scripts")));
        SetLogDataDirectory(dir.str().c_str());
        theApp.m_data_directory = dir.str();
        theApp.m_ini_path = dir.file("Vantelis.ini");
        theApp.m_admin_mode = false;
        theApp.m_pump_port = 0;
        WriteFileBytes(theApp.m_ini_path, "[ExperimentSettings]\r\n");
        InstallScriptServices(scripts);
    }
    void TearDown() override
    {
        InstallScriptServices(nullptr);
        theApp.m_data_directory.clear();
        theApp.m_ini_path.clear();
        theApp.m_admin_mode = false;
        theApp.m_pump_port = 0;
        SetLogDataDirectory("");
    }

    // Writes a panel file; text holds its sections.
    void WritePanel(const std::string &name, const std::string &text)
    {
        WriteFileBytes(dir.file(name + ".ControlPanel"), text);
    }
    void SetActivePanel(const std::string &name)
    {
        WriteFileBytes(dir.file("ActiveControlPanel.ini"),
                       "[ControlPanel]\r\nActiveControlPanel=" + name + "\r\n");
    }
    std::string ErrorLog() const
    {
        std::string text;
        for (const platform::DirEntry &entry : platform::ListFolder(dir.file("LOG"))) {
            std::string bytes;
            if (platform::ReadWholeFile(dir.file("LOG/" + entry.name), bytes))
                text += bytes;
        }
        return text;
    }

    // Buttons 1 to 3 and 5 have sections; button 2 holds the "<NotAssigned>" that older panel
    // files store for a cleared button; buttons 4 and 6 to 20 have none.
    static constexpr const char *kDefaultPanel =
        "[ControlPanelButton_1]\r\nTitle=Prime\r\nColor=255,0,0\r\n"
        "Script=prime.scr\r\n"
        "[ControlPanelButton_2]\r\nTitle=Old\r\nColor=0,255,0\r\n"
        "Script=<NotAssigned>\r\n"
        "[ControlPanelButton_3]\r\nTitle=Halt\r\nColor=0,0,255\r\n"
        "Script=stop\r\n"
        "[ControlPanelButton_5]\r\nColor=1,2\r\nScript=flush.scr\r\n";

    TempDir dir;
    ScopedFakeUi ui;
    std::shared_ptr<StubScripts> scripts = std::make_shared<StubScripts>();
};

} // namespace vantelis::test
