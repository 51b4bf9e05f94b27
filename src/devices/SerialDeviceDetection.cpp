#include "devices/SerialDeviceDetection.h"

#include "app/PlexorinApp.h"
#include "devices/Zaber.h"

#include "Ostravo/EString.h"
#include "Ostravo/LogError.h"
#include "Ostravo/Profile.h"
#include "Ostravo/ProfileValues.h"
#include "Ostravo/PumpLog.h"
#include "Ostravo/SerialPort.h"
#include "Ostravo/TecanCentris.h"
#include "Ostravo/TextFormat.h"
#include "platform/Clock.h"
#include "platform/Ui.h"

#include <algorithm>
#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

namespace {

constexpr int32_t kStageBaud = 115200;
constexpr int32_t kPumpBaud = 9600;
constexpr uint32_t kStageProbeTimeoutMs = 500;

long L(int32_t value)
{
    return static_cast<long>(value);
}

void Write(FILE *log, const std::string &text)
{
    if (log)
        std::fputs(ToCrLfText(text).c_str(), log);
}

// An error row goes into the detection's own log, which stays open for the lines that follow.
void ErrorRow(FILE *log, int32_t line, const std::string &text)
{
    LogError(__FILE_NAME__, line, text.c_str(), log);
}

std::vector<int32_t> OpenPorts()
{
    std::vector<int32_t> ports;
    std::lock_guard<std::mutex> lock(SerialPortTableMutex);
    for (int32_t i = 0; i < SerialPortTable.GetCount(); ++i)
        ports.push_back(SerialPortTable.GetSortedAt(i)->m_com_number);
    return ports;
}

void RestorePumpBaud(FILE *log, int32_t port)
{
    EString error;
    if (!SetupSerialPort(static_cast<uint32_t>(port), kPumpBaud, error))
        Write(log, FormatText("Failed to restore COM%ld to 9600 baud\n", L(port)));
}

// Probes every candidate for the stage; the port where it answers stays open at 115200 baud.
void FindStage(CPlexorinApp &app, FILE *log, const std::vector<int32_t> &candidates, double &temperature)
{
    Write(log, "*************** BEGIN ZABER INITIALIZATION ************\n");
    for (int32_t port : candidates) {
        ReleaseSerialPort(port);
        Write(log, FormatText("ReInitializing COM%ld at 115200 baud to check for Zaber\n", L(port)));
        EString error;
        if (!SetupSerialPort(static_cast<uint32_t>(port), kStageBaud, error)) {
            Write(log, FormatText("Failed to reinitialize COM%ld to 115200 baud, returning to 9600 baud\n",
                                  L(port)));
            RestorePumpBaud(log, port);
            continue;
        }
        EString reply;
        int errorCode = 0;
        const bool answered =
            SerialSendReceive(port, "/get deviceid\n", '\n', reply, kStageProbeTimeoutMs, 0, &errorCode);
        // The reply goes into one report line, so its own line end is left off.
        const std::string shown = zaber::StripLineEnd(reply.c_str() ? reply.c_str() : "");
        if (answered) {
            Write(log, FormatText(
                           "Zaber device on COM%ld successfully responded to the \"/get deviceid\" command\n",
                           L(port)));
            if (!shown.empty() && shown[0] == '@') {
                app.m_stage_port = port;
                app.m_stage_baud = kStageBaud;
                Write(log, FormatText(
                               "Zaber good response on COM%ld to \"/get deviceid\" command at 115200 baud : "
                               "response: \"%s\" error_code: %ld\n",
                               L(port), shown.c_str(), static_cast<long>(errorCode)));
                break;
            }
            Write(log, FormatText("Zaber bad response on COM%ld \"%s\" error_code: %ld\n", L(port),
                                  shown.c_str(), static_cast<long>(errorCode)));
        } else {
            Write(log, FormatText(
                           "Zaber failed to respond on COM%ld to \"/get deviceid\" command at 115200 baud : "
                           "response: \"%s\" error_code: %ld\n",
                           L(port), shown.c_str(), static_cast<long>(errorCode)));
        }
        ReleaseSerialPort(port);
        Write(log,
              FormatText(
                  "ReInitializing COM%ld at 9600 baud after attempt to connect to Zaber at 115200 baud\n",
                  L(port)));
        RestorePumpBaud(log, port);
    }
    // Fails harmlessly when no stage was found.
    EString error;
    double degrees = 0.0;
    if (Zaber::GetTemperature(degrees, error))
        temperature = degrees;
    Write(log, "*************** END ZABER INITIALIZATION ************\n");
}

// What the report shows of the two pumps (index 0 = pump 1).
struct PumpReport
{
    int32_t backlash[2] = {0, 0};
    int32_t backlashSetting = 0;
    int32_t values[8][2] = {};
    std::string configuration[2];
    double temperature[2] = {0.0, 0.0};
};

const char *const kReportQueries[8] = {"?1", "?6", "?7", "?8", "?9", "?10", "?16", "?45"};

// Brings one pump's backlash to the setting; returns the backlash it has afterwards.
int32_t ImposeBacklash(FILE *log, int32_t port, int32_t pump, int32_t current, int32_t setting)
{
    if (current == setting)
        return current;
    EString error;
    if (!TecanCentris::SetBacklash(port, pump, static_cast<uint32_t>(setting), error)) {
        ErrorRow(log, __LINE__, error.c_str());
        return current;
    }
    int32_t value = current;
    if (!TecanCentris::QueryLong(port, pump, "?4", value, error))
        ErrorRow(log, __LINE__, error.c_str());
    return value;
}

// Sets up the pumps found on port and reads what the report shows of them; false when pump 1's
// backlash cannot be read, so the search goes on.
bool SetUpPumps(CPlexorinApp &app, FILE *log, int32_t port, PumpReport &report)
{
    Write(log, FormatText("Successfully connected to Tecan via COM%ld at 9600 baud\n", L(port)));
    TecanCentris::TraceCallback = &PumpLogCallback;

    const int32_t gap = Ostravo::ReadProfileInt("TecanCentris", "min_time_between_commands_ms", 0,
                                                app.m_ini_path.c_str(), 30);
    EString error;
    if (!TecanCentris::SetMinimumTimeBetweenCommands(static_cast<uint16_t>(gap), error))
        ErrorRow(log, __LINE__, error.c_str());
    report.backlashSetting =
        Ostravo::ReadProfileInt("TecanCentris", "backlash_steps", 0, app.m_ini_path.c_str(), 30);

    int32_t backlash1 = 0;
    if (!TecanCentris::QueryLong(port, 1, "?4", backlash1, error))
        return false;
    app.m_pump_port = port;
    report.backlash[0] = ImposeBacklash(log, port, 1, backlash1, report.backlashSetting);
    int32_t backlash2 = 0;
    if (TecanCentris::QueryLong(port, 2, "?4", backlash2, error))
        report.backlash[1] = ImposeBacklash(log, port, 2, backlash2, report.backlashSetting);
    else
        ErrorRow(log, __LINE__, error.c_str());
    if (report.backlash[0] != report.backlashSetting || report.backlash[1] != report.backlashSetting)
        ErrorRow(
            log, __LINE__,
            FormatText(
                "Failed to set pump backlash to %ld steps : current setting is pump1=%ld and pump2=%ld steps",
                L(report.backlashSetting), L(report.backlash[0]), L(report.backlash[1])));

    for (int32_t pump = 1; pump <= 2; ++pump) {
        for (int q = 0; q < 8; ++q) {
            int32_t value = 0;
            report.values[q][pump - 1] =
                TecanCentris::QueryLong(port, pump, kReportQueries[q], value, error) ? value : 0;
        }
        EString data;
        if (TecanCentris::SendCommand(port, pump, "?76", TecanCentris::kQueryTimeoutMs, data, error))
            report.configuration[pump - 1] = data.c_str() ? data.c_str() : "";
    }
    double t1 = 0.0, t2 = 0.0;
    if (TecanCentris::GetTemperature(port, t1, t2, error)) {
        report.temperature[0] = t1;
        report.temperature[1] = t2;
    }
    return true;
}

void FindPumps(CPlexorinApp &app, FILE *log, bool reDetection, const std::vector<int32_t> &candidates,
               PumpReport &report)
{
    Write(log, "*************** BEGIN TECAN INITIALIZATION ************\n");
    bool busy = false;
    for (int32_t port : candidates) {
        if (port == app.m_stage_port)
            continue;
        Write(log, FormatText("Attempting to connect to Tecan via COM%ld at 9600 baud\n", L(port)));
        EString error;
        int32_t position = 0;
        if (!TecanCentris::QueryLong(port, 1, "?1", position, error))
            continue;
        EString state1, state2;
        if (!TecanCentris::SendCommand(port, 1, "?29", TecanCentris::kQueryTimeoutMs, state1, error) ||
            !TecanCentris::SendCommand(port, 2, "?29", TecanCentris::kQueryTimeoutMs, state2, error))
            continue;
        if (std::string(state1.c_str() ? state1.c_str() : "") == "0" &&
            std::string(state2.c_str() ? state2.c_str() : "") == "0") {
            if (SetUpPumps(app, log, port, report))
                break;
            continue;
        }
        platform::ui::MessageBox(
            "Tecan pumps are not ready to be initialized.  Please close the software and "
            "restart it in two minutes.",
            app.m_product_name, platform::ui::MbOk);
        ErrorRow(log, __LINE__, "Tecan pumps are busy.");
        busy = true;
    }
    if (app.m_pump_port == 0 && !busy) {
        if (!reDetection) {
            Write(log, "Tecan pumps not detected\n");
            const std::string text =
                "Failed to establish communication with KD4 pump.\n\nPlease close the application, power "
                "cycle the "
                "KD4 (and make sure it is on), wait for 30 seconds and then restart Plexorin.  \n\nIf "
                "problem "
                "persists, record the error message and contact support@quorvane.example.";
            LogError(__FILE_NAME__, __LINE__, text.c_str(), nullptr);
            platform::ui::MessageBox(text, app.m_product_name,
                                     platform::ui::MbOk | platform::ui::MbIconError);
        } else {
            ErrorRow(log, __LINE__, "Tecan pumps not detected\n");
        }
    }
    Write(log, "*************** END TECAN INITIALIZATION ************\n");
}

void WriteReport(CPlexorinApp &app, FILE *log, const PumpReport &report, double stageTemperature)
{
    WriteComputerNameLine(log);
    if (app.m_pump_port != 0) {
        std::string text =
            FormatText("Tecan pumps detected on COM%ld\n", L(app.m_pump_port)) + "Param\tPump1\tPump2\n";
        auto pair = [&](const char *name, const int32_t values[2]) {
            text += FormatText("%s\t%ld\t%ld\n", name, L(values[0]), L(values[1]));
        };
        pair("pump_position", report.values[0]);
        pair("pump_backlash", report.backlash);
        text += FormatText("pump_backlash_setting\t%ld\n", L(report.backlashSetting));
        pair("pump_start_speed", report.values[1]);
        pair("pump_top_speed", report.values[2]);
        pair("pump_cutoff_speed", report.values[3]);
        pair("pump_ramp_up_slope", report.values[4]);
        pair("pump_ramp_down_slope", report.values[5]);
        pair("pump_range", report.values[6]);
        pair("pump_total_moves", report.values[7]);
        text += FormatText("pump_configuration\t%s\t%s\n", report.configuration[0].c_str(),
                           report.configuration[1].c_str());
        text += FormatText("pump TC\t%5.2lf\t%5.3lf\n", report.temperature[0], report.temperature[1]);
        Write(log, text);
    } else {
        Write(log, "Tecan pumps not detected\n");
    }
    if (app.m_stage_port != 0)
        Write(log, FormatText("zaber TC\t%5.2lf\n", stageTemperature));
}

} // namespace

bool DetectSerialPortDevices(CPlexorinApp &app, FILE *log)
{
    const platform::LocalTime now = platform::Now();
    FILE *out = log;
    bool ownLog = false;
    if (!log) {
        const std::string relative = FormatText(
            "LOG/ReInitializeSerialPortDevices_%04u_%02u_%02u.log", static_cast<unsigned>(now.year),
            static_cast<unsigned>(now.month), static_cast<unsigned>(now.day));
        // Without its log the detection still runs; its error rows then go to the error log.
        out = std::fopen(DataFolderPath(relative.c_str()).c_str(), "ab");
        ownLog = out != nullptr;
        if (app.m_pump_port != 0)
            ReleaseSerialPort(app.m_pump_port);
        if (app.m_stage_port != 0)
            ReleaseSerialPort(app.m_stage_port);
        app.m_pump_port = 0;
        app.m_stage_port = 0;
    }

    char value[8];
    Ostravo::E_GetPrivateProfileString("TecanCentris", "InitializeTecanPumpsOnStartup", "", value,
                                       sizeof value, app.m_ini_path.c_str());
    const bool lookForPumps = !CompareText(value, "FALSE", 0, 0);
    Ostravo::E_GetPrivateProfileString("Zaber", "InitializeZaberOnStartup", "", value, sizeof value,
                                       app.m_ini_path.c_str());
    const bool lookForStage = CompareText(value, "TRUE", 0, 0);

    Write(out, FormatText("Quorvane %s version %s\n", app.m_product_name.c_str(), app.m_version.c_str()));
    Write(out, FormatText("Time\t%04u/%02u/%02u %02u:%02u:%02u\n", static_cast<unsigned>(now.year),
                          static_cast<unsigned>(now.month), static_cast<unsigned>(now.day),
                          static_cast<unsigned>(now.hour), static_cast<unsigned>(now.minute),
                          static_cast<unsigned>(now.second)));

    std::vector<int32_t> candidates;
    if (!app.m_analysis_mode && (lookForPumps || lookForStage)) {
        Write(out, "************ BEGIN COM Port detection ************\n");
        Write(out, "Finding active COM ports. COM1 -> COM99 will be checked.\n");
        for (uint32_t port = 1; port <= 99; ++port) {
            EString error;
            if (SetupSerialPort(port, kPumpBaud, error))
                Write(out,
                      FormatText("COM%ld is active, initialized at 9600 baud\n", static_cast<long>(port)));
        }
        Write(out, "************ END COM Port detection ************\n");
        candidates = OpenPorts();
    }

    double stageTemperature = 0.0;
    if (lookForStage && !app.m_analysis_mode)
        FindStage(app, out, candidates, stageTemperature);
    PumpReport report;
    if (lookForPumps && !app.m_analysis_mode)
        FindPumps(app, out, log == nullptr, candidates, report);

    for (int32_t port : candidates)
        if (port != app.m_pump_port && port != app.m_stage_port)
            ReleaseSerialPort(port);

    WriteReport(app, out, report, stageTemperature);
    if (ownLog)
        std::fclose(out);
    return (!lookForPumps || app.m_pump_port != 0) && (!lookForStage || app.m_stage_port != 0);
}

bool SerialDeviceServices::DetectSerialDevices(CPlexorinApp &app, FILE *log)
{
    return DetectSerialPortDevices(app, log);
}

std::shared_ptr<SerialDeviceServices> InstallSerialDeviceServices()
{
    auto services = std::make_shared<SerialDeviceServices>();
    InstallSerialDetectionServices(services);
    return services;
}
