#pragma once
// A data folder with its main settings file, the stage simulator reached as COM5 through
// [Serial] PortDevice5 and open at 115200 baud as the application's stage port, the driver's
// settings forgotten and its status polls 1 ms apart, and failed transactions counted.
#include "app/AppGlobals.h"
#include "app/PlexorinApp.h"
#include "devices/Zaber.h"

#include "Ostravo/EString.h"
#include "Ostravo/LogError.h"
#include "Ostravo/SerialPort.h"
#include "platform/Files.h"
#include "support/StageSimulator.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>

namespace vantelis::test {

class StageFixture : public ::testing::Test
{
  protected:
    static constexpr int32_t kStagePort = 5;

    void SetUp() override
    {
        ASSERT_FALSE(stage.PortPath().empty()) << "no pseudo-terminal";
        ASSERT_TRUE(platform::MakeFolder(dir.file("LOG")));
        ini = dir.file("Plexorin.ini");
        SetLogDataDirectory(dir.str().c_str());
        SetLogMainSettingsPath(ini.c_str());
        _settings_ini_path = ini;
        theApp.m_ini_path = ini;
        WriteSettings("InitializeZaberOnStartup=TRUE\r\n");
        EString error;
        ASSERT_TRUE(SetupSerialPort(kStagePort, 115200, error)) << error.c_str();
        theApp.m_stage_port = kStagePort;
        theApp.m_stage_baud = 115200;
        Zaber::ResetForTesting();
        Zaber::SetPollPauseForTesting(1);
        failures = 0;
        SerialPortFailureCallback = &CountFailure;
    }
    void TearDown() override
    {
        SerialPortFailureCallback = nullptr;
        ReleaseSerialPort(kStagePort);
        theApp.m_stage_port = 0;
        theApp.m_stage_baud = 0;
        Zaber::ResetForTesting();
        Zaber::SetPollPauseForTesting(0);
        SetLogDataDirectory("");
        SetLogMainSettingsPath("");
    }

    // The settings file: the stage's port device and the given lines of [Zaber].
    void WriteSettings(const std::string &zaberLines)
    {
        WriteFileBytes(ini, "[Serial]\r\nPortDevice5=" + stage.PortPath() + "\r\n[Zaber]\r\n" + zaberLines);
    }

    std::string ErrorLog() const
    {
        std::string text;
        for (const platform::DirEntry &entry : platform::ListFolder(dir.file("LOG"), "Err_*.log"))
            text += ReadFileBytes(dir.file("LOG/" + entry.name));
        return text;
    }

    static int CountFailure(int)
    {
        ++failures;
        return 1;
    }

    static inline std::atomic<int> failures{0};
    TempDir dir;
    std::string ini;
    StageSimulator stage;
};

} // namespace vantelis::test
