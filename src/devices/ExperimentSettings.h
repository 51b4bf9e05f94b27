#pragma once
// The fields of the experiment settings window: which key each control edits, what it shows for
// a missing key, and which texts are accepted when it is saved. Saving writes only the fields the
// user changed, so opening and closing the window leaves the settings file as it was.
#include "Ostravo/EString.h"

#include <map>
#include <string>
#include <vector>

// exposureUs against the camera's limits ([<model> Settings] min_exposure_us / max_exposure_us
// of an initialised camera, else 29 and 1000000 us). Nonsensical limits fall back to those.
bool ValidateExposureForCamera(int exposureUs, EString &error);

struct ExperimentSettingField
{
    enum Kind
    {
        Check,       // check box, written "TRUE" / "FALSE"
        Text,        // any text
        FileName,    // valid file-name characters only
        Integer,     // "%d" within [low, high]
        Real,        // "%lf" within [low, high]
        Exposure,    // empty, or "%d" within the camera's exposure limits
        ScaleFactor, // empty, or "%lf" at least low and below high
        PumpGap,     // "%d" 0..1000, applied to the pump driver before it is written
    };
    int control = 0;
    const char *label = "";
    const char *section = "ExperimentSettings";
    const char *key = "";
    Kind kind = Text;
    double low = 0;
    double high = 0;
    const char *message = ""; // refusal text ("%s" takes the key)
    // What a missing key shows: the value its readers use, empty where they have none. For check
    // boxes "TRUE" when a missing key reads as checked.
    const char *missing = "";
};

// Every field in the order a save writes them.
const std::vector<ExperimentSettingField> &ExperimentSettingFields();

// The text (check boxes: "TRUE" or "FALSE") a field shows when the window opens.
std::string ShownExperimentSetting(const ExperimentSettingField &field);

// Whether text may be written for field; message gets the refusal otherwise. The pump gap is
// only checked here, not applied.
bool CheckExperimentSetting(const ExperimentSettingField &field, const std::string &text,
                            std::string &message);

// Writes the changed fields (control id to text) in the save order. A refused field is logged,
// shown in a message box and keeps its old value; the others are still written. The pump gap is
// applied to the pump driver first. Returns the number of refused fields.
int SaveExperimentSettings(const std::map<int, std::string> &changed);
