#pragma once
// The counting tool's parameter controls as values, and the files that hold them: the named sets
// LIB/<name>.counting_params and the unsaved-change copy Tmp/Params.ini, both written whole by one
// writer so that equal controls give equal bytes, and the [CountingAlgorithmDlg] keys of the main
// settings file.
#include <cstdint>
#include <map>
#include <string>
#include <vector>

// Control ids of the counting tool window.
namespace counting_id {
constexpr int kParamSetName = 1214;
constexpr int kSave = 1080;
constexpr int kCreateResultsFiles = 1215;
constexpr int kOpenSummary = 1216;
constexpr int kLeft = 1040;
constexpr int kRight = 1209;
constexpr int kTop = 1042;
constexpr int kBottom = 1210;
constexpr int kUpperMagnet = 1211;
constexpr int kLowerMagnet = 1212;
constexpr int kRun = 1036;
constexpr int kDone = 1043;
constexpr int kAutoRun = 1041;
constexpr int kEdgeProcessing = 1021;
constexpr int kMFilter1 = 1026;
constexpr int kMFilter2 = 1027;
constexpr int kObjectRadius1 = 1024;
constexpr int kObjectRadius2 = 1025;
constexpr int kObjectRadiusSweep1 = 1044;
constexpr int kObjectRadiusSweep2 = 1045;
constexpr int kMFilterSamples1 = 1030;
constexpr int kMFilterSamples2 = 1031;
constexpr int kMFilterThreshold1 = 1037;
constexpr int kMFilterThreshold2 = 1039;
constexpr int kUseInnerRing1 = 1022;
constexpr int kUseInnerRing2 = 1023;
constexpr int kCFilter1 = 1028;
constexpr int kCFilter2 = 1029;
constexpr int kCFilterThreshold1 = 1032;
constexpr int kCFilterThreshold2 = 1033;
constexpr int kCFilterMinSize1 = 1034;
constexpr int kCFilterMinSize2 = 1035;
constexpr int kProximityWithin1 = 1258;
constexpr int kProximityWithin2 = 1259;
constexpr int kProximityBetween = 1260;
constexpr int kRestoreImage = 1038;
} // namespace counting_id

// The values of the tool's check boxes and edits by control id, as the window holds them.
struct CountingControls
{
    std::map<int, bool> boxes;
    std::map<int, std::string> edits;

    // A box that is not there reads false, an edit that is not there reads empty.
    bool Box(int id) const;
    std::string Edit(int id) const;
};

// How a box takes a stored value: A leaves the box as it is for anything but TRUE or FALSE, B
// ticks it then.
enum class BoxRule
{
    None, // an edit
    A,
    B,
};

struct CountingParamKey
{
    const char *key;
    int control;
    BoxRule rule;
    const char *defaultText; // edits: the text a missing key gives
};

// The keys of a parameter set, in the order they are read and written.
const std::vector<CountingParamKey> &CountingParamKeys();

// The controls as a parameter-set file: [CountingAlgorithmDlg] and every key in order, boxes as
// TRUE or FALSE, edits as their text (at most 1022 characters, cut at a line end), CR LF.
std::string FormatCountingParams(const CountingControls &controls);

// Writes FormatCountingParams whole to path, replacing the file atomically. False with error when
// it cannot be written; the old file stays then.
bool WriteCountingParamsFile(const std::string &path, const CountingControls &controls, std::string &error);

// Writes every key into the [CountingAlgorithmDlg] section of an existing settings file, key by key
// (the main settings file holds other sections). False when a key could not be stored.
bool WriteCountingParamsKeys(const std::string &settingsPath, const CountingControls &controls);

// Fills the controls from a set file: edits get the stored text or their default; boxes follow
// their rule. A missing file gives the defaults.
void ReadCountingParamsFile(const std::string &path, CountingControls &controls);

// A stored TRUE or FALSE (any case) under a rule: the new state of a box that is now `current`.
bool BoxFromStoredText(const char *text, BoxRule rule, bool current);

// The controls a fresh set file holds: every edit's default, the A boxes clear, the B boxes ticked.
CountingControls DefaultCountingControls();

// The names of the sets in libFolder (*.counting_params, any case), each cut at its last '.', in
// the order of a sorted list box.
std::vector<std::string> CountingParamSetNames(const std::string &libFolder);

// A set or file name the user typed may only name a file in its folder: not empty, no path
// separator, no "..", only characters a file name can hold. False with the message to show.
bool ValidateSetName(const std::string &name, std::string &message);
