#pragma once
// The analysis tool windows as the main window and the image view reach them. The counting tool
// window is built; the other tools still answer through their placeholder.
#include "app/AnalysisToolWindows.h"
#include "tools/gui/ToolWindowKit.h"

#include <memory>

class CountingAlgorithmDlg;
class ImageAnalysisToolDlg;
class AlgoIteratorTool;

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
    // theImageAnalysisToolDlg and theAlgoIteratorTool once their windows exist; null before.
    ImageAnalysisToolDlg *ImageAnalysisDialog() const;
    AlgoIteratorTool *AlgoIteratorWindow() const;

  private:
    class CountingWindow;
    std::unique_ptr<CountingWindow> m_counting;
    std::unique_ptr<LazyToolWindow<ImageAnalysisToolDlg>> m_imageAnalysis;
    std::unique_ptr<LazyToolWindow<AlgoIteratorTool>> m_algoIterator;
};

// Installs the tool windows; returns them.
std::shared_ptr<CountingToolWindows> InstallCountingToolWindows();
