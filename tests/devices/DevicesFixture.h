#pragma once
// A data folder of its own for each test: the main settings file, Backup and LOG folders and the
// cartridge folder, with the application object pointed at them and put back afterwards.
#include "support/FakeClock.h"
#include "support/FakeUi.h"
#include "support/TempDir.h"

#include "Ostravo/CachedLog.h"
#include "Ostravo/EString.h"
#include "Ostravo/LogError.h"
#include "Ostravo/Profile.h"
#include "app/DeviceServices.h"
#include "app/PlexorinApp.h"
#include "devices/CartridgeTypes.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace vantelis::test {

// A cartridge definition file's text.
inline std::string CartridgeIni(const std::string &type, const std::string &formats, const std::string &ids,
                                const std::string &extra = "")
{
    return "[General]\r\nType=" + type + "\r\n[BarcodeFormats]\r\n" + formats + "[BarcodeIDs]\r\nids=" + ids +
           "\r\n" + extra;
}

class DevicesFixture : public ::testing::Test
{
  protected:
    DevicesFixture()
    {
        m_saved = Saved{theApp.m_data_directory,    theApp.m_ini_path,
                        theApp.m_version,           theApp.m_camera,
                        theApp.m_pump_port,         theApp.m_workflow_running,
                        theApp.m_cartridge_barcode, theApp.m_min_capture_spacing_ms};
        std::filesystem::create_directories(Data() + "/Backup");
        std::filesystem::create_directories(Data() + "/LOG");
        std::filesystem::create_directories(Data() + "/Cartridge");
        theApp.m_data_directory = Data();
        theApp.m_ini_path = Ini();
        theApp.m_version = "1.2.3.4";
        theApp.m_camera = nullptr;
        theApp.m_pump_port = 0;
        theApp.m_workflow_running = false;
        theApp.m_cartridge_barcode.Assign("");
        SetLogDataDirectory(Data().c_str());
        WriteFileBytes(Ini(), "[CalibrationSettings]\r\nimage_pixels_per_mm=200\r\nUpperChannel=300\r\n"
                              "LowerChannel=700\r\n[ExperimentSettings]\r\nDataDirectory=" +
                                  m_dir.file("Experiments") + "\r\n");
        ClearCartridgeTypeList();
    }
    ~DevicesFixture() override
    {
        ClearCartridgeTypeList();
        theApp.m_data_directory = m_saved.data;
        theApp.m_ini_path = m_saved.ini;
        theApp.m_version = m_saved.version;
        theApp.m_camera = m_saved.camera;
        theApp.m_pump_port = m_saved.pumpPort;
        theApp.m_workflow_running = m_saved.workflow;
        theApp.m_cartridge_barcode = m_saved.barcode;
        theApp.m_min_capture_spacing_ms = m_saved.spacing;
        SetLogDataDirectory("");
    }

    std::string Data() const { return m_dir.file("data"); }
    std::string Ini() const { return Data() + "/Plexorin.ini"; }
    std::string Experiments() const { return m_dir.file("Experiments"); }

    void WriteCartridge(const std::string &fileName, const std::string &text)
    {
        WriteFileBytes(Data() + "/Cartridge/" + fileName, text);
    }
    // The standard test cartridge: ids 123 and 4567, offsets of 10 and -5 microns, volume 300.
    void WriteStandardCartridge()
    {
        WriteCartridge("Std.ini", CartridgeIni("Std", "f01=###-###-####\r\n", "123,4567",
                                               "[OffsetsInMicron]\r\nUpperChannelOffset=10\r\n"
                                               "LowerChannelOffset=-5\r\n[SampleLoadInMicroLitre]\r\n"
                                               "SampleAspirateVolume=300\r\n"));
    }
    void LoadCartridges()
    {
        EString error;
        ASSERT_TRUE(LoadCartridgeTypes(error)) << error.c_str();
    }
    void SetSetting(const char *section, const char *key, const std::string &value,
                    const std::string &file = "")
    {
        ASSERT_TRUE(Ostravo::E_WritePrivateProfileString(section, key, value.c_str(),
                                                         file.empty() ? Ini().c_str() : file.c_str()));
    }
    std::string Setting(const char *section, const char *key, const std::string &file = "") const
    {
        char buffer[1024];
        Ostravo::E_GetPrivateProfileString(section, key, "<missing>", buffer, sizeof buffer,
                                           file.empty() ? Ini().c_str() : file.c_str());
        return buffer;
    }
    std::string ErrorLog() const
    {
        std::string all;
        for (const auto &entry : std::filesystem::directory_iterator(Data() + "/LOG"))
            if (entry.path().filename().string().rfind("Err_", 0) == 0)
                all += ReadFileBytes(entry.path().string());
        return all;
    }

    TempDir m_dir;
    ScopedFakeUi m_ui;
    FakeClockGuard m_clock;

  private:
    struct Saved
    {
        std::string data, ini, version;
        CameraInterface *camera;
        int32_t pumpPort;
        bool workflow;
        EString barcode;
        int32_t spacing;
    } m_saved;
};

} // namespace vantelis::test
