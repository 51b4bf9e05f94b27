// The bar-code, cartridge, clamp, digital-line and manufacturing-test commands: their checks at
// load and at run time, bar-code parsing, cartridge matching against small definition files, the
// lines that [DIO_Config] wires, and the symbols over a faked live image.
#include "script/commands/InstrumentCommands.h"
#include "ScriptFixture.h"
#include "devices/LivePreviewFake.h"

#include "Ostravo/Profile.h"
#include "devices/BrightnessAtTarget.h"
#include "devices/CartridgeTypes.h"
#include "devices/DigitalLines.h"
#include "devices/VideoSymbols.h"
#include "script/CommandTable.h"

#include <gmock/gmock.h>

#include <atomic>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>

using ::testing::HasSubstr;

namespace {

const int kInstrumentCommands[] = {cmd::GetClampState,
                                   cmd::ParseBarCode,
                                   cmd::GetCartridgeTypeFromBarCode,
                                   cmd::SetCurrentBarCode,
                                   cmd::DIO_GetInputLineState,
                                   cmd::DIO_SetOutputLineState,
                                   cmd::MfgTest_BrightnessAtTarget,
                                   cmd::MfgTest_ShowSymbolOverVideo,
                                   cmd::MfgTest_CreateSymbolType,
                                   cmd::MfgTest_AddPointToSymbolType};

// Six signals on distinct lines: LEDs on port 0 lines 0..2 and port 1 line 3 (outputs), the
// cartridge sensor on port 0 line 5 and the clamp on port 1 line 0 (inputs).
const char *const kWiring = "[DIO_Config]\r\nLED0_port=0\r\nLED0_line=0\r\nLED1_port=0\r\nLED1_line=1\r\n"
                            "LED2_port=0\r\nLED2_line=2\r\nLED3_port=1\r\nLED3_line=3\r\n"
                            "Cartridge_Port=0\r\nCartridge_Line=5\r\nClamp_Port=1\r\nClamp_Line=0\r\n";

// A line driver that keeps its lines in a map and records what it drove.
class FakeLines : public DigitalLineDriver
{
  public:
    bool ReadInputLine(int32_t port, int32_t line, int32_t &state, EString &) override
    {
        std::lock_guard<std::mutex> lock(mutex);
        state = lines[{port, line}];
        return true;
    }
    bool WriteOutputLine(int32_t port, int32_t line, int32_t state, EString &) override
    {
        std::lock_guard<std::mutex> lock(mutex);
        lines[{port, line}] = state;
        writes.push_back(FormatWrite(port, line, state));
        return true;
    }
    static std::string FormatWrite(int32_t port, int32_t line, int32_t state)
    {
        return std::to_string(port) + "." + std::to_string(line) + "=" + std::to_string(state);
    }
    std::mutex mutex;
    std::map<std::pair<int32_t, int32_t>, int32_t> lines;
    std::vector<std::string> writes;
};

class InstrumentCommandsTest : public ScriptFixture
{
  protected:
    void SetUp() override
    {
        ScriptFixture::SetUp();
        RegisterInstrumentCommands();
        m_oldIni = theApp.m_ini_path;
        m_oldAnalysis = theApp.m_analysis_mode;
        m_oldAdmin = theApp.m_admin_mode;
        m_oldBarcode = theApp.m_cartridge_barcode;
        theApp.m_ini_path = m_dir.file("Plexorin.ini");
        theApp.m_analysis_mode = true;
        theApp.m_admin_mode = false;
        theApp.m_cartridge_barcode.Assign("");
        WriteSettings(kWiring);
        ResetVideoSymbolsForTesting();
        ClearCartridgeTypeList();
    }
    void TearDown() override
    {
        for (int id : kInstrumentCommands)
            RegisterCommandHandler(id, nullptr);
        SetDigitalLineDriver(nullptr);
        SetLivePreview(nullptr);
        ResetVideoSymbolsForTesting();
        ClearCartridgeTypeList();
        theApp.m_ini_path = m_oldIni;
        theApp.m_analysis_mode = m_oldAnalysis;
        theApp.m_admin_mode = m_oldAdmin;
        theApp.m_cartridge_barcode = m_oldBarcode;
        ScriptFixture::TearDown();
    }

    void WriteSettings(const std::string &text) { vantelis::test::WriteFileBytes(theApp.m_ini_path, text); }

    // Loads the script alone (as the loader checks it), then loads and runs it.
    bool Loads(const std::string &script, EString &error)
    {
        Script loader;
        return Load(loader, WriteScript("load.scr", script), error);
    }
    bool Run(const std::string &script, VariableList &variables, EString &error)
    {
        Script instance;
        return LoadAndRun(instance, script, error, &variables);
    }

    static const Variable &Get(const VariableList &variables, const char *name)
    {
        size_t index = 0;
        EXPECT_TRUE(FindVariable(variables, name, index)) << name;
        return variables[index];
    }

    std::string m_oldIni;
    bool m_oldAnalysis = false;
    bool m_oldAdmin = false;
    EString m_oldBarcode;
};

// What fails at load, and what loads and then fails when it runs, with the commands' texts.
TEST_F(InstrumentCommandsTest, ChecksSplitBetweenLoadAndRun)
{
    struct Case
    {
        const char *script;
        bool loads;
        const char *message;
    };
    const Case cases[] = {
        // Frame and argument numbering.
        {"GetClampState(0);", false, "Invalid parameter 2, expecting an int variable"},
        {"GetCartridgeState(1);", false, "Invalid parameter 2, expecting an int variable"},
        {"int v;\nParseBarCode(v, v, v, v, v);", false,
         "Variable v is not type STRING, parameter 0 expected STRING"},
        {"int v;\nParseBarCode(\"1\", v, v, v);", false, "Invalid int parameter 4"},
        {"int v;\nDIO_GetInputLineState(0, 1);", false, "Invalid int parameter 3"},
        {"MfgTest_CreateSymbolType(\"a\", 1, q);", false,
         "Variable \"q\" is not defined, expecting int parameter 3"},
        // Line tests, at run time.
        {"DIO_SetOutputLineState(2, 0, 1);", true, "iport must be either 0 or 1"},
        {"DIO_SetOutputLineState(-1, 0, 1);", true, "iport must be either 0 or 1"},
        {"DIO_SetOutputLineState(0, 8, 1);", true, "line number must be between 0 and 7 for port=0"},
        {"DIO_SetOutputLineState(0, -1, 1);", true, "line number must be between 0 and 7 for port=0"},
        {"DIO_SetOutputLineState(1, 4, 1);", true, "line number must be between 0 and 3 for port=1"},
        {"int s;\nDIO_GetInputLineState(1, -2, s);", true, "line number must be between 0 and 3 for port=1"},
        {"int s;\nDIO_GetInputLineState(7, 0, s);", true, "iport must be either 0 or 1"},
        // The line tests come before the state test, the state test before the wiring.
        {"DIO_SetOutputLineState(1, 4, 2);", true, "line number must be between 0 and 3 for port=1"},
        {"DIO_SetOutputLineState(0, 6, 2);", true, "state must be 0 or 1"},
        {"DIO_SetOutputLineState(0, 6, 1);", true, "port=0 line=6 is not configured for output"},
        // An input line is not an output and the other way round.
        {"DIO_SetOutputLineState(0, 5, 0);", true, "port=0 line=5 is not configured for output"},
        {"int s;\nDIO_GetInputLineState(0, 1, s);", true, "port=0 line=1 is not configured for input"},
        // Wired, but there is no device to reach.
        {"DIO_SetOutputLineState(1, 3, 0);", true, "DIO_SetOutputLineState() - no digital I/O device found."},
        {"int s;\nDIO_GetInputLineState(1, 0, s);", true,
         "DIO_GetInputLineState() - no digital I/O device found."},
        // Symbol types.
        {"MfgTest_AddPointToSymbolType(999, 1, 1);", true,
         "MfgTest_AddPointToSymbolType() : Invalid symbol_type: 999"},
        {"MfgTest_AddPointToSymbolType(1000, 1, 1);", true,
         "MfgTest_AddPointToSymbolType() : Invalid symbol_type: 1000"},
        // Analysis mode refuses the preview.
        {"int b;\nMfgTest_BrightnessAtTarget(1, 2, 3, 4, 5, 6, b);", true, "Analysis Mode"},
        // A literal where a result belongs loads and is refused when it runs.
        {"ParseBarCode(\"123-456-7890\", 1, 2, 3, 4);", true,
         "ParseBarCode() - parameter 1 must be a variable to receive the result."},
        {"DIO_GetInputLineState(1, 0, 0);", true,
         "DIO_GetInputLineState() - parameter 3 must be a variable to receive the result."},
        {"GetCartridgeTypeFromBarCode(\"1\", \"2\");", true,
         "GetCartridgeTypeFromBarCode() - parameter 2 must be a variable to receive the result."},
        {"int ok;\nMfgTest_ShowSymbolOverVideo(1, 1, 0, 0, 0, 0, 1, ok, \"m\");", true,
         "MfgTest_ShowSymbolOverVideo() - parameter 9 must be a variable to receive the result."},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.script);
        const std::string script = std::string(c.script) + "\n";
        EString loadError;
        const bool loaded = Loads(script, loadError);
        EXPECT_EQ(loaded, c.loads) << loadError.c_str();
        if (!c.loads) {
            EXPECT_THAT(loadError.c_str(), HasSubstr(c.message));
        }
        VariableList variables;
        EString error;
        EXPECT_FALSE(Run(script, variables, error));
        EXPECT_THAT(error.c_str(), HasSubstr(c.message));
    }
}

TEST_F(InstrumentCommandsTest, ClampAndCartridgeStatesAreOneIntoAnIntVariableOnly)
{
    VariableList variables;
    EString error;
    ASSERT_TRUE(Run("int c = 7;\nint k = 8;\ndouble d = 2.5;\nGetClampState(c);\nGetCartridgeState(k);\n"
                    "GetClampState(d);\n",
                    variables, error))
        << error.c_str();
    EXPECT_EQ(Get(variables, "c").integer, 1);
    EXPECT_EQ(Get(variables, "k").integer, 1);
    EXPECT_DOUBLE_EQ(Get(variables, "d").number, 2.5);
}

TEST_F(InstrumentCommandsTest, ParseBarCodeReadsThreeNumbersFromFixedPlaces)
{
    struct Case
    {
        const char *barcode;
        int32_t valid, first, second, third; // -1: left as it was
    };
    const Case cases[] = {
        {"123-456-7890", 1, 123, 456, 7890},
        {"1234567890", 1, 123, 456, 7890},
        {"--12-3456--7890-", 1, 123, 456, 7890},
        {"123-456-78901234", 1, 123, 456, 7890}, // characters after the tenth are ignored
        {"123-456-789", 0, -1, -1, -1},          // nine characters without dashes
        {"", 0, -1, -1, -1},
        {"12A4567890", 1, 12, 456, 7890}, // reading stops at the letter
        {" 1+23 4-5678", 1, 1, 23, 4567}, // blanks before a number; a sign ends it
        {"123ABC7890", 0, 123, -1, -1},   // numbers read before the failing one stay stored
        {"123456X890", 0, 123, 456, -1},
        {"007-000-0009", 1, 7, 0, 9},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.barcode);
        VariableList variables;
        EString error;
        const std::string script = std::string("STRING s = \"") + c.barcode +
                                   "\";\nint v = -1;\nint a = -1;\nint b = -1;\nint n = -1;\n"
                                   "ParseBarCode(s, v, a, b, n);\n";
        ASSERT_TRUE(Run(script, variables, error)) << error.c_str();
        EXPECT_EQ(Get(variables, "v").integer, c.valid);
        EXPECT_EQ(Get(variables, "a").integer, c.first);
        EXPECT_EQ(Get(variables, "b").integer, c.second);
        EXPECT_EQ(Get(variables, "n").integer, c.third);
        EXPECT_STREQ(Get(variables, "s").text.c_str(), c.barcode) << "the bar-code variable is not changed";
    }
}

// Two cartridge types in the cartridge folder and a settings file with calibrated channel rows.
class CartridgeCommandsTest : public InstrumentCommandsTest
{
  protected:
    void SetUp() override
    {
        InstrumentCommandsTest::SetUp();
        std::filesystem::create_directories(m_dir.path() / "Cartridge");
        vantelis::test::WriteFileBytes(
            m_dir.file("Cartridge/A.ini"),
            "[General]\r\nType=Alpha\r\n[BarcodeFormats]\r\nf01=###-###-####\r\n[BarcodeIDs]\r\nids=123\r\n"
            "[OffsetsInMicron]\r\nUpperChannelOffset=50\r\nLowerChannelOffset=-100\r\n"
            "[SampleLoadInMicroLitre]\r\nSampleAspirateVolume=42\r\n");
        vantelis::test::WriteFileBytes(m_dir.file("Cartridge/B.ini"),
                                       "[General]\r\nType=Beta\r\n[BarcodeFormats]\r\nf01=###-###-####\r\n"
                                       "[BarcodeIDs]\r\nids=456\r\n");
        EString error;
        ASSERT_TRUE(LoadCartridgeTypes(error)) << error.c_str();
        WriteSettings(std::string(kWiring) +
                      "[CalibrationSettings]\r\nimage_pixels_per_mm=200\r\nUpperChannel=300\r\n"
                      "LowerChannel=700\r\n");
    }
    std::string Setting(const char *section, const char *key)
    {
        char buffer[256] = {};
        Ostravo::E_GetPrivateProfileString(section, key, "<none>", buffer, sizeof buffer,
                                           theApp.m_ini_path.c_str());
        return buffer;
    }
};

TEST_F(CartridgeCommandsTest, TypeNameOfTheFirstMatchingTypeOrTheVariableUnchanged)
{
    const struct
    {
        const char *barcode;
        const char *expected;
    } cases[] = {
        {"123-000-0001", "Alpha"},
        {"456-999-9999", "Beta"},
        {"789-000-0001", "before"}, // no type has that ID
        {"123-000-001", "before"},  // no format has that length
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.barcode);
        VariableList variables;
        EString error;
        ASSERT_TRUE(Run(std::string("STRING t = \"before\";\nGetCartridgeTypeFromBarCode(\"") + c.barcode +
                            "\", t);\n",
                        variables, error))
            << error.c_str();
        EXPECT_STREQ(Get(variables, "t").text.c_str(), c.expected);
    }
}

TEST_F(CartridgeCommandsTest, CurrentBarCodeWritesTheMatchingTypeAndIsKeptWithoutOne)
{
    VariableList variables;
    EString error;
    ASSERT_TRUE(Run("SetCurrentBarCode(\"123-456-7890\");\n", variables, error)) << error.c_str();
    EXPECT_EQ(CurrentCartridgeBarcode(), "123-456-7890");
    EXPECT_EQ(Setting("ExperimentSettings", "CartridgeType"), "Alpha");
    EXPECT_EQ(Setting("ExperimentSettings", "Barcode"), "123-456-7890");
    // 50 um and -100 um at 200 pixels per mm are 10 and -20 rows from the calibrated 300 and 700.
    EXPECT_EQ(Setting("Cartridge", "CartridgeUpperChannel"), "310");
    EXPECT_EQ(Setting("Cartridge", "CartridgeLowerChannel"), "680");
    EXPECT_EQ(Setting("Cartridge", "SampleAspirateVolume"), "42");

    // No type matches: the bar code still becomes current, the settings stay as they were.
    ASSERT_TRUE(Run("SetCurrentBarCode(\"999-000-0000\");\n", variables, error)) << error.c_str();
    EXPECT_EQ(CurrentCartridgeBarcode(), "999-000-0000");
    EXPECT_STREQ(theApp.m_cartridge_barcode.c_str(), "999-000-0000");
    EXPECT_EQ(Setting("ExperimentSettings", "CartridgeType"), "Alpha");
    EXPECT_EQ(Setting("ExperimentSettings", "Barcode"), "123-456-7890");
}

// The capture workflow reads the current bar code while a script sets it: every read sees one
// whole bar code that some script line set.
TEST_F(CartridgeCommandsTest, CurrentBarCodeIsReadWholeWhileAScriptSetsIt)
{
    const std::string a = "123-000-0001";
    const std::string b = "456-999-999999999999999999999999999999999999999999999999";
    std::atomic<bool> done{false};
    std::set<std::string> seen;
    std::thread reader([&] {
        while (!done) {
            const std::string code = CurrentCartridgeBarcode();
            seen.insert(code);
        }
    });
    VariableList variables;
    EString error;
    const bool ok = Run("int i = 0;\nwhile (i < 50)\n{\n  SetCurrentBarCode(\"" + a +
                            "\");\n  SetCurrentBarCode(\"" + b + "\");\n  i += 1;\n}\n",
                        variables, error);
    done = true;
    reader.join();
    ASSERT_TRUE(ok) << error.c_str();
    for (const std::string &code : seen)
        EXPECT_TRUE(code.empty() || code == a || code == b) << code;
    EXPECT_EQ(CurrentCartridgeBarcode(), b);
}

// Which lines count as wired comes from [DIO_Config] alone, in analysis mode too: LED lines are
// outputs, the cartridge and clamp lines inputs; a mapping the loader refuses wires nothing.
TEST_F(InstrumentCommandsTest, WiredLinesAreReadAndDrivenThroughTheDriver)
{
    auto lines = std::make_shared<FakeLines>();
    lines->lines[{0, 5}] = 1;
    lines->lines[{1, 0}] = 0;
    SetDigitalLineDriver(lines);
    for (bool analysis : {true, false}) {
        SCOPED_TRACE(analysis ? "analysis mode" : "instrument mode");
        theApp.m_analysis_mode = analysis;
        lines->writes.clear();
        VariableList variables;
        EString error;
        ASSERT_TRUE(
            Run("int c = 9;\nint k = 9;\nDIO_GetInputLineState(0, 5, c);\nDIO_GetInputLineState(1, 0, k);\n"
                "DIO_SetOutputLineState(0, 2, 1);\nDIO_SetOutputLineState(1, 3, 0);\n",
                variables, error))
            << error.c_str();
        EXPECT_EQ(Get(variables, "c").integer, 1);
        EXPECT_EQ(Get(variables, "k").integer, 0);
        EXPECT_EQ(lines->writes, (std::vector<std::string>{"0.2=1", "1.3=0"}));
    }

    lines->writes.clear();
    // Defaults put every signal on port 0 and the sensors on the first LED's line: refused, so
    // no line is wired.
    WriteSettings("[DIO_Config]\r\n");
    for (const char *script :
         {"DIO_SetOutputLineState(0, 1, 1);", "int s;\nDIO_GetInputLineState(0, 0, s);"}) {
        SCOPED_TRACE(script);
        VariableList variables;
        EString error;
        EXPECT_FALSE(Run(std::string(script) + "\n", variables, error));
        EXPECT_THAT(error.c_str(), HasSubstr("is not configured for"));
    }
    // The unsupported variant is refused too, without a message box from a script line.
    WriteSettings(std::string(kWiring) + "Mapping=Fluigent\r\n");
    {
        VariableList variables;
        EString error;
        EXPECT_FALSE(Run("DIO_SetOutputLineState(0, 1, 1);\n", variables, error));
        EXPECT_THAT(error.c_str(), HasSubstr("port=0 line=1 is not configured for output"));
    }
    EXPECT_TRUE(lines->writes.empty());
}

TEST_F(InstrumentCommandsTest, SymbolTypesAreFoundIgnoringCaseAndTakePoints)
{
    VariableList variables;
    EString error;
    ASSERT_TRUE(
        Run("int id1 = 0;\nint e1 = 9;\nint id2 = 0;\nint e2 = 9;\nint other = 0;\nint e3 = 9;\n"
            "MfgTest_CreateSymbolType(\"Cross\", id1, e1);\nMfgTest_CreateSymbolType(\"cross\", id2, e2);\n"
            "MfgTest_CreateSymbolType(\"Box\", other, e3);\n"
            "MfgTest_AddPointToSymbolType(id1, 3, -4);\nMfgTest_AddPointToSymbolType(other, 5, 6);\n",
            variables, error))
        << error.c_str();
    EXPECT_EQ(Get(variables, "id1").integer, 1000);
    EXPECT_EQ(Get(variables, "e1").integer, 0);
    EXPECT_EQ(Get(variables, "id2").integer, 1000);
    EXPECT_EQ(Get(variables, "e2").integer, 1);
    EXPECT_EQ(Get(variables, "other").integer, 1001);
    EXPECT_EQ(Get(variables, "e3").integer, 0);
    const std::vector<VideoSymbolType> types = VideoSymbolTypesSnapshot();
    ASSERT_EQ(types.size(), 2u);
    EXPECT_EQ(types[0].points, (std::vector<int32_t>{3, -4}));
    EXPECT_EQ(types[1].points, (std::vector<int32_t>{5, 6}));

    // One past the last type is refused, and nothing is added anywhere.
    EXPECT_FALSE(Run("MfgTest_AddPointToSymbolType(1002, 1, 1);\n", variables, error));
    EXPECT_THAT(error.c_str(), HasSubstr(" : MfgTest_AddPointToSymbolType() : Invalid symbol_type: 1002"));
    EXPECT_EQ(VideoSymbolTypesSnapshot()[1].points.size(), 2u);
}

// A refused symbol shows only in the results; an accepted one is added over the live image.
TEST_F(InstrumentCommandsTest, ShowSymbolReportsThroughItsResultsAndAlwaysSucceeds)
{
    {
        // Analysis mode, no preview: the first call is refused already.
        VariableList variables;
        EString error;
        ASSERT_TRUE(Run("int ok = 7;\nSTRING m = \"old\";\nMfgTest_ShowSymbolOverVideo(10, 20, 1, 255, 0, 0, "
                        "3, ok, m);\n",
                        variables, error))
            << error.c_str();
        EXPECT_STREQ(error.c_str(), "");
        EXPECT_EQ(Get(variables, "ok").integer, 0);
        EXPECT_THAT(Get(variables, "m").text.c_str(), HasSubstr("Analysis Mode"));
        EXPECT_TRUE(VisibleVideoSymbolsSnapshot().empty());
    }
    theApp.m_analysis_mode = false;
    SetLivePreview(std::make_shared<vantelis::test::FakeLivePreview>());
    VariableList variables;
    EString error;
    ASSERT_TRUE(Run("int ok = 7;\nSTRING m = \"old\";\nint ok2 = 7;\nSTRING m2 = \"old\";\n"
                    "MfgTest_ShowSymbolOverVideo(10, 20, 1, 255, 0, 0, 3, ok, m);\n"
                    "MfgTest_ShowSymbolOverVideo(10, 20, 1, 256, 0, 0, 3, ok2, m2);\n",
                    variables, error))
        << error.c_str();
    EXPECT_EQ(Get(variables, "ok").integer, 1);
    EXPECT_STREQ(Get(variables, "m").text.c_str(), "");
    EXPECT_EQ(Get(variables, "ok2").integer, 0);
    EXPECT_STREQ(Get(variables, "m2").text.c_str(),
                 "Invalid parameter red: 256  Value must be between 0 and 255");
    const std::vector<VideoSymbol> shown = VisibleVideoSymbolsSnapshot();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].x, 10);
    EXPECT_EQ(shown[0].y, 20);
    EXPECT_EQ(shown[0].symbol_type, 1);
    EXPECT_EQ(shown[0].red, 255);
    EXPECT_EQ(shown[0].line_width, 3);
}

// The brightness test's own refusals reach the script; its measurement goes into the variable.
TEST_F(InstrumentCommandsTest, BrightnessTestFailsWithItsTextOrStoresTheMeasurement)
{
    theApp.m_analysis_mode = false;
    {
        VariableList variables;
        EString error;
        EXPECT_FALSE(
            Run("int b = 5;\nMfgTest_BrightnessAtTarget(100, 200, 50, 40, 5, 1, b);\n", variables, error));
        EXPECT_THAT(error.c_str(), HasSubstr(" : Image preview is not active."));
        EXPECT_EQ(Get(variables, "b").integer, 5);
    }
    SetLivePreview(std::make_shared<vantelis::test::FakeLivePreview>());
    {
        VariableList variables;
        EString error;
        EXPECT_FALSE(
            Run("int b = 5;\nMfgTest_BrightnessAtTarget(100, 200, 50, 40, 4, 1, b);\n", variables, error));
        EXPECT_THAT(error.c_str(), HasSubstr(" : sz must be an odd number."));
        EXPECT_EQ(Get(variables, "b").integer, 5);
    }
    // Nothing measures within the second: the call succeeds with the last value measured (none).
    VariableList variables;
    EString error;
    ASSERT_TRUE(Run("int b = 5;\nMfgTest_BrightnessAtTarget(100, 200, 50, 40, 5, 1, b);\n", variables, error))
        << error.c_str();
    EXPECT_EQ(Get(variables, "b").integer, 0);
}

} // namespace
