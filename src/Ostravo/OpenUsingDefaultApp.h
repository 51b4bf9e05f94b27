#pragma once
// Opening a file with the application the desktop has registered for a file type, as the analysis
// tools do with their result files (".xls") and the program with its logs (".txt").
#include "Ostravo/EString.h"

// Opens path with the application registered for extension (with or without its dot), or for the
// path's own extension when extension is null or empty, or when the given one has no
// registration. The path reaches the application as one argument, whatever blanks or quotes it
// holds; no shell is involved. When no registered command is found (the lookup's text goes to the
// error log) or it cannot be started, the desktop is asked to open the file (xdg-open) and the
// result is false. True when the registered command was started.
bool OpenUsingDefaultApp(const char *path, const char *extension = nullptr);

// The command registered for extension (a desktop entry's Exec line). False with one of the texts
// "Extension: <ext> is not registered.", "Extension: <ext> is registered.  But does not have
// action: open" or "Problem looking up information for extension: <ext> Windows registry may be
// corrupt.".
bool LookupShellCommand(const char *extension, EString &command, EString &error);
