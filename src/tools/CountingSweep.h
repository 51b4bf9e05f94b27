#pragma once
// The counting parameter sweep: one numeric option of a saved counting set is stepped from a start
// to a stop value, every selected image of a folder is counted once per value, and all counts go
// into a tab-separated log in a new folder AlgoIterTool_<end time> inside the image folder.
//
// The window checks the request on the user-interface thread (CheckCountingSweep), its worker runs
// the counts (RunCountingSweep) and writes the log (WriteCountingSweepLog).
#include "platform/Clock.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// The ten options the sweep offers, in the order its list shows them.
const std::vector<std::string> &CountingSweepOptionNames();

// The window's controls as the user left them when Run was pressed.
struct CountingSweepTexts
{
    std::string set_name;   // parameter set, a name in <data>/LIB
    std::string param_name; // option to sweep
    std::string start, stop, step;
    std::string directory;          // image folder
    std::vector<std::string> files; // selected names, in list order
};

// A checked sweep. The numbers keep their last accepted value when a later text does not parse.
struct CountingSweepRequest
{
    std::string param_set_path;
    std::vector<std::string> files;
    std::string directory;
    std::string param_name;
    double start = 0.0;
    double stop = 0.0;
    double step = 0.0;
};

// Checks texts and fills request. dataFolder is the folder of the main settings file, which also
// holds the scale. Returns every refusal, in the order the user is told them; empty when the sweep
// may start.
std::vector<std::string> CheckCountingSweep(const CountingSweepTexts &texts, const std::string &dataFolder,
                                            CountingSweepRequest &request);

// The number of values a checked request sweeps: start, start + step, ... up to and including the
// last value that does not pass stop, that is trunc((stop - start) / step) + 1, a quotient within
// rounding of a whole number counting as that number (0 to 0.3 by 0.1 has four levels).
int32_t CountingSweepLevels(const CountingSweepRequest &request);

// Progress of a running sweep: file i of files, value j of levels, all counted from 1.
using CountingSweepProgress = std::function<void(int32_t file, int32_t files, int32_t level, int32_t levels)>;

// Counts every image of request at every level and returns the log lines (without the computer
// name line). stop is tested before every image and every level; the lines counted so far are
// returned then. mainSettingsPath gives the scale.
std::vector<std::string> RunCountingSweep(const CountingSweepRequest &request,
                                          const std::string &mainSettingsPath, const std::atomic<bool> &stop,
                                          const CountingSweepProgress &progress);

// The folder of a sweep that ended at time: AlgoIterTool_YYYYMMDD_HHMMSS inside the trimmed image
// folder (the name alone when the folder is blank).
std::string CountingSweepFolderName(const std::string &directory, const platform::LocalTime &time);

// Makes a new output folder for a sweep that ended at time (a sweep that ended in the same second
// keeps its own folder, so this one gets "_2", "_3", ... appended) and writes the log into it:
// "# ComputerName=" and every line, CR LF. False with the message for the user when no folder or
// no complete log could be written.
bool WriteCountingSweepLog(const std::string &directory, const platform::LocalTime &time,
                           const std::string &computerName, const std::vector<std::string> &lines,
                           std::string &logPath, std::string &error);
