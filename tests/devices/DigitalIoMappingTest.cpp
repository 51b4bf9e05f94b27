// The digital I/O mapping over small [DIO_Config] sections: defaults, clamps, the refused
// variant and the messages for unreachable and shared lines.
#include "devices/DigitalIoMapping.h"

#include "app/PlexorinApp.h"
#include "support/FakeUi.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>

namespace vantelis::test {
namespace {

class DigitalIoMappingTest : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        m_savedIni = theApp.m_ini_path;
        m_savedMode = theApp.m_analysis_mode;
        theApp.m_ini_path = dir.file("Plexorin.ini");
        theApp.m_analysis_mode = false;
        DioLineAssignment = DioLineAssignmentTable{};
    }
    void TearDown() override
    {
        theApp.m_ini_path = m_savedIni;
        theApp.m_analysis_mode = m_savedMode;
        DioLineAssignment = DioLineAssignmentTable{};
    }
    void WriteSettings(const std::string &text)
    {
        std::ofstream(theApp.m_ini_path, std::ios::binary) << text;
    }

    TempDir dir;
    ScopedFakeUi ui;

  private:
    std::string m_savedIni;
    bool m_savedMode = false;
};

// The six signals spread over distinct port-0 lines: the base the cases below vary. The first
// of two equal keys counts, so a case puts its changes in front.
const char *const kSoundLines = "LED0_line=0\nLED1_line=1\nLED2_line=2\nLED3_line=3\n"
                                "Cartridge_Line=4\nClamp_Line=5\n";

struct FailingCase
{
    const char *name;
    std::string section; // body of [DIO_Config]
    std::string error;
};

TEST_F(DigitalIoMappingTest, RefusesUnreachableAndSharedLinesWithOneLinePerProblem)
{
    const FailingCase cases[] = {
        {"no section: LED0, Cartridge and Clamp all default to port 0 line 0", "",
         "D I/O line assignment collision. LED0 + Cartridge + Clamp assigned to port 0 line 0\n"},
        {"LED2 on port 1 line 5", std::string("LED2_port=1\nLED2_line=5\n") + kSoundLines,
         "D I/O invalid assignment, port 1 has only lines 0,1,2,3. LED2 assigned to port 1 line 5\n"},
        {"two LEDs on one missing port-1 line give only the invalid-line message",
         "LED0_port=1\nLED0_line=6\nLED1_port=1\nLED1_line=6\nLED2_line=2\nLED3_line=3\n"
         "Cartridge_Line=4\nClamp_Line=5\n",
         "D I/O invalid assignment, port 1 has only lines 0,1,2,3. LED0 + LED1 assigned to port 1 line 6\n"},
        {"several problems are reported together in slot order",
         "LED0_line=5\nLED1_line=1\nLED2_line=2\nLED3_port=1\nLED3_line=7\nCartridge_Line=1\nClamp_Line=5\n",
         "D I/O line assignment collision. LED1 + Cartridge assigned to port 0 line 1\n"
         "D I/O line assignment collision. LED0 + Clamp assigned to port 0 line 5\n"
         "D I/O invalid assignment, port 1 has only lines 0,1,2,3. LED3 assigned to port 1 line 7\n"},
        {"a port above 1 is clamped to 1 and a line above 7 to 7",
         std::string("LED1_port=5\nLED1_line=12\n") + kSoundLines,
         "D I/O invalid assignment, port 1 has only lines 0,1,2,3. LED1 assigned to port 1 line 7\n"},
        {"Fluigent in any case is refused; Cartridge and Clamp take no part then",
         "Mapping=fluigent\nLED0_line=0\nLED1_line=1\nLED2_line=2\nLED3_line=3\nCartridge_Line=2\nClamp_Line="
         "2\n",
         "Mapping Error in Plexorin.ini file.\n"},
    };
    for (const FailingCase &c : cases) {
        SCOPED_TRACE(c.name);
        WriteSettings("[DIO_Config]\n" + c.section);
        DioLineAssignment.port[kDioLed2] = 1; // a previous mapping, kept on failure
        EString error;
        EXPECT_FALSE(LoadDigitalIoMapping(error));
        EXPECT_EQ(std::string(error.c_str()), c.error);
        EXPECT_EQ(DioLineAssignment.port[kDioLed2], 1);
        EXPECT_EQ(DioLineAssignment.line[kDioLed0], 0);
    }
}

// Every caller shows the text it gets back, so the load shows no box of its own: the message
// appears once.
TEST_F(DigitalIoMappingTest, RefusedVariantIsReportedOnlyInTheReturnedText)
{
    WriteSettings(std::string("[DIO_Config]\nMapping=FLUIGENT\n") + kSoundLines);
    EString error;
    EXPECT_FALSE(LoadDigitalIoMapping(error));
    EXPECT_STREQ(error.c_str(), "Mapping Error in Plexorin.ini file.\n");
    EXPECT_TRUE(ui->Messages().empty());
}

struct SoundCase
{
    const char *name;
    std::string section;
    DioLineAssignmentTable expected;
};

TEST_F(DigitalIoMappingTest, SoundMappingIsPublishedWithDefaultsAndClamps)
{
    const SoundCase cases[] = {
        {"every key given",
         "Mapping=Interlock\nLED0_port=0\nLED0_line=0\nLED1_port=0\nLED1_line=1\nLED2_port=1\nLED2_line=2\n"
         "LED3_port=1\nLED3_line=3\nCartridge_Port=0\nCartridge_Line=6\nCartridge_StateForLogicHigh=0\n"
         "Clamp_Port=1\nClamp_Line=0\nClamp_StateForLogicHigh=1\n",
         {{0, 0, 1, 1, 0, 1}, {0, 1, 2, 3, 6, 0}, {1, 1, 1, 1, 0, 1}}},
        {"LED1_line not a number falls back to line 1; negative ports and states clamp to 0",
         "Mapping=\nLED1_line=x\nCartridge_Port=-3\nCartridge_Line=4\nClamp_Line=5\n"
         "Cartridge_StateForLogicHigh=-1\nClamp_StateForLogicHigh=7\n",
         {{0, 0, 0, 0, 0, 0}, {0, 1, 2, 3, 4, 5}, {1, 1, 1, 1, 0, 1}}},
        {"LED1_line=9 is clamped to 7, a line of -2 to 0",
         "LED0_line=-2\nLED1_line=9\nCartridge_Line=4\nClamp_Line=5\n",
         {{0, 0, 0, 0, 0, 0}, {0, 7, 2, 3, 4, 5}, {1, 1, 1, 1, 1, 1}}},
        {"an unknown variant is treated like Interlock",
         std::string("Mapping=Custom\n") + kSoundLines,
         {{0, 0, 0, 0, 0, 0}, {0, 1, 2, 3, 4, 5}, {1, 1, 1, 1, 1, 1}}},
    };
    for (const SoundCase &c : cases) {
        SCOPED_TRACE(c.name);
        WriteSettings("[DIO_Config]\n" + c.section);
        DioLineAssignment = DioLineAssignmentTable{};
        EString error;
        EXPECT_TRUE(LoadDigitalIoMapping(error)) << error.c_str();
        EXPECT_FALSE(error.IsNonEmpty());
        for (int signal = 0; signal < kDioSignalCount; ++signal) {
            SCOPED_TRACE(signal);
            EXPECT_EQ(DioLineAssignment.port[signal], c.expected.port[signal]);
            EXPECT_EQ(DioLineAssignment.line[signal], c.expected.line[signal]);
            EXPECT_EQ(DioLineAssignment.state_for_logic_high[signal],
                      c.expected.state_for_logic_high[signal]);
        }
    }
    EXPECT_TRUE(ui->Messages().empty());
}

TEST_F(DigitalIoMappingTest, AnalysisModeSucceedsWithoutReading)
{
    WriteSettings("[DIO_Config]\n"); // would collide on port 0 line 0
    theApp.m_analysis_mode = true;
    DioLineAssignment.line[kDioLed3] = 6;
    EString error;
    EXPECT_TRUE(LoadDigitalIoMapping(error));
    EXPECT_FALSE(error.IsNonEmpty());
    EXPECT_EQ(DioLineAssignment.line[kDioLed3], 6);
}

} // namespace
} // namespace vantelis::test
