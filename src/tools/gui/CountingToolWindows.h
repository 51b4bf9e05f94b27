#pragma once
// The analysis tool windows as the main window and the image view reach them: the counting tool,
// the epi editor, the image-analysis tool, the parameter sweep, the meniscus finder and the focus
// tool, each made on first use.
#include "app/AnalysisToolWindows.h"
#include "tools/gui/ToolWindowKit.h"

#include <memory>

class CountingAlgorithmDlg;
class ImageAnalysisToolDlg;
class AlgoIteratorTool;
class EpiCellCountingAlgoDlg;
class FindMeniscusDlg;
class FocusToolDlg;

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
    // theEpiCellCountingAlgoDlg, theFindMeniscusDlg, theFocusToolDlg once their windows exist.
    EpiCellCountingAlgoDlg *EpiDialog() const;
    FindMeniscusDlg *MeniscusDialog() const;
    FocusToolDlg *FocusDialog() const;

  private:
    class CountingWindow;
    std::unique_ptr<CountingWindow> m_counting;
    std::unique_ptr<LazyToolWindow<ImageAnalysisToolDlg>> m_imageAnalysis;
    std::unique_ptr<LazyToolWindow<AlgoIteratorTool>> m_algoIterator;
    std::unique_ptr<LazyToolWindow<EpiCellCountingAlgoDlg>> m_epi;
    std::unique_ptr<LazyToolWindow<FindMeniscusDlg>> m_meniscus;
    std::unique_ptr<LazyToolWindow<FocusToolDlg>> m_focus;
};

// Installs the tool windows; returns them.
std::shared_ptr<CountingToolWindows> InstallCountingToolWindows();
