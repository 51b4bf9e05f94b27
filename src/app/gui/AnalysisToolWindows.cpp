// Placeholder for the counting and image-analysis tools until they are part of the build.
#include "app/gui/AnalysisToolWindows.h"

#include "Ostravo/LogError.h"

#include <mutex>
#include <set>
#include <string>

namespace {

constexpr const char *kWhat = "the counting and image-analysis tools are";

// Writes "<class>::<action>() - ... not available in this build." to the error log once per run.
void ReportNotAvailable(const std::string &function)
{
    static std::mutex mutex;
    static std::set<std::string> reported;
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (!reported.insert(function).second)
            return;
    }
    LogError(__FILE_NAME__, __LINE__, function + "() - " + kWhat + " not available in this build.");
}

class PlaceholderWindow : public ModelessWindow
{
  public:
    explicit PlaceholderWindow(const char *className) : m_class(className) {}
    bool HasWindow() const override { return false; }
    bool Create(bool) override
    {
        ReportNotAvailable(m_class + "::Create");
        return false;
    }
    bool IsVisible() const override { return false; }
    void Show(bool) override { ReportNotAvailable(m_class + "::ShowWindow"); }

  private:
    std::string m_class;
};

class PlaceholderAnalysisToolWindows : public AnalysisToolWindows
{
  public:
    ModelessWindow &CountingAlgorithm() override { return m_counting; }
    ModelessWindow &EpiCellCountingAlgo() override { return m_epi; }
    ModelessWindow &ImageAnalysisTool() override { return m_imageAnalysis; }
    ModelessWindow &AlgoIterator() override { return m_iterator; }
    ModelessWindow &FindMeniscus() override { return m_meniscus; }
    ModelessWindow &FocusTool() override { return m_focus; }
    bool ImageAnalysisRunning() override { return false; }

  private:
    PlaceholderWindow m_counting{"CountingAlgorithmDlg"};
    PlaceholderWindow m_epi{"EpiCellCountingAlgoDlg"};
    PlaceholderWindow m_imageAnalysis{"ImageAnalysisToolDlg"};
    PlaceholderWindow m_iterator{"AlgoIteratorTool"};
    PlaceholderWindow m_meniscus{"FindMeniscusDlg"};
    PlaceholderWindow m_focus{"FocusToolDlg"};
};

std::mutex &SlotMutex()
{
    static std::mutex mutex;
    return mutex;
}

std::shared_ptr<AnalysisToolWindows> &Installed()
{
    static std::shared_ptr<AnalysisToolWindows> installed;
    return installed;
}

} // namespace

AnalysisToolWindows &AnalysisTools()
{
    std::lock_guard<std::mutex> lock(SlotMutex());
    if (Installed())
        return *Installed();
    // Never destroyed: a window may still ask while the program ends.
    static PlaceholderAnalysisToolWindows *placeholder = new PlaceholderAnalysisToolWindows;
    return *placeholder;
}

std::shared_ptr<AnalysisToolWindows> InstallAnalysisToolWindows(std::shared_ptr<AnalysisToolWindows> tools)
{
    std::lock_guard<std::mutex> lock(SlotMutex());
    std::shared_ptr<AnalysisToolWindows> previous = std::move(Installed());
    Installed() = std::move(tools);
    return previous;
}
