#pragma once
// The script commands for the stage, the focus stack and the temperatures.
#include "Ostravo/EString.h"
#include "platform/Clock.h"

#include <string>

// Installs the handlers. Call once during start-up, before the first script loads.
void RegisterStageCommands();

// Makes <dataDirectory>/<YYYYMMDD>/Stack<axis>_<YYYYMMDD-hhmmss> for a focus stack taken at now and
// gives its path. An empty data directory, a folder that cannot be made and a stack folder that
// already exists are refused.
bool MakeFocusStackFolder(const std::string &dataDirectory, const char *axis, const platform::LocalTime &now,
                          std::string &folder, EString &error);
// The file of one image of a stack: <folder>/<folder name>_<type name>_<axis><position in um>.png.
std::string FocusStackFileName(const std::string &folder, const std::string &typeName, const char *axis,
                               double positionMm);
