#include "devices/PumpInformation.h"

#include "Ostravo/TecanCentris.h"

#include <cstdio>

const std::vector<std::string> &PumpReportCommandTable()
{
    // Texts are UTF-8: the degree sign is "\xC2\xB0".
    static const std::vector<std::string> table{
        "?0 : Report the absolute plunger position in increments.",
        "?1 : Report the actual plunger position in increments.",
        "?2 : Report the first plunger gap in increments.",
        "?3 : Report the second plunger gap in increments.",
        "?4 : Report the number of backlash increments.",
        "?6 : Report the start speed in increments per second.",
        "?7 : Report the top speed in increments per second.",
        "?8 : Report the cutoff speed in increments per second.",
        "?9 : Report the acceleration ramp slope code.",
        "?10 : Report the deceleration ramp slope code.",
        "?16 : Report the maximum plunger range in increments.",
        "?17 : Report the syringe volume in micro-liters.",
        "?18 : Report the plunger absolute position in microliters",
        "?20 : Report the valve position.",
        "?23 : Report the firmware part number and version.",
        "?29 : Reports the pump status (1 = busy or 0 = ready). This command is similar to the[Q0] command, "
        "but "
        "appends the status to the pump response to enable status queries in CAN communication.The error "
        "code "
        "returned with this command is the last registered error code.",
        "?30 : Report the state of digital input 1.",
        "?31 : Report the state of digital input 2.",
        "?36 : Report the start speed in microliters per second.",
        "?37 : Report the top speed in microliters per second.",
        "?38 : Report the cutoff speed in microliters per second.",
        "?40 : Report the total operating time.",
        "?41 : Report the number of power-ups.",
        "?42 : Report the number of plunger initializations.",
        "?43 : Report the number of plunger movements.",
        "?44 : Report the number of valve initializations.",
        "?45 : Report the number of valve movements.",
        "?46 : Report the number of valve movements since the last report.",
        "?47 : Report the plunger distance travelled.",
        "?48 : Report the plunger distance travelled since the last report.",
        "?50 : Report the 24 volt supply voltage.",
        "?51 : Report the 5 volt supply voltage.",
        "?52 : Report the 3.3 volt supply voltage.",
        "?53 : Reports the real-time pump temperature in \xC2\xB0"
        "F",
        "?54 : Reports the real-time pump temperature in \xC2\xB0"
        "C",
        "?55 : Reports the highest pump temperature recorded in \xC2\xB0"
        "C",
        "?60 : Report the firmware part number.",
        "?61 : Report the firmware version.",
        "?62 : Report the firmware date.",
        "?63 : Report the firmware checksum.",
        "?64 : Report the boot loader version.",
        "?65 : Report the number of firmware downloads.",
        "?67 : Report the command buffer status.",
        "?76 : Report the pump configuration.",
        "?80 : Report the stored command string s0.",
        "?81 : Report the stored command string s1.",
        "?82 : Report the stored command string s2.",
        "?83 : Report the stored command string s3.",
        "?84 : Report the stored command string s4.",
        "?85 : Report the stored command string s5.",
        "?86 : Report the stored command string s6.",
        "?87 : Report the stored command string s7.",
        "?88 : Report the stored command string s8.",
        "?89 : Report the stored command string s9.",
        "?90 : Report the stored command string s10.",
        "?91 : Report the stored command string s11.",
        "?92 : Report the stored command string s12.",
        "?93 : Report the stored command string s13.",
        "?94 : Report the stored command string s14.",
        "?95 : Report the stored command string s15.",
        "?96 : Report the self-test string.",
        "?99 : Report the loaded command string.",
    };
    return table;
}

bool ParseReportCommand(const std::string &text, uint32_t &number)
{
    if (text.empty() || text[0] != '?')
        return false;
    if (!((text.size() > 3 && text[3] == ':') || (text.size() > 4 && text[4] == ':')))
        return false;
    long value = 0;
    if (std::sscanf(text.c_str() + 1, "%ld", &value) != 1 || value < 0 || value > 99)
        return false;
    number = static_cast<uint32_t>(value);
    return true;
}

bool QueryPumpReports(int32_t port, uint32_t number, std::string &shown)
{
    EString replies[2];
    for (int pump = 1; pump <= 2; ++pump) {
        EString error;
        if (!TecanCentris::QueryReport(port, pump, number, replies[pump - 1], error)) {
            shown = error.IsNonEmpty() ? error.c_str() : "";
            return false;
        }
    }
    auto text = [](const EString &reply) { return std::string(reply.IsNonEmpty() ? reply.c_str() : ""); };
    shown = "pump1: " + text(replies[0]) + "\r\n" + "pump2: " + text(replies[1]);
    return true;
}
