#pragma once
// Small services of the application that other parts call: the settings file of an image folder,
// the camera's timing settings, the crash-dump banner and the serial-failure callback. The
// cartridge ROI is CPlexorinApp::GetCartridgeRoi (app/PlexorinApp.h).
#include "Ostravo/EString.h"

#include <csignal>
#include <cstdint>
#include <string>

// The command the main frame answers by re-initialising the serial devices.
constexpr int kReinitializeSerialDevicesCommand = 1364;

// folder/ExperimentSettings.ini when it exists, else folder/../ExperimentSettings.ini (as built)
// when that exists, else the empty text. A file whose name differs only in letter case is taken
// when neither exact name exists.
EString GetExperimentSettingsIniPath(EString folder);
// The camera's live refresh period from [<model> Settings] RefreshPeriodMs (100 when missing or
// unparsable); 0 without a camera, or when the camera cannot tell its model (its text in error).
int32_t GetRefreshPeriodMs(std::string &error);
// Sets theApp.m_min_capture_spacing_ms from [<model> Settings]
// min_time_between_image_capture_events_ms, kept within 100..1000; unchanged without a camera.
void GetMinTimeBetweenCaptureEvents();
// "Quorvane <product> <version> (<build date> <build time>)".
std::string BuildBanner();
// Hands the banner, the fault code and its details to the crash-dump writer; always true.
bool WriteBuildBanner(uint32_t code, const siginfo_t *information);
// The serial failure callback: clears SerialPortFailureCallback, so that one failure gives one
// command, and posts the re-initialise command with the port number to the main window. Always 1.
int OnSerialPortFailure(int comNumber);
