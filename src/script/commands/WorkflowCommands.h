#pragma once
// The script commands that read and change the experiment settings of the capture workflow, start
// the recording workflow or a single capture, initialise the camera, find the cartridge channel in
// a fresh image, check file names and files, tell the computer name and the program version, and
// queue lines for the header of the experiment's capture log.
#include "Ostravo/EString.h"
#include "platform/Clock.h"

#include <string>

// Installs the handlers. Call once during start-up, before the first script loads.
void RegisterWorkflowCommands();

// One capture-log header line: "hh:mm:ss.mmm<TAB>text" with the time's clock fields.
std::string CaptureLogHeaderLine(const platform::LocalTime &time, const char *text);
