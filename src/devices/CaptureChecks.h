#pragma once
// The two questions a timed capture workflow asks before it starts (and the workflow timer may
// ask again): is there enough free disk space for the run, and is the capture period long enough
// for the active image types. Both read [ExperimentSettings] of the main settings file and answer
// true, or false with the text the caller shows.
#include "Ostravo/EString.h"

#include <cstdint>

// False with the not-enough-space question (Yes goes on) or the could-not-check text. The free
// space is that of the nearest existing folder of the data path, which need not exist yet.
bool CheckDiskSpaceForWorkflow(EString &message);
// Resets the capture event first; false when the period leaves less than 350 ms per active image
// type beside the total exposure.
bool CheckCapturePeriod(int captureNumber, EString &message);
