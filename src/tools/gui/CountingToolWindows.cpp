#include "tools/gui/CountingToolWindows.h"

#include "app/Placeholders.h"
#include "tools/CountingParams.h"
#include "tools/gui/AlgoIteratorTool.h"
#include "tools/gui/CountingAlgorithmDlg.h"
#include "tools/gui/EpiCellCountingAlgoDlg.h"
#include "tools/gui/FindMeniscusDlg.h"
#include "tools/gui/FocusToolDlg.h"
#include "tools/gui/ImageAnalysisToolDlg.h"
#include "tools/gui/ToolWindowKit.h"

class CountingToolWindows::CountingWindow : public LazyToolWindow<CountingAlgorithmDlg>
{
  public:
    CountingWindow() : LazyToolWindow([] { return std::make_unique<CountingAlgorithmDlg>(); }) {}
    CountingAlgorithmDlg *Dialog() const { return Window(); }
};

CountingToolWindows::CountingToolWindows()
    : m_counting(std::make_unique<CountingWindow>()),
      m_imageAnalysis(std::make_unique<LazyToolWindow<ImageAnalysisToolDlg>>(
          [] { return std::make_unique<ImageAnalysisToolDlg>(); })),
      m_algoIterator(std::make_unique<LazyToolWindow<AlgoIteratorTool>>(
          [] { return std::make_unique<AlgoIteratorTool>(); })),
      m_epi(std::make_unique<LazyToolWindow<EpiCellCountingAlgoDlg>>(
          [] { return std::make_unique<EpiCellCountingAlgoDlg>(); })),
      m_meniscus(std::make_unique<LazyToolWindow<FindMeniscusDlg>>(
          [] { return std::make_unique<FindMeniscusDlg>(); })),
      m_focus(std::make_unique<LazyToolWindow<FocusToolDlg>>([] { return std::make_unique<FocusToolDlg>(); }))
{
}

CountingToolWindows::~CountingToolWindows() = default;

ModelessWindow &CountingToolWindows::CountingAlgorithm()
{
    return *m_counting;
}
ModelessWindow &CountingToolWindows::EpiCellCountingAlgo()
{
    return *m_epi;
}
ModelessWindow &CountingToolWindows::ImageAnalysisTool()
{
    return *m_imageAnalysis;
}
ModelessWindow &CountingToolWindows::AlgoIterator()
{
    return *m_algoIterator;
}
ModelessWindow &CountingToolWindows::FindMeniscus()
{
    return *m_meniscus;
}
ModelessWindow &CountingToolWindows::FocusTool()
{
    return *m_focus;
}
bool CountingToolWindows::ImageAnalysisRunning()
{
    // A batch runs while the tool's Stop button is enabled.
    const ImageAnalysisToolDlg *dialog = m_imageAnalysis->Window();
    return dialog != nullptr && dialog->Running();
}

void CountingToolWindows::ShowMagnetLine(bool lower)
{
    if (CountingAlgorithmDlg *dialog = m_counting->Dialog()) {
        if (lower)
            dialog->ShowLowerMagnet();
        else
            dialog->ShowUpperMagnet();
    }
}

void CountingToolWindows::ShowActiveRoi(const ImageRect &roi)
{
    CountingAlgorithmDlg *dialog = m_counting->Dialog();
    if (dialog && dialog->isVisible()) {
        dialog->SetControlText(counting_id::kLeft, std::to_string(roi.left));
        dialog->SetControlText(counting_id::kRight, std::to_string(roi.right));
        dialog->SetControlText(counting_id::kTop, std::to_string(roi.top));
        dialog->SetControlText(counting_id::kBottom, std::to_string(roi.bottom));
    }
    if (EpiCellCountingAlgoDlg *epi = m_epi->Window())
        epi->ShowActiveRoi(roi.left, roi.top, roi.right, roi.bottom);
}

CountingAlgorithmDlg *CountingToolWindows::CountingDialog() const
{
    return m_counting->Dialog();
}

ImageAnalysisToolDlg *CountingToolWindows::ImageAnalysisDialog() const
{
    return m_imageAnalysis->Window();
}

AlgoIteratorTool *CountingToolWindows::AlgoIteratorWindow() const
{
    return m_algoIterator->Window();
}

EpiCellCountingAlgoDlg *CountingToolWindows::EpiDialog() const
{
    return m_epi->Window();
}

FindMeniscusDlg *CountingToolWindows::MeniscusDialog() const
{
    return m_meniscus->Window();
}

FocusToolDlg *CountingToolWindows::FocusDialog() const
{
    return m_focus->Window();
}

std::shared_ptr<CountingToolWindows> InstallCountingToolWindows()
{
    auto windows = std::make_shared<CountingToolWindows>();
    InstallAnalysisToolWindows(windows);
    return windows;
}
