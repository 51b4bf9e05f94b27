#pragma once
// The wiring of the digital I/O unit: which port and line each of the six signals (LED0..LED3,
// the cartridge-inserted input and the clamp input) uses, read from [DIO_Config] of the main
// settings file and checked before anything may switch a line.
#include "Ostravo/EString.h"

#include <string>

// Signal indexes into the arrays of DioLineAssignment.
enum DioSignal : int
{
    kDioLed0 = 0,
    kDioLed1,
    kDioLed2,
    kDioLed3,
    kDioCartridge,
    kDioClamp,
    kDioSignalCount
};

struct DioLineAssignmentTable
{
    int port[kDioSignalCount] = {};
    int line[kDioSignalCount] = {};
    int state_for_logic_high[kDioSignalCount] = {};
};

// The last mapping that loaded without a problem (all zero before the first one). Written only by
// LoadDigitalIoMapping.
extern DioLineAssignmentTable DioLineAssignment;

// Reads [DIO_Config] of the main settings file, clamps out-of-range numbers, and refuses lines
// the hardware lacks (port 1 lines 4..7) and lines shared by two signals, appending one line per
// problem to error. Only when error is empty at the end is DioLineAssignment replaced. Does
// nothing and succeeds in analysis mode. Shows no message of its own: every caller shows the text
// (start-up, the configuration window, the script run and its command), so it appears once.
bool LoadDigitalIoMapping(EString &error);

// The numeric [DIO_Config] keys with their defaults and clamps, as the loader and the
// configuration window read them.
int ReadDioConfigValue(const char *key, int fallback, int lowest, int highest);

// What a line is wired for according to [DIO_Config] of the main settings file, read afresh and
// in every mode (analysis mode included), without a device: the line of an LED signal is an
// output, the line of the cartridge or clamp signal an input, any other line is unused. When the
// mapping has a problem that LoadDigitalIoMapping refuses (a shared line, a missing line, the
// unsupported variant) no line counts as wired. Shows no message.
enum DioLineUse : int
{
    kDioLineUnused = 0,
    kDioLineInput,
    kDioLineOutput
};
DioLineUse ConfiguredDioLineUse(int port, int line);
