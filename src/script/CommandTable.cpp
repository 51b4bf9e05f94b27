#include "script/CommandTable.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <mutex>

namespace {

// Names by id.
const char *const kCommandNames[kCommandCount] = {
    "PromptInfo",                                        // 0
    "PromptContinueCancel",                              // 1
    "SetTopSpeed",                                       // 2
    "MoveToPosition",                                    // 3
    "TerminateMove",                                     // 4
    "SetPumpValveState",                                 // 5
    "SetPinchValveState",                                // 6
    "Wait",                                              // 7
    "EmptySyringe",                                      // 8
    "Dispense",                                          // 9
    "Aspirate",                                          // 10
    "WaitWhileSyringeIsMoving",                          // 11
    "InitializeSyringePump",                             // 12
    "SetSyringeVolume",                                  // 13
    "PromptForValue",                                    // 14
    "ResetPump",                                         // 15
    "ResetDIO",                                          // 16
    "ValidateDispense",                                  // 17
    "ValidateAspirate",                                  // 18
    "WaitWithTimer",                                     // 19
    "GetSyringeAspiratedVolume",                         // 20
    "SetBacklashSteps",                                  // 21
    "GetBacklashSteps",                                  // 22
    "SetChannelDivider",                                 // 23
    "GetAccelerationRate",                               // 24
    "SetAccelerationRate",                               // 25
    "StartRecordingWorkflow",                            // 26
    "StopRecordingWorkflow",                             // 27
    "SingleWorkflowImageCapture",                        // 28
    "PromptForString",                                   // 29
    "GetImageCapturePeriodMS",                           // 30
    "SetImageCapturePeriodMS",                           // 31
    "GetImageCaptureCount",                              // 32
    "SetImageCaptureCount",                              // 33
    "GetExperimentName",                                 // 34
    "SetExperimentName",                                 // 35
    "GetDataDirectory",                                  // 36
    "SetDataDirectory",                                  // 37
    "GetImageTypeDescription",                           // 38
    "SetImageTypeDescription",                           // 39
    "CaptureBackgroundImagesToMemory",                   // 40
    "GetNumberOfBackgroundImagesLoaded",                 // 41
    "SaveBackgroundImagesToFile",                        // 42
    "LoadBackgroundImagesFromFile",                      // 43
    "FG_SetFlowRates",                                   // 44
    "FG_SetPressures",                                   // 45
    "FG_RunState",                                       // 46
    "FG_Start",                                          // 47
    "FG_Stop",                                           // 48
    "ShowExperimentSettings",                            // 49
    "PromptForValueInt",                                 // 50
    "SaveTextToImageCaptureLogHeader",                   // 51
    "PromptCustom",                                      // 52
    "FG_SetValveState",                                  // 53
    "FG_GetValveState",                                  // 54
    "FG_SetMultiValveState",                             // 55
    "FG_GetPressures",                                   // 56
    "FG_GetFlowRates",                                   // 57
    "FG_StartRecordingVolume",                           // 58
    "FG_GetVolume",                                      // 59
    "FG_DispenseAtConstPressure",                        // 60
    "FG_DispenseAtConstFlowRate",                        // 61
    "FG_IsDispensing",                                   // 62
    "FG_Logging",                                        // 63
    "FG_SetSensorRegulation",                            // 64
    "FG_SetSensorCustomScale",                           // 65
    "FG_SetSensorRegulationResponse",                    // 66
    "FG_SetPressureResponse",                            // 67
    "FG_StopRecordingVolume",                            // 68
    "InformOperator",                                    // 69
    "FG_StopDispensing",                                 // 70
    "FG_SetFullVolumeCapacity",                          // 71
    "FG_SetInitialVolume",                               // 72
    "FG_ShowVolumeInFluigentView",                       // 73
    "CollectFocusStack",                                 // 74
    "RunImageAnalysis",                                  // 75
    "GetImageAnalysisRunStatus",                         // 76
    "DeleteImageAnalysisRunHandle",                      // 77
    "GetImageAnalysisRunFiles",                          // 78
    "CompareTwoDataFiles",                               // 79
    "OpenFileUsingDefaultApp",                           // 80
    "ZB_MoveToPosition_mm",                              // 81
    "ZB_MoveRelative_mm",                                // 82
    "ZB_GetPosition_mm",                                 // 83
    "ZB_WaitForMoveToFinish",                            // 84
    "CustomerUI_Login",                                  // 85
    "CustomerUI_SelectAction",                           // 86
    "CustomerUI_PromptInsertFlowcell",                   // 87
    "CustomerUI_PipetteSample",                          // 88
    "CustomerUI_SampleLoading",                          // 89
    "CustomerUI_SampleEquilibrating",                    // 90
    "CustomerUI_SelectFlowSplitPosition",                // 91
    "CustomerUI_SampleFlowing",                          // 92
    "CustomerUI_SampleBeingCollected",                   // 93
    "CustomerUI_DefineFlowSplitRange",                   // 94
    "GetCartridgeState",                                 // 95
    "GetClampState",                                     // 96
    "CustomerUI_SetErrorMessage",                        // 97
    "IsCameraAvailable",                                 // 98
    "CustomerUI_SetTextLine",                            // 99
    "CustomerUI_ShowVideo",                              // 100
    "CustomerUI_PromptForInput",                         // 101
    "CustomerUI_SetInput",                               // 102
    "CustomerUI_GetTextEditFieldContents",               // 103
    "CustomerUI_SetTimer",                               // 104
    "IsTecanPumpAvailable",                              // 105
    "CustomerUI_GetFlowSplit",                           // 106
    "CustomerUI_SetNextButtonText",                      // 107
    "CustomerUI_SetBackButtonText",                      // 108
    "CustomerUI_ShowSplitFlowLine",                      // 109
    "CustomerUI_PromptInfo",                             // 110
    "CustomerUI_SetImage",                               // 111
    "MfgTest_BrightnessAtTarget",                        // 112
    "MfgTest_ShowSymbolOverVideo",                       // 113
    "MfgTest_RemoveAllSymbolsOverVideo",                 // 114
    "MfgTest_CreateSymbolType",                          // 115
    "MfgTest_AddPointToSymbolType",                      // 116
    "CustomerUI_SetBackgroundColor",                     // 117
    "CustomerUI_SetDefaultTextColor",                    // 118
    "CustomerUI_SetHilightTextColor",                    // 119
    "CustomerUI_SetImagePreviewZoomInArea",              // 120
    "CustomerUI_TriggerEventWhenPumpStopsMoving",        // 121
    "CustomerUI_RestoreDefaultState",                    // 122
    "ZB_Home",                                           // 123
    "CustomerUI_DefineGroupBox",                         // 124
    "CustomerUI_AddActionButtonLine",                    // 125
    "CustomerUI_DefineActionButtonWidth",                // 126
    "CustomerUI_DefineActionButtonBackgroundColors",     // 127
    "CustomerUI_DefineActionButtonTextColors",           // 128
    "CustomerUI_DefineActionButtonFont",                 // 129
    "CustomerUI_DefineActionButtonCornerRadius",         // 130
    "CustomerUI_DefineActionButtonVerticalSpacing",      // 131
    "CustomerUI_StopTimer",                              // 132
    "ShowFluidicSystemState",                            // 133
    "StringToInt",                                       // 134
    "StringToDouble",                                    // 135
    "GetTemperatures",                                   // 136
    "CustomerUI_ShowNext",                               // 137
    "CustomerUI_ShowBack",                               // 138
    "CustomerUI_HideNext",                               // 139
    "CustomerUI_HideBack",                               // 140
    "CustomerUI_SetNextImages",                          // 141
    "CustomerUI_SetBackImages",                          // 142
    "SaveTextToLogFile",                                 // 143
    "CustomerUI_GetTimerInfo",                           // 144
    "ZaberControlPanel",                                 // 145
    "StopLiveImageCapture",                              // 146
    "GetSystemInfo",                                     // 147
    "ParseBarCode",                                      // 148
    "ROI_Hide",                                          // 149
    "ROI_Show",                                          // 150
    "ROI_ChooseByName",                                  // 151
    "ROI_DrawProjectionBelow",                           // 152
    "ROI_DrawProjectionRightSide",                       // 153
    "CustomerUI_SetTopLinePos",                          // 154
    "CustomerUI_SetActionsTopLinePos",                   // 155
    "ReadStoredString",                                  // 156
    "StrLen",                                            // 157
    "StrLeft",                                           // 158
    "StrRight",                                          // 159
    "StrReplace",                                        // 160
    "TestPumps",                                         // 161
    "GetCurrentTimeAsString",                            // 162
    "InitializeCamera",                                  // 163
    "WriteStoredString",                                 // 164
    "PlaySound",                                         // 165
    "CustomerUI_SetFlowSplit",                           // 166
    "ROI_Exists",                                        // 167
    "ROI_Read",                                          // 168
    "ROI_Write",                                         // 169
    "ROI_Remove",                                        // 170
    "OpenCreateVideoTool",                               // 171
    "DIO_Reset",                                         // 172
    "DIO_ConfigureLine",                                 // 173
    "DIO_GetLineConfiguration",                          // 174
    "DIO_RestoreDefaultState",                           // 175
    "DIO_GetInputLineState",                             // 176
    "DIO_SetOutputLineState",                            // 177
    "GetCartridgeTypeFromBarCode",                       // 178
    "SetCurrentBarCode",                                 // 179
    "CustomerUI_PromptForInputChecks",                   // 180
    "CustomerUI_SetCheckboxInput",                       // 181
    "CustomerUI_GetCheckBoxState",                       // 182
    "CustomerUI_GetCartridgeOffset",                     // 183
    "CustomerUI_CreateExperiment",                       // 184
    "CustomerUI_SetupResumeExperiment",                  // 185
    "CustomerUI_GetAdminModeStatus",                     // 186
    "CustomerUI_CreateINIBackup",                        // 187
    "CustomerUI_SetTitle",                               // 188
    "CustomerUI_ContinueTimer",                          // 189
    "IsStringInt",                                       // 190
    "CustomerUI_PromptForInputFilename",                 // 191
    "CustomerUI_SetInputFilename",                       // 192
    "CustomerUI_SetSelectionActionTitle",                // 193
    "CustomerUI_GetImageFileForContrastAdjustment",      // 194
    "CustomerUI_FluoChannelCheck",                       // 195
    "CustomerUI_FusedImageCheck",                        // 196
    "IsFilenameValid",                                   // 197
    "CustomerUI_PromptForAnalysis",                      // 198
    "CustomerUI_GetGUISize",                             // 199
    "CustomerUI_PromptForMontageAndFractionationReport", // 200
    "CustomerUI_IsExperimentSettingFileValid",           // 201
    "IsFileExist",                                       // 202
    "AutoDetectSplitLineZeroPosition",                   // 203
    "StartDisplayRotationCorrectedImages",               // 204
    "EndDisplayRotationCorrectedImages",                 // 205
};

std::vector<CommandTableEntry> &Table()
{
    static std::vector<CommandTableEntry> table;
    return table;
}

std::array<CommandHandler, kCommandCount> &Handlers()
{
    static std::array<CommandHandler, kCommandCount> handlers;
    return handlers;
}

bool ByteLess(const std::string &a, const std::string &b)
{
    // std::string compares through char_traits<char>, which orders as unsigned bytes.
    return a.compare(b) < 0;
}

} // namespace

bool AddCommandName(std::vector<CommandTableEntry> &table, const char *name, int &nextId)
{
    table.push_back({name, nextId});
    ++nextId;
    return true;
}

void BuildCommandTable()
{
    static std::once_flag once;
    std::call_once(once, [] {
        auto &table = Table();
        table.reserve(kCommandCount);
        int id = 0;
        for (; id < 49; ++id)
            table.push_back({kCommandNames[id], id});
        while (id < kCommandCount)
            AddCommandName(table, kCommandNames[id], id);
        std::sort(table.begin(), table.end(), [](const CommandTableEntry &a, const CommandTableEntry &b) {
            return ByteLess(a.name, b.name);
        });
    });
}

const std::vector<CommandTableEntry> &CommandTable()
{
    BuildCommandTable();
    return Table();
}

int FindCommandId(const char *name)
{
    const auto &table = CommandTable();
    if (table.empty() || name == nullptr)
        return -1;
    const auto it =
        std::lower_bound(table.begin(), table.end(), name,
                         [](const CommandTableEntry &e, const char *n) { return e.name.compare(n) < 0; });
    if (it == table.end() || it->name.compare(name) != 0)
        return -1;
    return static_cast<int>(it - table.begin());
}

const char *CommandName(int id)
{
    return (id >= 0 && id < kCommandCount) ? kCommandNames[id] : "";
}

bool RegisterCommandHandler(int id, CommandHandler handler)
{
    if (id < 0 || id >= kCommandCount || IsDispatcherCommand(id))
        return false;
    Handlers()[static_cast<size_t>(id)] = std::move(handler);
    return true;
}

const CommandHandler &RegisteredCommandHandler(int id)
{
    static const CommandHandler none;
    if (id < 0 || id >= kCommandCount)
        return none;
    return Handlers()[static_cast<size_t>(id)];
}
