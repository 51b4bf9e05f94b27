#pragma once
// The script commands that give the local time as a text, append time-stamped lines to a log file
// of the script's choice and play sounds from the data folder.

// Installs the handlers of GetCurrentTimeAsString, SaveTextToLogFile and PlaySound. Call once
// during start-up, before the first script loads.
void RegisterLogTimeSoundCommands();
