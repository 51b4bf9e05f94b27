// The serial-device detection as start-up and the main frame call it. In analysis mode no port is
// opened: the report carries its banner and says that no device was found.
#include "app/DeviceServices.h"
#include "app/PlexorinApp.h"

#include "Ostravo/EString.h"
#include "Ostravo/LogError.h"
#include "Ostravo/Profile.h"
#include "platform/Clock.h"

#include <cstdio>

bool CPlexorinApp::InitializeSerialPortDevices(FILE *log)
{
    if (!m_analysis_mode)
        return SerialDetection().DetectSerialDevices(*this, log);

    platform::LocalTime now = platform::Now();
    FILE *out = log;
    bool ownLog = false;
    if (!out) {
        // A re-detection writes into a daily log of its own and starts from no ports.
        char relative[96];
        std::snprintf(relative, sizeof relative, "LOG/ReInitializeSerialPortDevices_%04u_%02u_%02u.log",
                      static_cast<unsigned>(now.year), static_cast<unsigned>(now.month),
                      static_cast<unsigned>(now.day));
        out = std::fopen(DataFolderPath(relative).c_str(), "ab");
        ownLog = out != nullptr;
        m_pump_port = 0;
        m_stage_port = 0;
    }

    char value[8];
    Ostravo::E_GetPrivateProfileString("TecanCentris", "InitializeTecanPumpsOnStartup", "", value,
                                       sizeof value, m_ini_path.c_str());
    bool lookForPumps = !CompareText(value, "FALSE", 0, 0);
    Ostravo::E_GetPrivateProfileString("Zaber", "InitializeZaberOnStartup", "", value, sizeof value,
                                       m_ini_path.c_str());
    bool lookForStage = CompareText(value, "TRUE", 0, 0);

    if (out) {
        char text[512];
        std::snprintf(text, sizeof text, "Quorvane %s version %s\nTime\t%04u/%02u/%02u %02u:%02u:%02u\n",
                      m_product_name.c_str(), m_version.c_str(), static_cast<unsigned>(now.year),
                      static_cast<unsigned>(now.month), static_cast<unsigned>(now.day),
                      static_cast<unsigned>(now.hour), static_cast<unsigned>(now.minute),
                      static_cast<unsigned>(now.second));
        std::fputs(ToCrLfText(text).c_str(), out);
        WriteComputerNameLine(out);
        std::fputs(ToCrLfText("Tecan pumps not detected\n").c_str(), out);
        if (ownLog)
            std::fclose(out);
    }
    return (!lookForPumps || m_pump_port != 0) && (!lookForStage || m_stage_port != 0);
}
