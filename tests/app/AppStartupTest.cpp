// Start-up of the application object, in process: folders, session log, single instance,
// settings file, headless dispatch, framework steps, operator screen at start-up, exit.
#include "AppTestFixture.h"
#include "support/FakeClock.h"

#include "app/AppGlobals.h"
#include "app/SettingsFile.h"

#include "BuildVersion.h"
#include "Ostravo/CachedLog.h"
#include "Ostravo/EString.h"
#include "Ostravo/KeyFallback.h"
#include "platform/Clock.h"
#include "platform/SingleInstance.h"

#include <gmock/gmock.h>

#include <algorithm>
#include <regex>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace vantelis::test {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

const char *const kSessionLogHeader = "ImageFile\tDate\tTime\tExposure(us)\tStatus\tError\r\n";

class AppStartupTest : public AppStartupFixture
{
  protected:
    ~AppStartupTest() override { platform::ClearFakeClock(); }

    // Names in the data folder (recursively), with each file's bytes, to compare before and after.
    std::map<std::string, std::string> Snapshot() const
    {
        std::map<std::string, std::string> entries;
        for (const auto &entry : std::filesystem::recursive_directory_iterator(m_documents.path())) {
            std::string name = entry.path().string();
            entries[name] = entry.is_regular_file() ? ReadFileBytes(name) : std::string("<folder>");
        }
        return entries;
    }

    void WriteSettings(const std::string &text) { WriteFileBytes(DataFile("Plexorin.ini"), text); }
};

TEST_F(AppStartupTest, FirstStartMakesTheFoldersTheSessionLogAndTheSettingsFileFromTheTemplate)
{
    SeedDataFolder();
    platform::SetFakeClock({2024, 3, 7, 4, 9, 5, 3, 42});

    ASSERT_TRUE(Start());

    for (const char *folder : {"LOG", "Tmp", "LIB", "Backup"})
        EXPECT_TRUE(platform::FolderExists(DataFile(folder))) << folder;
    EXPECT_EQ(m_app->m_data_directory, Data());
    EXPECT_EQ(m_app->m_ini_path, DataFile("Plexorin.ini"));
    EXPECT_EQ(m_app->m_users_ini_path, DataFile("Users.ini"));
    EXPECT_EQ(_settings_ini_path, DataFile("Plexorin.ini"));

    // The session log is named after the start time and ends with its column header.
    EXPECT_EQ(m_app->m_session_log_path, DataFile("LOG/20240307-0905-03.log"));
    std::string sessionLog = ReadFileBytes(m_app->m_session_log_path);
    ASSERT_GE(sessionLog.size(), std::string(kSessionLogHeader).size());
    EXPECT_EQ(sessionLog.substr(sessionLog.size() - std::string(kSessionLogHeader).size()),
              kSessionLogHeader);
    // In analysis mode the device detection writes its banner only; no port is opened.
    EXPECT_THAT(sessionLog, HasSubstr("Quorvane Vantelis version " + m_app->m_version + "\r\n"));
    EXPECT_THAT(sessionLog, HasSubstr("Tecan pumps not detected\r\n"));
    EXPECT_FALSE(Called("DetectSerialDevices"));
    EXPECT_EQ(m_app->m_pump_port, 0);

    EXPECT_EQ(ReadFileBytes(DataFile("Plexorin.ini")), ReadFileBytes(ShippedTemplatePath()));
    EXPECT_TRUE(m_ui->Messages().empty());
    EXPECT_TRUE(m_app->m_analysis_mode);
}

TEST_F(AppStartupTest, StartUpRunsItsStepsInOrder)
{
    SeedDataFolder();
    ASSERT_TRUE(Start());
    // Framework and main frame first; the power check, the digital I/O mapping and the serial scan
    // are instrument steps that analysis mode skips; then the hidden windows, last the cartridges.
    EXPECT_THAT(m_calls, ElementsAre("PrepareFramework", "CreateDocumentTemplate", "CreateMainFrame",
                                     "WaitWithTimerDlg.Create(hidden)", "InformOperatorDlg.Create(hidden)",
                                     "ScriptsDlg.Create(hidden)", "CustomerUI.Create(hidden)",
                                     "LoadCartridgeTypes", "ExitFramework"));
    EXPECT_EQ(m_app->m_doc_template, &m_framework->m_template);
}

TEST_F(AppStartupTest, VersionStringsComeFromTheBuild)
{
    SeedDataFolder();
    ASSERT_TRUE(Start());
    std::string shortVersion = std::to_string(VANTELIS_VERSION_MAJOR) + "." +
                               std::to_string(VANTELIS_VERSION_MINOR) + "." +
                               std::to_string(VANTELIS_VERSION_PATCH);
    EXPECT_EQ(m_app->m_version_short, shortVersion);
    EXPECT_EQ(m_app->m_version, shortVersion + ".0");
    EXPECT_EQ(m_app->m_build, "0");
    EXPECT_EQ(m_app->m_product_name, "Vantelis");
    EXPECT_EQ(std::string(m_app->m_customer_ui_directory.c_str()),
              std::string(m_app->m_exe_directory.c_str()) + "CustomerUI");
}

TEST_F(AppStartupTest, WithoutTemplateStartUpShowsTheMessageAndEnds)
{
    std::filesystem::create_directories(Quorvane());

    EXPECT_FALSE(Start());

    // The data folder and its folders are made before the settings file is looked for.
    for (const char *folder : {"LOG", "Tmp", "LIB", "Backup"})
        EXPECT_TRUE(platform::FolderExists(DataFile(folder))) << folder;
    const char *text = "Unable to create Plexorin.ini file.  Please contact Quorvane for support.";
    ASSERT_EQ(m_ui->Messages().size(), 1u);
    EXPECT_EQ(m_ui->Messages()[0].text, text);
    EXPECT_EQ(m_ui->Messages()[0].flags, platform::ui::MbOk | platform::ui::MbIconError);
    EXPECT_THAT(ErrorLogText(), HasSubstr(text));
    EXPECT_FALSE(platform::FileExists(DataFile("Plexorin.ini")));
    EXPECT_TRUE(m_calls.empty());
}

TEST_F(AppStartupTest, MissingParentOfTheDataFolderFailsWithItsPath)
{
    EXPECT_FALSE(Start());
    EXPECT_THAT(MessageTexts(), ElementsAre("Unable to create directory: " + Data()));
    EXPECT_FALSE(std::filesystem::exists(Quorvane()));
}

TEST_F(AppStartupTest, SecondInstanceShowsTheMessageAndChangesNothing)
{
    SeedDataFolder();
    ASSERT_TRUE(Start());
    auto before = Snapshot();

    // The first instance still holds the lock: a second application object must not start.
    CPlexorinApp second;
    EXPECT_FALSE(second.InitInstance({"vantelis"}));
    second.ExitInstance();

    EXPECT_THAT(MessageTexts(), ElementsAre("Another instance of Vantelis is already running."));
    EXPECT_EQ(m_ui->Messages()[0].flags, platform::ui::MbOk);
    EXPECT_EQ(Snapshot(), before);
}

TEST_F(AppStartupTest, TheLockIsFreeAgainOnceTheInstanceIsGone)
{
    SeedDataFolder();
    ASSERT_TRUE(Start());
    m_app.reset();
    ASSERT_TRUE(Start());
    EXPECT_TRUE(m_ui->Messages().empty());
}

TEST_F(AppStartupTest, CorruptSettingsFileIsRestoredFromAValidBackupAndKept)
{
    SeedDataFolder();
    // No [AutoScale]: corrupt for the start-up's full check.
    std::string corrupt = "[CalibrationSettings]\r\nimage_pixels_per_mm=500\r\n[TecanCentris]\r\n"
                          "Pump2SyringeVolume=5000\r\n[Mine]\r\nkey=only here\r\n";
    std::string backup = ValidSettingsText("[Backup]\r\nfrom=backup\r\n");
    WriteSettings(corrupt);
    std::filesystem::create_directories(DataFile("Backup"));
    WriteFileBytes(DataFile("Backup/Plexorin.ini.bak"), backup);

    platform::SetFakeClock(MakeTime(2024, 3, 7, 9, 5, 3));
    ASSERT_TRUE(Start());

    EXPECT_THAT(MessageTexts(),
                ElementsAre("The Plexorin.ini file is corrupted and is retored from the backup."));
    EXPECT_EQ(ReadFileBytes(DataFile("Plexorin.ini")), backup);
    EXPECT_EQ(ReadFileBytes(DataFile("Backup/Plexorin.ini.20240307-090503.corrupt")), corrupt);
    EXPECT_EQ(ReadFileBytes(DataFile("Backup/Plexorin.ini.bak")), backup);
    EXPECT_TRUE(Called("CreateMainFrame"));
}

TEST_F(AppStartupTest, EachSettingsIncidentKeepsItsOwnCorruptCopy)
{
    SeedDataFolder();
    std::filesystem::create_directories(DataFile("Backup"));
    WriteFileBytes(DataFile("Backup/Plexorin.ini.bak"), ValidSettingsText());
    const struct
    {
        int hour, minute, second;
        const char *corrupt;
    } incidents[] = {
        {9, 5, 3, "[CalibrationSettings]\r\nimage_pixels_per_mm=-1\r\n[First]\r\na=1\r\n"},
        {9, 5, 3, "[CalibrationSettings]\r\nimage_pixels_per_mm=-1\r\n[Second]\r\nb=2\r\n"},
        {10, 0, 0, "[CalibrationSettings]\r\nimage_pixels_per_mm=-1\r\n[Third]\r\nc=3\r\n"},
    };
    for (const auto &incident : incidents) {
        m_app.reset();
        WriteSettings(incident.corrupt);
        platform::SetFakeClock(MakeTime(2024, 3, 7, incident.hour, incident.minute, incident.second));
        ASSERT_TRUE(Start());
    }
    // Two incidents in one second get distinct names; nothing is overwritten.
    EXPECT_EQ(ReadFileBytes(DataFile("Backup/Plexorin.ini.20240307-090503.corrupt")), incidents[0].corrupt);
    EXPECT_EQ(ReadFileBytes(DataFile("Backup/Plexorin.ini.20240307-090503_2.corrupt")), incidents[1].corrupt);
    EXPECT_EQ(ReadFileBytes(DataFile("Backup/Plexorin.ini.20240307-100000.corrupt")), incidents[2].corrupt);
    EXPECT_EQ(ReadFileBytes(DataFile("Plexorin.ini")), ValidSettingsText());
}

TEST_F(AppStartupTest, IndentedHeaderFileKeepsItsCalibrationThroughStartUp)
{
    // An indented header is no header for the reads: they use the second copy of the section, and
    // the start-up's removal of repeated sections (run with rand.bin present) must keep it.
    SeedDataFolder();
    std::string pool(64000, '\0');
    for (size_t i = 0; i < pool.size(); ++i)
        pool[i] = static_cast<char>((i * 7919u + 13u) % 251u);
    WriteFileBytes(DataFile("rand.bin"), pool);
    const std::string settings =
        "  [CalibrationSettings]\r\nUpperMagnet=1\r\n[CalibrationSettings]\r\nimage_pixels_per_mm=512.5\r\n"
        "UpperMagnet=120\r\nLowerChannel=480\r\n[TecanCentris]\r\nPump2SyringeVolume=5000\r\n[AutoScale]\r\n"
        "LowMappingDisplayIntensity=25\r\n";
    WriteSettings(settings);

    ASSERT_TRUE(Start());

    EXPECT_TRUE(m_ui->Messages().empty()) << MessageTexts()[0];
    EXPECT_EQ(ReadFileBytes(DataFile("Plexorin.ini")), settings);
    const std::string ini = DataFile("Plexorin.ini");
    char value[31];
    const std::pair<const char *, const char *> keys[] = {
        {"image_pixels_per_mm", "512.5"}, {"UpperMagnet", "120"}, {"LowerChannel", "480"}};
    for (const auto &[key, expected] : keys) {
        EXPECT_TRUE(Ostravo::E_GetPrivateProfileString("CalibrationSettings", key, "", value, sizeof value,
                                                       ini.c_str()));
        EXPECT_STREQ(value, expected) << key;
    }
    EXPECT_FALSE(platform::FileExists(DataFile("Backup/Plexorin.ini.bak")));
}

TEST_F(AppStartupTest, TemplateCopyStoppedByTheFileSizeLimitLeavesNoSettingsFile)
{
    // A start whose copy of the template meets the file-size limit fails with its message instead
    // of dying halfway; the next start copies the template whole.
    SeedDataFolder();
    const std::string templateBytes = ReadFileBytes(DataFile("Default/Vantelis.ini"));
    ASSERT_GT(templateBytes.size(), 512u);
    pid_t child = ::fork();
    if (child == 0) {
        struct rlimit limit = {512, 512};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        const bool started = Start();
        const bool told = m_ui->Messages().size() == 1 &&
                          m_ui->Messages()[0].text ==
                              "Unable to create Plexorin.ini file.  Please contact Quorvane for support.";
        ::_exit(!started && told ? 0 : 1);
    }
    ASSERT_GT(child, 0);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 0) << "start-up did not fail with its message";
    EXPECT_FALSE(platform::FileExists(DataFile("Plexorin.ini")));
    for (const platform::DirEntry &entry : platform::ListFolder(Data()))
        EXPECT_EQ(entry.name.find(".Plexorin.ini.tmp"), std::string::npos) << entry.name;

    ASSERT_TRUE(Start());
    EXPECT_EQ(ReadFileBytes(DataFile("Plexorin.ini")), templateBytes);
}

TEST_F(AppStartupTest, CorruptSettingsFileWithoutUsableBackupEndsWithTheInstructions)
{
    struct Case
    {
        const char *name;
        const char *backup; // null: no backup
    };
    const Case cases[] = {
        {"no backup", nullptr},
        {"corrupt backup", "[CalibrationSettings]\r\nimage_pixels_per_mm=-1\r\n"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove_all(Quorvane());
        m_ui->Clear();
        m_calls.clear();
        m_app.reset();
        SeedDataFolder();
        std::string corrupt = "[CalibrationSettings]\r\nimage_pixels_per_mm=-1\r\n";
        WriteSettings(corrupt);
        if (c.backup) {
            std::filesystem::create_directories(DataFile("Backup"));
            WriteFileBytes(DataFile("Backup/Plexorin.ini.bak"), c.backup);
        }

        EXPECT_FALSE(Start());

        std::string instructions =
            "The Plexorin.ini file is corrupted. Please: \n1) Select an Plexorin.ini backup in '" + Data() +
            "/Backup'; \n2) Copy it to '" + Data() + "'; and \n3) Rename the copy to Plexorin.ini.";
        EXPECT_THAT(MessageTexts(), ElementsAre(instructions));
        EXPECT_EQ(ReadFileBytes(DataFile("Plexorin.ini")), corrupt);
        EXPECT_FALSE(Called("CreateMainFrame"));
    }
}

TEST_F(AppStartupTest, CorruptSettingsFileIsNotReplacedWhenItCannotBeKept)
{
    std::filesystem::create_directories(DataFile("Backup"));
    const std::string corrupt =
        "[CalibrationSettings]\r\nimage_pixels_per_mm=-1\r\n[Mine]\r\nkey=only here\r\n";
    WriteSettings(corrupt);
    WriteFileBytes(DataFile("Backup/Plexorin.ini.bak"), ValidSettingsText());
    CPlexorinApp app;
    app.m_data_directory = Data();
    app.m_ini_path = DataFile("Plexorin.ini");

    // The copy that keeps the corrupt file fails, as on a full disk.
    platform::FailNextReplaceAt(platform::ReplaceFailurePoint::Create);
    EXPECT_FALSE(app.ValidateOrRestoreSettingsFile());
    platform::FailNextReplaceAt(platform::ReplaceFailurePoint::None);

    EXPECT_EQ(ReadFileBytes(DataFile("Plexorin.ini")), corrupt);
    EXPECT_FALSE(platform::FileExists(DataFile("Backup/Plexorin.ini.corrupt")));
    ASSERT_EQ(m_ui->Messages().size(), 1u);
    EXPECT_THAT(m_ui->Messages()[0].text,
                HasSubstr("The Plexorin.ini file is corrupted. Please: \n1) Select"));
}

// Command line: exactly five arguments run one analysis without any window.
TEST_F(AppStartupTest, HeadlessCommandLineRunsTheAnalysisWithoutWindows)
{
    struct Case
    {
        std::vector<std::string> args;
        std::string expectedCall;
    };
    const Case cases[] = {
        {{"-v", "/exp/one", "true", "false", "video"}, "RunExperimentAnalysis:0:/exp/one:on:off:video"},
        {{"-m", "/exp/two", "false", "true", "montage"}, "RunExperimentAnalysis:1:/exp/two:off:on:montage"},
        // Only "true" in lower case switches on.
        {{"-f", "/exp/3", "TRUE", "True", "out"}, "RunExperimentAnalysis:2:/exp/3:off:off:out"},
        // Folder and output names pass as their bytes, whatever characters they hold.
        {{"-m",
          "/Donn\xC3\xA9"
          "es \xC3\xA9/Exp\xE9",
          "false", "true", "r\xC3\xA9sum\xC3\xA9"},
         "RunExperimentAnalysis:1:/Donn\xC3\xA9"
         "es \xC3\xA9/Exp\xE9:off:on:r\xC3\xA9sum\xC3\xA9"},
    };
    SeedDataFolder();
    for (const Case &c : cases) {
        m_calls.clear();
        m_app.reset();
        ASSERT_TRUE(Start(c.args));
        EXPECT_THAT(m_calls, ElementsAre(c.expectedCall));
    }
    EXPECT_TRUE(m_ui->Messages().empty());
    // The settings file is made and checked before the analysis runs.
    EXPECT_TRUE(platform::FileExists(DataFile("Plexorin.ini")));
}

TEST_F(AppStartupTest, FailingHeadlessRequestWritesItsErrorToStandardErrorAndTheErrorLog)
{
    SeedDataFolder();
    m_experiment->m_result = false;
    m_experiment->m_error = "RunExperimentAnalysis() - Unable to create analysis directory: /exp/Montage";

    ::testing::internal::CaptureStderr();
    bool ok = Start({"-m", "/exp", "false", "false", "out"});
    std::string stderrText = ::testing::internal::GetCapturedStderr();

    EXPECT_FALSE(ok);
    EXPECT_THAT(stderrText, HasSubstr(m_experiment->m_error));
    EXPECT_THAT(ErrorLogText(), HasSubstr(m_experiment->m_error));
    EXPECT_TRUE(m_ui->Messages().empty());
    EXPECT_FALSE(Called("PrepareFramework"));
}

TEST_F(AppStartupTest, UnknownHeadlessOptionFailsWithoutAnalysisOrWindow)
{
    SeedDataFolder();
    for (const char *option : {"-V", "-M", "-mm", "m", ""}) {
        SCOPED_TRACE(option);
        m_calls.clear();
        m_app.reset();
        ::testing::internal::CaptureStderr();
        EXPECT_FALSE(Start({option, "/exp", "true", "true", "out"}));
        std::string stderrText = ::testing::internal::GetCapturedStderr();
        EXPECT_TRUE(m_calls.empty());
        EXPECT_THAT(stderrText, HasSubstr("unknown analysis option: " + std::string(option)));
    }
}

TEST_F(AppStartupTest, OtherArgumentCountsOpenTheWindow)
{
    SeedDataFolder();
    const std::vector<std::string> cases[] = {
        {},
        {"-m", "/exp", "false", "out"},
        {"-m", "/exp", "false", "false", "out", "extra"},
    };
    for (const auto &args : cases) {
        m_calls.clear();
        m_app.reset();
        ASSERT_TRUE(Start(args));
        EXPECT_TRUE(Called("CreateMainFrame"));
        for (const std::string &call : m_calls)
            EXPECT_THAT(call, ::testing::Not(HasSubstr("RunExperimentAnalysis")));
    }
}

TEST_F(AppStartupTest, WithoutAFrameworkANonHeadlessStartFailsWithAMessage)
{
    SeedDataFolder();
    SetFramework(nullptr);
    EXPECT_FALSE(Start());
    ASSERT_EQ(m_ui->Messages().size(), 1u);
    EXPECT_THAT(m_ui->Messages()[0].text, HasSubstr("no window system"));
}

// [CustomerUI] RunOnStartup: only "TRUE" in any letter case starts the operator screen.
TEST_F(AppStartupTest, RunOnStartupStartsTheOperatorScreenOnlyForTrue)
{
    struct Case
    {
        const char *value;
        bool starts;
    };
    const Case cases[] = {
        {"true", true},   {"TRUE", true}, {"True", true}, {"TRUE ", false},      {" TRUE", false},
        {"FALSE", false}, {"", false},    {"1", false},   {"TRUEEEEEEE", false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.value);
        m_calls.clear();
        m_app.reset();
        std::filesystem::remove_all(Quorvane());
        std::filesystem::create_directories(Data());
        WriteSettings(ValidSettingsText(std::string("[CustomerUI]\r\nRunOnStartup=") + c.value + "\r\n"));

        ASSERT_TRUE(Start());

        std::string script =
            std::string(m_app->m_exe_directory.c_str()) + "CustomerUI/Scripts/DefaultAnalysisUI.scr";
        EXPECT_EQ(Called("Reload:" + script), c.starts);
    }
}

// A start-up script may ask for cartridge offsets on its first lines: the types are loaded first.
TEST_F(AppStartupTest, CartridgeTypesAreLoadedBeforeTheStartUpScriptStarts)
{
    std::filesystem::create_directories(Data());
    WriteSettings(ValidSettingsText("[CustomerUI]\r\nRunOnStartup=TRUE\r\n"));
    ASSERT_TRUE(Start());
    const auto reload = std::find_if(m_calls.begin(), m_calls.end(),
                                     [](const std::string &call) { return call.rfind("Reload:", 0) == 0; });
    ASSERT_NE(reload, m_calls.end());
    EXPECT_NE(std::find(m_calls.begin(), reload, "LoadCartridgeTypes"), reload);
}

TEST_F(AppStartupTest, CachedLinesAddedBeforeANormalExitAreWritten)
{
    SeedDataFolder();
    // A save interval far longer than the test: only the exit can write the line.
    std::filesystem::create_directories(Data());
    WriteSettings(ValidSettingsText("[ExperimentSettings]\r\ndefault_cached_log_save_interval_sec=3600\r\n"));

    m_app = std::make_unique<CPlexorinApp>();
    ASSERT_TRUE(m_app->InitInstance({"vantelis"}));
    std::string log = DataFile("LOG/cached.log");
    EString error;
    ASSERT_TRUE(AddALine(log.c_str(), "written at exit", error));
    EXPECT_FALSE(platform::FileExists(log));

    m_app->ExitInstance();

    EXPECT_EQ(ReadFileBytes(log), "written at exit\r\n");
}

TEST_F(AppStartupTest, RenderThreadIsStartedAtStartUpAndStoppedAtExit)
{
    SeedDataFolder();
    SetRenderThreadHooks([this] { m_calls.push_back("StartRenderThread"); },
                         [this] { m_calls.push_back("StopRenderThread"); });
    ASSERT_TRUE(Start());
    SetRenderThreadHooks(nullptr, nullptr);
    auto position = [this](const std::string &call) {
        return std::find(m_calls.begin(), m_calls.end(), call);
    };
    ASSERT_NE(position("StartRenderThread"), m_calls.end());
    EXPECT_LT(position("CreateMainFrame"), position("StartRenderThread"));
    EXPECT_LT(position("StartRenderThread"), position("WaitWithTimerDlg.Create(hidden)"));
    EXPECT_LT(position("ExitFramework"), position("StopRenderThread"));
}

// Without rand.bin no hook is installed and nothing is registered; with it, the fallback hook is
// installed, an enciphered main settings file is registered and repeated sections are removed.
TEST_F(AppStartupTest, ProfileEncryptionIsSetUpOnlyWithTheRandomDataFile)
{
    SeedDataFolder();
    ASSERT_TRUE(Start());
    EXPECT_EQ(ProfileReadHook.load(), nullptr);
    EXPECT_EQ(ProfileWriteHook.load(), nullptr);
    EXPECT_TRUE(platform::FileExists(DataFile("LOG/EncryptedProfile_" + [] {
        platform::LocalTime t = platform::Now();
        char day[16];
        std::snprintf(day, sizeof day, "%04d_%02d_%02d", t.year, t.month, t.day);
        return std::string(day);
    }() + ".log")));
    m_app.reset();

    // rand.bin of 64000 bytes; the main settings file enciphered with it, with a repeated section.
    std::string pool(64000, '\0');
    for (size_t i = 0; i < pool.size(); ++i)
        pool[i] = static_cast<char>((i * 7919u + 13u) % 251u);
    WriteFileBytes(DataFile("rand.bin"), pool);
    WriteSettings(ValidSettingsText("[Twice]\r\na=1\r\n[Twice]\r\nb=2\r\n"));
    WriteFileBytes(DataFile("Users.ini"), "[Users]\r\nname=plain\r\n");
    EString message;
    ASSERT_TRUE(Ostravo::E_LoadRandomFile(DataFile("rand.bin").c_str(), message)) << message.c_str();
    ASSERT_TRUE(Ostravo::E_EncryptFile(DataFile("Plexorin.ini").c_str(), message)) << message.c_str();

    ASSERT_TRUE(Start());

    EXPECT_EQ(ProfileReadHook.load(), &ProfileKeyFallback);
    EXPECT_NE(ProfileWriteHook.load(), nullptr);
    EXPECT_TRUE(IsEncryptedProfile(DataFile("Plexorin.ini").c_str()));
    EXPECT_FALSE(IsEncryptedProfile(DataFile("Users.ini").c_str()));
    bool enciphered = false;
    ASSERT_TRUE(Ostravo::E_IsFileEncrypted(DataFile("Plexorin.ini").c_str(), enciphered, message));
    EXPECT_TRUE(enciphered);
    char value[31];
    EXPECT_TRUE(Ostravo::E_GetPrivateProfileString("Twice", "b", "gone", value, sizeof value,
                                                   DataFile("Plexorin.ini").c_str()));
    EXPECT_STREQ(value, "gone");
    EXPECT_TRUE(Ostravo::E_GetPrivateProfileString("Twice", "a", "", value, sizeof value,
                                                   DataFile("Plexorin.ini").c_str()));
    EXPECT_STREQ(value, "1");
    EXPECT_EQ(ReadFileBytes(DataFile("Users.ini")), "[Users]\r\nname=plain\r\n");
}

} // namespace
} // namespace vantelis::test
