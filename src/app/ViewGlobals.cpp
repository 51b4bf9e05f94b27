#include "app/ViewGlobals.h"

namespace globals {
SharedValue<ImageRect> _active_roi;
SharedValue<ImageRect> _preview_roi;
SharedValue<ImageRect> EpiPreviewRoi;
SharedValue<CalibrationLines> _shown_calibration_lines;
SharedValue<SavedCalibrationLines> _saved_calibration_lines;
SharedValue<ClickPoint> _last_click;
std::atomic<bool> _roi_hidden{false};
std::atomic<bool> _draw_projection_below_roi{false};
std::atomic<bool> _draw_projection_right_of_roi{false};
std::string _display_settings_file;
platform::BinarySemaphore _image_access_lock;
SharedValue<FlowSplit> _flow_split;
} // namespace globals
