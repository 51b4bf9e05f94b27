#include "tools/gui/CountingToolWindows.h"

#include "app/Placeholders.h"
#include "tools/CountingParams.h"
#include "tools/gui/CountingAlgorithmDlg.h"

#include <atomic>

// The counting window is made on first use and then only shown and hidden.
class CountingToolWindows::CountingWindow : public ModelessWindow
{
  public:
    bool HasWindow() const override { return m_exists.load(); }
    bool Create(bool visible) override
    {
        if (!m_dialog) {
            m_dialog = std::make_unique<CountingAlgorithmDlg>();
            m_exists = true;
        }
        if (visible)
            Show(true);
        return true;
    }
    bool IsVisible() const override { return m_dialog && m_dialog->isVisible(); }
    void Show(bool show) override
    {
        if (!m_dialog)
            return;
        if (show) {
            m_dialog->show();
            m_dialog->raise();
            m_dialog->activateWindow();
        } else {
            m_dialog->hide();
        }
    }
    CountingAlgorithmDlg *Dialog() const { return m_dialog.get(); }

  private:
    std::unique_ptr<CountingAlgorithmDlg> m_dialog;
    std::atomic<bool> m_exists{false};
};

CountingToolWindows::CountingToolWindows() : m_counting(std::make_unique<CountingWindow>()) {}

CountingToolWindows::~CountingToolWindows() = default;

ModelessWindow &CountingToolWindows::CountingAlgorithm()
{
    return *m_counting;
}
ModelessWindow &CountingToolWindows::EpiCellCountingAlgo()
{
    return AnalysisToolWindowsPlaceholder().EpiCellCountingAlgo();
}
ModelessWindow &CountingToolWindows::ImageAnalysisTool()
{
    return AnalysisToolWindowsPlaceholder().ImageAnalysisTool();
}
ModelessWindow &CountingToolWindows::AlgoIterator()
{
    return AnalysisToolWindowsPlaceholder().AlgoIterator();
}
ModelessWindow &CountingToolWindows::FindMeniscus()
{
    return AnalysisToolWindowsPlaceholder().FindMeniscus();
}
ModelessWindow &CountingToolWindows::FocusTool()
{
    return AnalysisToolWindowsPlaceholder().FocusTool();
}
bool CountingToolWindows::ImageAnalysisRunning()
{
    return AnalysisToolWindowsPlaceholder().ImageAnalysisRunning();
}

void CountingToolWindows::ShowMagnetLine(bool lower)
{
    if (CountingAlgorithmDlg *dialog = m_counting->Dialog()) {
        if (lower)
            dialog->ShowLowerMagnet();
        else
            dialog->ShowUpperMagnet();
    }
    AnalysisToolWindowsPlaceholder().ShowMagnetLine(lower);
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
    // The epi editor's edits.
    AnalysisToolWindowsPlaceholder().ShowActiveRoi(roi);
}

CountingAlgorithmDlg *CountingToolWindows::CountingDialog() const
{
    return m_counting->Dialog();
}

std::shared_ptr<CountingToolWindows> InstallCountingToolWindows()
{
    auto windows = std::make_shared<CountingToolWindows>();
    InstallAnalysisToolWindows(windows);
    return windows;
}
