#pragma once
// The calibration dialogs: the pixels-per-millimetre dialog, modal and made for each measurement,
// and the adjust-boundaries dialog, modeless, made on first use and kept, hidden or shown, until the
// program ends.
#include "app/ToolServices.h"

#include <memory>

class AdjustBoundariesDlg;

class CalibrationDialogsOwner : public CalibrationWindows
{
  public:
    CalibrationDialogsOwner();
    ~CalibrationDialogsOwner() override;

    void RunComputePixelsPerMmDialog(double measuredLength) override;
    ModelessWindow &AdjustBoundaries() override;
    void InitAdjustBoundaries(CImageView *view) override;

    // The adjust-boundaries dialog once its window exists; null before. User-interface thread.
    AdjustBoundariesDlg *Boundaries() const;

  private:
    class BoundariesWindow;
    std::unique_ptr<BoundariesWindow> m_boundaries;
};

// Installs the dialogs as the calibration windows; returns their owner.
std::shared_ptr<CalibrationDialogsOwner> InstallCalibrationDialogsOwner();
