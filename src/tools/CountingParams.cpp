#include "tools/CountingParams.h"

#include "Ostravo/EString.h"
#include "Ostravo/Profile.h"
#include "analysis/CountingAlgoOptions.h"
#include "platform/Files.h"
#include "platform/Utf8Text.h"
#include "tools/ImageFileList.h"

#include <algorithm>
#include <strings.h>

namespace {

constexpr size_t kMaxEditText = 1022;

std::string StoredEditText(const std::string &text)
{
    std::string value = text.substr(0, text.find_first_of("\r\n"));
    return platform::TruncateUtf8(value, kMaxEditText);
}

} // namespace

bool CountingControls::Box(int id) const
{
    auto it = boxes.find(id);
    return it != boxes.end() && it->second;
}

std::string CountingControls::Edit(int id) const
{
    auto it = edits.find(id);
    return it == edits.end() ? std::string() : it->second;
}

const std::vector<CountingParamKey> &CountingParamKeys()
{
    using namespace counting_id;
    static const std::vector<CountingParamKey> keys = {
        {"EdgeProcessing", kEdgeProcessing, BoxRule::A, nullptr},
        {"MFilter1", kMFilter1, BoxRule::A, nullptr},
        {"MFilter2", kMFilter2, BoxRule::A, nullptr},
        {"CFilter1", kCFilter1, BoxRule::A, nullptr},
        {"CFilter2", kCFilter2, BoxRule::A, nullptr},
        {"ObjectRadius1", kObjectRadius1, BoxRule::None, "13"},
        {"ObjectRadius2", kObjectRadius2, BoxRule::None, "4"},
        {"ObjectRadiusSweep1", kObjectRadiusSweep1, BoxRule::None, "0"},
        {"ObjectRadiusSweep2", kObjectRadiusSweep2, BoxRule::None, "0"},
        {"MFilterSamples1", kMFilterSamples1, BoxRule::None, "12"},
        {"MFilterSamples2", kMFilterSamples2, BoxRule::None, "8"},
        {"CFilterThreshold1", kCFilterThreshold1, BoxRule::None, "200"},
        {"CFilterThreshold2", kCFilterThreshold2, BoxRule::None, "100"},
        {"CFilterMinSize1", kCFilterMinSize1, BoxRule::None, "5"},
        {"CFilterMinSize2", kCFilterMinSize2, BoxRule::None, "1"},
        {"RestoreImage", kRestoreImage, BoxRule::A, nullptr},
        {"MFilterThreshold1", kMFilterThreshold1, BoxRule::None, "250"},
        {"MFilterThreshold2", kMFilterThreshold2, BoxRule::None, "250"},
        {"UseInnerRing1", kUseInnerRing1, BoxRule::B, nullptr},
        {"UseInnerRing2", kUseInnerRing2, BoxRule::B, nullptr},
        {"ProximityFilteringWithinType1", kProximityWithin1, BoxRule::B, nullptr},
        {"ProximityFilteringWithinType2", kProximityWithin2, BoxRule::B, nullptr},
        {"ProximityFilteringBetweenType1_2", kProximityBetween, BoxRule::B, nullptr},
        {"Left", kLeft, BoxRule::None, "100"},
        {"Right", kRight, BoxRule::None, "1000"},
        {"Top", kTop, BoxRule::None, "100"},
        {"Bottom", kBottom, BoxRule::None, "1000"},
    };
    return keys;
}

std::string FormatCountingParams(const CountingControls &controls)
{
    std::string text = std::string("[") + kCountingParamsSection + "]\r\n";
    for (const CountingParamKey &key : CountingParamKeys()) {
        const std::string value = key.rule == BoxRule::None ? StoredEditText(controls.Edit(key.control))
                                                            : (controls.Box(key.control) ? "TRUE" : "FALSE");
        text += std::string(key.key) + "=" + value + "\r\n";
    }
    return text;
}

bool WriteCountingParamsFile(const std::string &path, const CountingControls &controls, std::string &error)
{
    return platform::AtomicReplace(path, FormatCountingParams(controls), &error);
}

bool WriteCountingParamsKeys(const std::string &settingsPath, const CountingControls &controls)
{
    bool ok = true;
    for (const CountingParamKey &key : CountingParamKeys()) {
        const std::string value = key.rule == BoxRule::None ? StoredEditText(controls.Edit(key.control))
                                                            : (controls.Box(key.control) ? "TRUE" : "FALSE");
        ok = Ostravo::E_WritePrivateProfileString(kCountingParamsSection, key.key, value.c_str(),
                                                  settingsPath.c_str()) &&
             ok;
    }
    return ok;
}

bool BoxFromStoredText(const char *text, BoxRule rule, bool current)
{
    if (strcasecmp(text, "TRUE") == 0)
        return true;
    if (strcasecmp(text, "FALSE") == 0)
        return false;
    return rule == BoxRule::B ? true : current;
}

void ReadCountingParamsFile(const std::string &path, CountingControls &controls)
{
    for (const CountingParamKey &key : CountingParamKeys()) {
        if (key.rule == BoxRule::None) {
            char buffer[kMaxEditText + 1] = {0};
            Ostravo::E_GetPrivateProfileString(kCountingParamsSection, key.key, key.defaultText, buffer,
                                               sizeof(buffer), path.c_str());
            controls.edits[key.control] = buffer;
        } else {
            // Room for 8 characters: a longer value reads as empty and counts as neither.
            char buffer[9] = {0};
            Ostravo::E_GetPrivateProfileString(kCountingParamsSection, key.key, "", buffer, sizeof(buffer),
                                               path.c_str());
            controls.boxes[key.control] = BoxFromStoredText(buffer, key.rule, controls.Box(key.control));
        }
    }
}

CountingControls DefaultCountingControls()
{
    CountingControls controls;
    for (const CountingParamKey &key : CountingParamKeys()) {
        if (key.rule == BoxRule::None)
            controls.edits[key.control] = key.defaultText;
        else
            controls.boxes[key.control] = key.rule == BoxRule::B;
    }
    return controls;
}

std::vector<std::string> CountingParamSetNames(const std::string &libFolder)
{
    std::vector<std::string> names;
    for (const platform::DirEntry &entry : platform::ListFolder(libFolder, "*.counting_params")) {
        if (entry.isFolder)
            continue;
        names.push_back(entry.name.substr(0, entry.name.rfind('.')));
    }
    std::stable_sort(names.begin(), names.end(), ImageNameLess);
    return names;
}

bool ValidateSetName(const std::string &name, std::string &message)
{
    std::string reason;
    if (name.find_first_not_of(" \t") == std::string::npos)
        reason = "it is empty";
    else if (name.find_first_of("/\\") != std::string::npos)
        reason = "it holds a path separator";
    else if (name.find("..") != std::string::npos)
        reason = "it holds \"..\"";
    else if (!std::all_of(name.begin(), name.end(), IsValidFileNameChar))
        reason =
            "it holds a character that a file name cannot hold (\" & ' * : ? ` | or a control character)";
    if (reason.empty())
        return true;
    message = "Invalid name \"" + name + "\": " + reason + ".";
    return false;
}
