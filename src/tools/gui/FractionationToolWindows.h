#pragma once
// The fractionation tool window: made on first use and kept, hidden or shown, until the program
// ends.
#include "app/ToolServices.h"

#include <memory>

class FractionationAnalysisDlg;

class FractionationToolWindow : public FractionationWindow
{
  public:
    FractionationToolWindow();
    ~FractionationToolWindow() override;

    ModelessWindow &Window() override;
    void GetCalibrationLines(int32_t lines[4]) override;
    bool SaveCalibrationLine(const char *key, int32_t row) override;
    bool LoadRunParams(ProjectionAnalysisParams &params, EString &error) override;

    // theFractionationAnalysisDlg once its window exists; null before. User-interface thread.
    FractionationAnalysisDlg *Dialog() const;

  private:
    class Lazy;
    std::unique_ptr<Lazy> m_window;
};

// Installs the fractionation tool window; returns it.
std::shared_ptr<FractionationToolWindow> InstallFractionationToolWindow();
