#pragma once
// The pump information dialog's commands: the syringe pumps' report commands ("?N") with a one-line
// description each, and the query of one report from both pumps.
#include "Ostravo/EString.h"

#include <cstdint>
#include <string>
#include <vector>

// The entries of the dialog's command list, in list order: "?N : description".
const std::vector<std::string> &PumpReportCommandTable();

// The report number of a command text: it begins with '?', has ':' as its fourth or fifth
// character and a number of at most 99 after the '?'. False (nothing to send) otherwise.
bool ParseReportCommand(const std::string &text, uint32_t &number);

// Sends report number to pump 1 and then pump 2 on port. Both answer: shown is
// "pump1: " reply 1 CR LF "pump2: " reply 2. The first failure stops there (pump 2 is not asked
// when pump 1 fails) and shown is that failure's text; false.
bool QueryPumpReports(int32_t port, uint32_t number, std::string &shown);
