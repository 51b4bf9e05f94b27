#pragma once
// Experiment creation. An experiment is one folder that receives the images of a run, their
// capture log and a copy of the main settings file under which they were taken:
//   <DataDirectory>[/<yyyymmdd>]/<yyyymmdd-hhmm-ss_><name>/
//       ExperimentSettings.ini, Images/, <full name>.log, <type name>.bg.tif
// The current experiment is not held in memory: it is whatever [ExperimentSettings]
// ExperimentImageNamePrefix, ExperimentFullName, ExperimentDirectory and ExperimentFile of the main
// settings file name.
#include "Ostravo/EString.h"

// Creates the folder, records it as the current experiment, copies the main settings file into
// it, imposes the current cartridge's offsets on both files, refreshes the settings backup and
// makes the Images folder. The experiment folder is always a new one: when a folder of that name
// exists already (a second creation within the same second), "_2", "_3", ... is added to the full
// name. False with the reason in error.
bool SetupNewExperiment(EString name, EString &error);
// Appends "_Resumed" to ExperimentImageNamePrefix; images saved afterwards carry the longer prefix.
bool MarkExperimentResumed(EString &error);
