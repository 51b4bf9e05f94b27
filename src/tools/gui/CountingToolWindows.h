#pragma once
// The analysis tool windows as the main window and the image view reach them. The counting tool
// window is built; the other tools still answer through their placeholder.
#include "app/AnalysisToolWindows.h"

#include <memory>

class CountingAlgorithmDlg;

class CountingToolWindows : public AnalysisToolWindows
{
  public:
    CountingToolWindows();
    ~CountingToolWindows() override;

    ModelessWindow &CountingAlgorithm() override;
    ModelessWindow &EpiCellCountingAlgo() override;
    ModelessWindow &ImageAnalysisTool() override;
    ModelessWindow &AlgoIterator() override;
    ModelessWindow &FindMeniscus() override;
    ModelessWindow &FocusTool() override;
    bool ImageAnalysisRunning() override;
    void ShowMagnetLine(bool lower) override;
    void ShowActiveRoi(const ImageRect &roi) override;

    // theCountingAlgorithmDlg once its window exists; null before. User-interface thread.
    CountingAlgorithmDlg *CountingDialog() const;

  private:
    class CountingWindow;
    std::unique_ptr<CountingWindow> m_counting;
};

// Installs the tool windows; returns them.
std::shared_ptr<CountingToolWindows> InstallCountingToolWindows();
