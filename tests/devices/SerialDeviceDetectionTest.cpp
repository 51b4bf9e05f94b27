// The serial-device detection over pseudo-terminals reached through [Serial] PortDevice<n>: a
// silent port, the stage simulator and the pump simulator; every other COM number names a device
// that does not exist, so nothing of the machine's own ports is touched.
#include "devices/SerialDeviceDetection.h"

#include "app/AppGlobals.h"
#include "app/PlexorinApp.h"

#include "Ostravo/LogError.h"
#include "Ostravo/PumpLog.h"
#include "Ostravo/SerialPort.h"
#include "Ostravo/TecanCentris.h"
#include "platform/Clock.h"
#include "platform/Files.h"
#include "support/FakeUi.h"
#include "support/PumpSimulator.h"
#include "support/StageSimulator.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <map>
#include <memory>
#include <pty.h>
#include <string>
#include <termios.h>
#include <unistd.h>
#include <vector>

namespace vantelis::test {
namespace {

// A port whose device never answers.
class SilentPort
{
  public:
    SilentPort()
    {
        char name[256] = {};
        if (::openpty(&m_master, &m_port, name, nullptr, nullptr) != 0)
            return;
        termios settings{};
        ::tcgetattr(m_port, &settings);
        ::cfmakeraw(&settings);
        ::tcsetattr(m_port, TCSANOW, &settings);
        m_path = name;
    }
    ~SilentPort()
    {
        if (m_port >= 0)
            ::close(m_port);
        if (m_master >= 0)
            ::close(m_master);
    }
    const std::string &PortPath() const { return m_path; }

  private:
    int m_master = -1;
    int m_port = -1;
    std::string m_path;
};

constexpr int32_t kSilentCom = 2;
constexpr int32_t kStageCom = 4;
constexpr int32_t kPumpCom = 6;

const char *const kNotReadyText =
    "Tecan pumps are not ready to be initialized.  Please close the software and restart it in two minutes.";
const char *const kNotDetectedText = "Failed to establish communication with KD4 pump.\n\nPlease close the "
                                     "application, power cycle the KD4 (and "
                                     "make sure it is on), wait for 30 seconds and then restart Plexorin.  "
                                     "\n\nIf problem persists, record the "
                                     "error message and contact support@quorvane.example.";

class DetectionTest : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        ASSERT_FALSE(silent.PortPath().empty());
        ASSERT_FALSE(stage.PortPath().empty());
        ASSERT_FALSE(pumps.PortPath().empty());
        ASSERT_TRUE(platform::MakeFolder(dir.file("LOG")));
        ini = dir.file("Plexorin.ini");
        SetLogDataDirectory(dir.str().c_str());
        SetLogMainSettingsPath(ini.c_str());
        SetLogVersion("1.2.3.4");
        _settings_ini_path = ini;
        theApp.m_ini_path = ini;
        theApp.m_version = "1.2.3.4";
        theApp.m_analysis_mode = false;
        theApp.m_pump_port = theApp.m_stage_port = theApp.m_stage_baud = 0;
        platform::SetFakeClock(platform::LocalTime{2026, 12, 11, 5, 9, 8, 7, 0});
        ui = std::make_shared<FakeUi>();
        previousUi = platform::ui::SetUi(ui);
        TecanCentris::SetRetryPauseForTesting(1);
        TecanCentris::MinTimeBetweenCommandsMs = 0;
        TecanCentris::TraceCallback = nullptr;
        SerialPortFailureCallback = nullptr;
    }
    void TearDown() override
    {
        for (int32_t port = 1; port <= 99; ++port)
            ReleaseSerialPort(port);
        theApp.m_pump_port = theApp.m_stage_port = theApp.m_stage_baud = 0;
        theApp.m_analysis_mode = false;
        TecanCentris::SetRetryPauseForTesting(0);
        TecanCentris::MinTimeBetweenCommandsMs = 0;
        TecanCentris::TraceCallback = nullptr;
        platform::ui::SetUi(previousUi);
        platform::ClearFakeClock();
        SetLogDataDirectory("");
        SetLogMainSettingsPath("");
        SetLogVersion("");
    }

    // Which of the three devices are plugged in, and further settings lines.
    void WriteSettings(bool withSilent, bool withStage, bool withPumps, const std::string &extra)
    {
        std::string text = "[Serial]\r\n";
        for (int32_t com = 1; com <= 99; ++com) {
            std::string device = dir.file("absent" + std::to_string(com));
            if (com == kSilentCom && withSilent)
                device = silent.PortPath();
            if (com == kStageCom && withStage)
                device = stage.PortPath();
            if (com == kPumpCom && withPumps)
                device = pumps.PortPath();
            text += "PortDevice" + std::to_string(com) + "=" + device + "\r\n";
        }
        WriteFileBytes(ini, text + extra);
    }

    // Runs a start-up detection into a session log and returns the log's lines.
    bool RunWithLog(std::vector<std::string> &lines)
    {
        const std::string path = dir.file("session.log");
        FILE *log = std::fopen(path.c_str(), "wb");
        EXPECT_NE(log, nullptr);
        const bool found = DetectSerialPortDevices(theApp, log);
        std::fclose(log);
        lines = Lines(ReadFileBytes(path));
        return found;
    }

    // The lines of a CR LF text; a bare LF fails the test.
    static std::vector<std::string> Lines(const std::string &text)
    {
        std::vector<std::string> lines;
        size_t start = 0;
        while (start < text.size()) {
            const size_t end = text.find('\n', start);
            if (end == std::string::npos) {
                ADD_FAILURE() << "unterminated line: " << text.substr(start);
                break;
            }
            EXPECT_TRUE(end > start && text[end - 1] == '\r')
                << "bare LF in: " << text.substr(start, end - start);
            lines.push_back(
                text.substr(start, end > start && text[end - 1] == '\r' ? end - 1 - start : end - start));
            start = end + 1;
        }
        return lines;
    }

    static bool Has(const std::vector<std::string> &lines, const std::string &line)
    {
        for (const std::string &l : lines)
            if (l == line)
                return true;
        return false;
    }

    // expected appears in lines in this order, each line whole.
    static void ExpectInOrder(const std::vector<std::string> &lines, const std::vector<std::string> &expected)
    {
        size_t at = 0;
        for (const std::string &line : expected) {
            while (at < lines.size() && lines[at] != line)
                ++at;
            if (at == lines.size()) {
                std::string all;
                for (const std::string &l : lines)
                    all += l + "\n";
                ADD_FAILURE() << "missing, or out of order: \"" << line << "\" in\n" << all;
                return;
            }
            ++at;
        }
    }

    std::string ErrorLog() const
    {
        std::string text;
        for (const platform::DirEntry &entry : platform::ListFolder(dir.file("LOG"), "Err_*.log"))
            text += ReadFileBytes(dir.file("LOG/" + entry.name));
        return text;
    }

    std::vector<std::string> MessageTexts() const
    {
        std::vector<std::string> texts;
        for (const FakeUi::Message &m : ui->Messages())
            texts.push_back(m.text);
        return texts;
    }

    // Pump states of the main case: positions 250 and 500 of 1000 µl (6000 and 12000 steps of
    // 24000), backlash 0 and 5, 3 and 7 moves, 77 °F (25 °C) and 86 °F (30 °C).
    void SetPumps()
    {
        PumpSimulator::PumpState one;
        one.positionUl = 250.0;
        one.backlash = 0;
        one.moves = 3;
        one.temperatureF = 77.0;
        pumps.SetPump(1, one);
        PumpSimulator::PumpState two;
        two.positionUl = 500.0;
        two.backlash = 5;
        two.moves = 7;
        two.temperatureF = 86.0;
        pumps.SetPump(2, two);
    }

    TempDir dir;
    std::string ini;
    SilentPort silent;
    StageSimulator stage;
    PumpSimulator pumps;
    std::shared_ptr<FakeUi> ui;
    std::shared_ptr<platform::ui::UserInterface> previousUi;
};

TEST_F(DetectionTest, FindsTheStageAndThePumpsAndReportsEachStep)
{
    WriteSettings(true, true, true,
                  "[Zaber]\r\nInitializeZaberOnStartup=True\r\n[TecanCentris]\r\nbacklash_steps=12\r\n");
    SetPumps();
    stage.SetTemperature("33.5");
    std::vector<std::string> lines;
    EXPECT_TRUE(RunWithLog(lines));

    EXPECT_EQ(theApp.m_stage_port, kStageCom);
    EXPECT_EQ(theApp.m_stage_baud, 115200);
    EXPECT_EQ(theApp.m_pump_port, kPumpCom);
    EXPECT_FALSE(IsSerialPortOpen(kSilentCom)) << "every other port is released";
    EXPECT_TRUE(IsSerialPortOpen(kStageCom));
    EXPECT_TRUE(IsSerialPortOpen(kPumpCom));
    // The stage search ends at the stage, so the pumps' port never heard it.
    EXPECT_EQ(stage.Requests(), (std::vector<std::string>{"get deviceid", "01 1 get driver.temperature"}));
    EXPECT_EQ(pumps.Pump(1).backlash, 12);
    EXPECT_EQ(pumps.Pump(2).backlash, 12);
    EXPECT_TRUE(ui->Messages().empty());
    EXPECT_EQ(TecanCentris::TraceCallback.load(), &PumpLogCallback);

    ExpectInOrder(lines,
                  {
                      "Quorvane Vantelis version 1.2.3.4",
                      "Time\t2026/12/11 09:08:07",
                      "************ BEGIN COM Port detection ************",
                      "Finding active COM ports. COM1 -> COM99 will be checked.",
                      "COM2 is active, initialized at 9600 baud",
                      "COM4 is active, initialized at 9600 baud",
                      "COM6 is active, initialized at 9600 baud",
                      "************ END COM Port detection ************",
                      "*************** BEGIN ZABER INITIALIZATION ************",
                      "ReInitializing COM2 at 115200 baud to check for Zaber",
                      "Zaber failed to respond on COM2 to \"/get deviceid\" command at 115200 baud : "
                      "response: \"\" error_code: 10",
                      "ReInitializing COM2 at 9600 baud after attempt to connect to Zaber at 115200 baud",
                      "ReInitializing COM4 at 115200 baud to check for Zaber",
                      "Zaber device on COM4 successfully responded to the \"/get deviceid\" command",
                      "Zaber good response on COM4 to \"/get deviceid\" command at 115200 baud : response: "
                      "\"@01 0 OK IDLE -- 30222\" error_code: 0",
                      "*************** END ZABER INITIALIZATION ************",
                      "*************** BEGIN TECAN INITIALIZATION ************",
                      "Attempting to connect to Tecan via COM2 at 9600 baud",
                      "Attempting to connect to Tecan via COM6 at 9600 baud",
                      "Successfully connected to Tecan via COM6 at 9600 baud",
                      "*************** END TECAN INITIALIZATION ************",
                  });
    EXPECT_FALSE(Has(lines, "Attempting to connect to Tecan via COM4 at 9600 baud"))
        << "the stage port is skipped";
    EXPECT_FALSE(Has(lines, "ReInitializing COM6 at 115200 baud to check for Zaber"));
    // The report closes the log.
    const std::vector<std::string> report = {
        "Tecan pumps detected on COM6",
        "Param\tPump1\tPump2",
        "pump_position\t6000\t12000",
        "pump_backlash\t12\t12",
        "pump_backlash_setting\t12",
        "pump_start_speed\t900\t900",
        "pump_top_speed\t240\t240",
        "pump_cutoff_speed\t900\t900",
        "pump_ramp_up_slope\t14\t14",
        "pump_ramp_down_slope\t14\t14",
        "pump_range\t24000\t24000",
        "pump_total_moves\t3\t7",
        "pump_configuration\tCENTRIS SIM\tCENTRIS SIM",
        "pump TC\t25.00\t30.000",
        "zaber TC\t33.50",
    };
    ASSERT_GE(lines.size(), report.size() + 1);
    EXPECT_EQ(lines[lines.size() - report.size() - 1].rfind("# ComputerName=", 0), 0u);
    EXPECT_EQ(std::vector<std::string>(lines.end() - static_cast<std::ptrdiff_t>(report.size()), lines.end()),
              report);
}

// In analysis mode nothing is opened, whichever way the detection is reached.
TEST_F(DetectionTest, AnalysisModeOpensNoPort)
{
    WriteSettings(true, true, true, "[Zaber]\r\nInitializeZaberOnStartup=TRUE\r\n");
    theApp.m_analysis_mode = true;
    std::vector<std::string> lines;
    EXPECT_FALSE(RunWithLog(lines)) << "the pumps were asked for";
    EXPECT_EQ(lines,
              (std::vector<std::string>{"Quorvane Vantelis version 1.2.3.4", "Time\t2026/12/11 09:08:07",
                                        lines.size() > 2 ? lines[2] : "", "Tecan pumps not detected"}));
    EXPECT_EQ(lines.size() > 2 ? lines[2].rfind("# ComputerName=", 0) : 1u, 0u);

    const std::string path = dir.file("startup.log");
    FILE *log = std::fopen(path.c_str(), "wb");
    ASSERT_NE(log, nullptr);
    EXPECT_FALSE(theApp.InitializeSerialPortDevices(log));
    std::fclose(log);
    EXPECT_TRUE(Has(Lines(ReadFileBytes(path)), "Tecan pumps not detected"));

    for (int32_t com : {kSilentCom, kStageCom, kPumpCom})
        EXPECT_FALSE(IsSerialPortOpen(com)) << com;
    EXPECT_TRUE(stage.Requests().empty());
    EXPECT_TRUE(pumps.Requests().empty());
    EXPECT_TRUE(ui->Messages().empty());
    EXPECT_EQ(theApp.m_pump_port, 0);
    EXPECT_EQ(theApp.m_stage_port, 0);
}

// Which devices are looked for: the pumps unless the setting is FALSE, the stage only when TRUE
// (case ignored). No device exists here, so only the section lines show what was searched.
TEST_F(DetectionTest, SettingsDecideWhatIsLookedFor)
{
    struct Case
    {
        const char *pumps; // null: key missing
        const char *stage;
        bool pumpSearch;
        bool stageSearch;
    };
    const Case cases[] = {
        {nullptr, nullptr, true, false}, {"false", nullptr, false, false}, {"FaLsE", "true", false, true},
        {"TRUE", "TRUE", true, true},    {"junk", "yes", true, false},     {"", "", true, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.pumps ? c.pumps : "(missing)") + " / " +
                     (c.stage ? c.stage : "(missing)"));
        std::string extra;
        if (c.pumps)
            extra += std::string("[TecanCentris]\r\nInitializeTecanPumpsOnStartup=") + c.pumps + "\r\n";
        if (c.stage)
            extra += std::string("[Zaber]\r\nInitializeZaberOnStartup=") + c.stage + "\r\n";
        WriteSettings(false, false, false, extra);
        ui->Clear();
        std::vector<std::string> lines;
        const bool found = RunWithLog(lines);
        EXPECT_EQ(found, !c.pumpSearch && !c.stageSearch);
        EXPECT_EQ(Has(lines, "*************** BEGIN TECAN INITIALIZATION ************"), c.pumpSearch);
        EXPECT_EQ(Has(lines, "*************** BEGIN ZABER INITIALIZATION ************"), c.stageSearch);
        EXPECT_EQ(Has(lines, "************ BEGIN COM Port detection ************"),
                  c.pumpSearch || c.stageSearch);
        // The banner, the time and the report are always there.
        ExpectInOrder(lines, {"Quorvane Vantelis version 1.2.3.4", "Time\t2026/12/11 09:08:07"});
        EXPECT_EQ(lines.back(), "Tecan pumps not detected");
        EXPECT_EQ(MessageTexts(),
                  c.pumpSearch ? std::vector<std::string>{kNotDetectedText} : std::vector<std::string>{});
    }
}

// Busy pumps stop nothing and suppress the not-detected message.
TEST_F(DetectionTest, BusyPumpsAreReportedAndPassedOver)
{
    WriteSettings(false, false, true, "");
    PumpSimulator::PumpState moving;
    moving.moving = true;
    moving.startUl = 0.0;
    moving.targetUl = 1000.0;
    moving.topSpeedUlPerSec = 0.001;
    moving.startMs = static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                               std::chrono::steady_clock::now().time_since_epoch())
                                               .count());
    pumps.SetPump(2, moving);
    std::vector<std::string> lines;
    EXPECT_FALSE(RunWithLog(lines));
    EXPECT_EQ(theApp.m_pump_port, 0);
    EXPECT_FALSE(IsSerialPortOpen(kPumpCom));
    ASSERT_EQ(ui->Messages().size(), 1u);
    EXPECT_EQ(ui->Messages()[0].text, kNotReadyText);
    EXPECT_EQ(ui->Messages()[0].flags, static_cast<uint32_t>(platform::ui::MbOk));
    bool busyRow = false;
    for (const std::string &line : lines)
        busyRow = busyRow || (line.find("\tTecan pumps are busy.") != std::string::npos &&
                              line.rfind("1.2.3.4\t", 0) == 0);
    EXPECT_TRUE(busyRow) << "an error row in the detection's log";
    EXPECT_EQ(ErrorLog().find("busy"), std::string::npos);
}

// Missing pumps: at start-up the user is told and the error log has it; a re-detection only
// writes an error row into its own daily log.
TEST_F(DetectionTest, MissingPumpsAtStartUpAndInAReDetection)
{
    WriteSettings(true, false, false, "");
    std::vector<std::string> lines;
    EXPECT_FALSE(RunWithLog(lines));
    ExpectInOrder(lines, {"Attempting to connect to Tecan via COM2 at 9600 baud", "Tecan pumps not detected",
                          "*************** END TECAN INITIALIZATION ************"});
    ASSERT_EQ(ui->Messages().size(), 1u);
    EXPECT_EQ(ui->Messages()[0].text, kNotDetectedText);
    EXPECT_EQ(ui->Messages()[0].flags, static_cast<uint32_t>(platform::ui::MbOk | platform::ui::MbIconError));
    EXPECT_NE(ErrorLog().find("Failed to establish communication with KD4 pump."), std::string::npos);
    EXPECT_FALSE(IsSerialPortOpen(kSilentCom));

    ui->Clear();
    std::filesystem::remove(dir.file("LOG/" + platform::ListFolder(dir.file("LOG"), "Err_*.log").at(0).name));
    EXPECT_FALSE(DetectSerialPortDevices(theApp, nullptr));
    EXPECT_TRUE(ui->Messages().empty());
    // The pump driver logs its own failed commands; the detection's row goes to its own log.
    EXPECT_EQ(ErrorLog().find("Tecan pumps not detected"), std::string::npos);
    EXPECT_EQ(ErrorLog().find("Failed to establish"), std::string::npos);
    const std::vector<std::string> daily =
        Lines(ReadFileBytes(dir.file("LOG/ReInitializeSerialPortDevices_2026_12_11.log")));
    ExpectInOrder(
        daily, {"Quorvane Vantelis version 1.2.3.4", "Attempting to connect to Tecan via COM2 at 9600 baud"});
    bool row = false;
    for (const std::string &line : daily)
        row = row || (line.rfind("1.2.3.4\t09:08:07\t", 0) == 0 &&
                      line.find("\tTecan pumps not detected") != std::string::npos);
    EXPECT_TRUE(row);
}

// A re-detection releases the ports found before, scans again and appends to the day's log.
TEST_F(DetectionTest, ReDetectionStartsFromNoPortsAndAppendsToItsDailyLog)
{
    WriteSettings(false, false, true, "");
    std::vector<std::string> lines;
    ASSERT_TRUE(RunWithLog(lines));
    ASSERT_EQ(theApp.m_pump_port, kPumpCom);
    for (int run = 0; run < 2; ++run) {
        EXPECT_TRUE(DetectSerialPortDevices(theApp, nullptr));
        EXPECT_EQ(theApp.m_pump_port, kPumpCom);
    }
    const std::vector<std::string> daily =
        Lines(ReadFileBytes(dir.file("LOG/ReInitializeSerialPortDevices_2026_12_11.log")));
    int banners = 0, opened = 0;
    for (const std::string &line : daily) {
        banners += line == "Quorvane Vantelis version 1.2.3.4";
        opened += line == "COM6 is active, initialized at 9600 baud";
    }
    EXPECT_EQ(banners, 2);
    EXPECT_EQ(opened, 2) << "the pump port was released before the scan";
}

// The gap between pump commands takes 0 to 1000 ms, read as an unsigned 16-bit number; anything
// else leaves it as it was and writes an error row.
TEST_F(DetectionTest, CommandGapSetting)
{
    struct Case
    {
        const char *value; // null: missing
        uint16_t gap;
        const char *row;
    };
    const Case cases[] = {
        {"20", 20, nullptr},
        {nullptr, 0, nullptr},
        {"1500", 7, "TecanCentris::SetMinimumTimeBetweenCommands (1500) maximum delay is 1000 ms"},
        {"-1", 7, "TecanCentris::SetMinimumTimeBetweenCommands (65535) maximum delay is 1000 ms"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.value ? c.value : "(missing)");
        WriteSettings(
            false, false, true,
            c.value ? std::string("[TecanCentris]\r\nmin_time_between_commands_ms=") + c.value + "\r\n" : "");
        TecanCentris::MinTimeBetweenCommandsMs = 7;
        std::vector<std::string> lines;
        EXPECT_TRUE(RunWithLog(lines));
        EXPECT_EQ(TecanCentris::MinTimeBetweenCommandsMs.load(), c.gap);
        bool row = false;
        for (const std::string &line : lines)
            row = row || line.find("TecanCentris::SetMinimumTimeBetweenCommands") != std::string::npos;
        EXPECT_EQ(row, c.row != nullptr);
        if (c.row) {
            bool exact = false;
            for (const std::string &line : lines)
                exact = exact || (line.size() > std::string(c.row).size() &&
                                  line.compare(line.size() - std::string(c.row).size(), std::string::npos,
                                               c.row) == 0);
            EXPECT_TRUE(exact);
        }
        ReleaseSerialPort(kPumpCom);
        theApp.m_pump_port = 0;
    }
}

// Backlash: a missing setting means 0; a pump that refuses the setting leaves an error row with
// both pumps' values; a pump 1 that does not answer "?4" is passed over.
TEST_F(DetectionTest, BacklashIsBroughtToTheSetting)
{
    struct Case
    {
        const char *name;
        const char *setting;
        int32_t initial1, initial2;
        int faultAfter; // requests answered before a refusing status; -1: none
        const char *backlashLine;
        const char *row;
    };
    const Case cases[] = {
        {"missing setting", "", 3, 4, -1, "pump_backlash\t0\t0", nullptr},
        {"already set", "[TecanCentris]\r\nbacklash_steps=9\r\n", 9, 9, -1, "pump_backlash\t9\t9", nullptr},
        // ?1, ?29, ?29, ?4 of pump 1, then its K command is refused.
        {"pump 1 refuses", "[TecanCentris]\r\nbacklash_steps=12\r\n", 0, 0, 4, "pump_backlash\t0\t12",
         "Failed to set pump backlash to 12 steps : current setting is pump1=0 and pump2=12 steps"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        WriteSettings(false, false, true, c.setting);
        PumpSimulator::PumpState one, two;
        one.backlash = c.initial1;
        two.backlash = c.initial2;
        pumps.SetPump(1, one);
        pumps.SetPump(2, two);
        if (c.faultAfter >= 0) {
            pumps.InjectFault(PumpSimulator::Fault::None, c.faultAfter);
            pumps.InjectFault(PumpSimulator::Fault::Status, 1, 'C');
        }
        std::vector<std::string> lines;
        EXPECT_TRUE(RunWithLog(lines));
        EXPECT_TRUE(Has(lines, c.backlashLine));
        bool row = false;
        for (const std::string &line : lines)
            row = row || (c.row && line.find(c.row) != std::string::npos);
        EXPECT_EQ(row, c.row != nullptr);
        ReleaseSerialPort(kPumpCom);
        theApp.m_pump_port = 0;
    }

    // Pump 1 answers "?1" and both "?29" but never "?4".
    WriteSettings(false, false, true, "");
    pumps.InjectFault(PumpSimulator::Fault::None, 3);
    pumps.InjectFault(PumpSimulator::Fault::Silence, 4);
    ui->Clear();
    std::vector<std::string> lines;
    EXPECT_FALSE(RunWithLog(lines));
    EXPECT_EQ(theApp.m_pump_port, 0);
    EXPECT_TRUE(Has(lines, "Successfully connected to Tecan via COM6 at 9600 baud"));
    EXPECT_EQ(lines.back(), "Tecan pumps not detected");
    EXPECT_EQ(MessageTexts(), std::vector<std::string>{kNotDetectedText});
}

// The installed detection services serve the detection; the other device seams keep their null
// answers.
TEST_F(DetectionTest, InstalledServicesServeTheDetection)
{
    WriteSettings(false, false, true, "");
    std::shared_ptr<SerialDeviceServices> services = InstallSerialDeviceServices();
    EXPECT_EQ(&SerialDetection(), services.get());
    EXPECT_TRUE(SerialDetection().DetectSerialDevices(theApp, nullptr));
    EXPECT_EQ(theApp.m_pump_port, kPumpCom);
    EString error;
    EXPECT_FALSE(Capture().LoadCartridgeTypes(error));
    EXPECT_NE(std::string(error.c_str()).find("not available in this build"), std::string::npos);
    InstallSerialDetectionServices(nullptr);
}

} // namespace
} // namespace vantelis::test
