#include "devices/DigitalIoMapping.h"

#include "Ostravo/ProfileValues.h"
#include "Ostravo/TextFormat.h"
#include "app/PlexorinApp.h"

#include <array>

DioLineAssignmentTable DioLineAssignment;

namespace {

constexpr const char *kSection = "DIO_Config";
constexpr int kSlotCount = 16;
constexpr int kFirstMissingSlot = 12; // port 1 has lines 0..3 only

const char *const kSignalNames[kDioSignalCount] = {"LED0", "LED1", "LED2", "LED3", "Cartridge", "Clamp"};

void Place(std::array<std::string, kSlotCount> &slots, int port, int line, const char *name)
{
    std::string &slot = slots[static_cast<size_t>(port * 8 + line)];
    if (!slot.empty())
        slot += " + ";
    slot += name;
}

} // namespace

int ReadDioConfigValue(const char *key, int fallback, int lowest, int highest)
{
    return Ostravo::ReadProfileIntInRange(kSection, key, fallback, lowest, highest,
                                          theApp.m_ini_path.c_str());
}

namespace {

// Reads and checks the mapping into read, appending one line per problem to error. Shows nothing:
// every caller reports the text it gets back.
void ReadMapping(DioLineAssignmentTable &read, EString &error)
{
    std::string mapping =
        Ostravo::ReadProfileString(kSection, "Mapping", "Interlock", 1023, theApp.m_ini_path.c_str());
    if (mapping.empty())
        mapping = "Interlock";
    const bool fluigent = CompareText(mapping.c_str(), "Fluigent", 0, 0);

    static const char *const kPortKeys[kDioSignalCount] = {"LED0_port", "LED1_port",      "LED2_port",
                                                           "LED3_port", "Cartridge_Port", "Clamp_Port"};
    static const char *const kLineKeys[kDioSignalCount] = {"LED0_line", "LED1_line",      "LED2_line",
                                                           "LED3_line", "Cartridge_Line", "Clamp_Line"};
    static const int kDefaultLines[kDioSignalCount] = {0, 1, 2, 3, 0, 0};
    for (int signal = 0; signal < kDioSignalCount; ++signal) {
        read.port[signal] = ReadDioConfigValue(kPortKeys[signal], 0, 0, 1);
        read.line[signal] = ReadDioConfigValue(kLineKeys[signal], kDefaultLines[signal], 0, 7);
        read.state_for_logic_high[signal] = 1;
    }
    read.state_for_logic_high[kDioCartridge] = ReadDioConfigValue("Cartridge_StateForLogicHigh", 1, 0, 1);
    read.state_for_logic_high[kDioClamp] = ReadDioConfigValue("Clamp_StateForLogicHigh", 1, 0, 1);

    std::array<std::string, kSlotCount> slots;
    for (int signal = kDioLed0; signal <= kDioLed3; ++signal)
        Place(slots, read.port[signal], read.line[signal], kSignalNames[signal]);
    if (!fluigent) {
        Place(slots, read.port[kDioCartridge], read.line[kDioCartridge], kSignalNames[kDioCartridge]);
        Place(slots, read.port[kDioClamp], read.line[kDioClamp], kSignalNames[kDioClamp]);
    } else {
        // This variant is not supported: it is refused with the text the caller shows.
        error.Append("Mapping Error in Plexorin.ini file.\n");
    }

    for (int slot = 0; slot < kSlotCount; ++slot) {
        const std::string &names = slots[static_cast<size_t>(slot)];
        if (names.empty())
            continue;
        const char *format = nullptr;
        if (slot >= kFirstMissingSlot)
            format =
                "D I/O invalid assignment, port 1 has only lines 0,1,2,3. %s assigned to port %ld line %ld\n";
        else if (names.find('+') != std::string::npos)
            format = "D I/O line assignment collision. %s assigned to port %ld line %ld\n";
        if (format)
            error.Append(
                FormatText(format, names.c_str(), static_cast<long>(slot / 8), static_cast<long>(slot % 8))
                    .c_str());
    }
}

} // namespace

bool LoadDigitalIoMapping(EString &error)
{
    if (theApp.m_analysis_mode)
        return true;

    DioLineAssignmentTable read;
    ReadMapping(read, error);
    if (error.IsNonEmpty())
        return false;
    DioLineAssignment = read;
    return true;
}

DioLineUse ConfiguredDioLineUse(int port, int line)
{
    DioLineAssignmentTable read;
    EString problems;
    ReadMapping(read, problems);
    if (problems.IsNonEmpty())
        return kDioLineUnused;
    for (int signal = 0; signal < kDioSignalCount; ++signal) {
        if (read.port[signal] == port && read.line[signal] == line)
            return signal <= kDioLed3 ? kDioLineOutput : kDioLineInput;
    }
    return kDioLineUnused;
}
