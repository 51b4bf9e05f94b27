#pragma once
// What the main window and the image view ask of the counting and image-analysis tools: their
// global tool windows, whether an image analysis runs, and the edits that mirror the view's ROI
// and magnet lines. Until those tools are installed, a placeholder answers: no window can be made
// ("not available"), and nothing runs.
#include "app/ModelessWindow.h"
#include "app/ViewGlobals.h"

#include <memory>

class AnalysisToolWindows
{
  public:
    virtual ~AnalysisToolWindows() = default;

    virtual ModelessWindow &CountingAlgorithm() = 0;   // theCountingAlgorithmDlg
    virtual ModelessWindow &EpiCellCountingAlgo() = 0; // theEpiCellCountingAlgoDlg
    virtual ModelessWindow &ImageAnalysisTool() = 0;   // theImageAnalysisToolDlg
    virtual ModelessWindow &AlgoIterator() = 0;        // theAlgoIteratorTool
    virtual ModelessWindow &FindMeniscus() = 0;        // theFindMeniscusDlg
    virtual ModelessWindow &FocusTool() = 0;           // theFocusToolDlg
    // Whether the image-analysis tool's window exists with its Stop button enabled: a batch runs.
    virtual bool ImageAnalysisRunning() = 0;
    // Refreshes the counting dialog's lower or upper magnet edit when its window exists.
    virtual void ShowMagnetLine(bool lower) = 0;
    // Puts roi into the left, right, top and bottom edits ("%d") of the counting dialog and of the
    // epi editor, each when its window exists and is visible.
    virtual void ShowActiveRoi(const ImageRect &roi) = 0;
};

// The installed tools, or their placeholder.
AnalysisToolWindows &AnalysisTools();
// Installs tools (nullptr puts the placeholder back); returns the previous installed one.
std::shared_ptr<AnalysisToolWindows> InstallAnalysisToolWindows(std::shared_ptr<AnalysisToolWindows> tools);
