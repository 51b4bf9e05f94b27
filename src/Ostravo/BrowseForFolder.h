#pragma once
// The folder picker that the tool windows' folder fields share.
#include "Ostravo/EString.h"

// Lets the user pick a folder, starting at path (the picker's default place when path is empty).
// True with the chosen folder in path; false on cancel, with path unchanged.
bool BrowseForFolder(EString &path, const char *title);
