#pragma once
// The parts of the application's and the main frame's commands that do not need a window: one
// capture of every active image type (the capture commands), one capture of the first image type
// for the script command that finds the split line's zero position, and choosing the active ROI by
// name for the tools.
#include "Ostravo/EString.h"

#include <string>

namespace cv {
class Mat;
}
class CPlexorinApp;

// Captures one image of image type 1 with its exposure into image; passThrough goes to the capture
// code unchanged. False with the reason in error (no camera, the camera's initialisation or the
// capture failed).
bool capture_single_active_image(cv::Mat &image, const EString &passThrough, EString &error,
                                 CPlexorinApp &app);

// Makes the named ROI of the ROI list the active ROI (the ROI manager shows it when it changed)
// and redraws every view; false, changing nothing, when the name is not in the list.
bool SelectDisplayRoiByName(const char *name);

// Commands 32815 and 32771: captures every active image type and saves them as a manual capture.
// A failure is logged and shown with the error icon.
void CaptureActiveImagesToFile();
