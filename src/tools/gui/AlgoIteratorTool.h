#pragma once
// The counting parameter sweep window ("Algo Interator Tool"): the user picks a saved counting set,
// one of its numeric options with start, stop and step, and images of a folder; a worker thread
// counts every image at every value and writes the counts into AlgoIterTool_<end time>/
// AlgoIteratorTool.log inside the image folder, which is then opened. The fields are remembered in
// [AlgoIteratorTool] of the main settings file. One-shot timers: 1000 refill the image list,
// 1001 save the settings. The window is hidden, never destroyed, until the program ends.
#ifndef Q_MOC_RUN
#include "tools/CountingSweep.h"
#include "tools/gui/ToolWindowKit.h"
#endif

#include <functional>
#include <string>
#include <thread>

namespace algo_iterator_id {
constexpr int kParamSet = 1214;
constexpr int kEditParams = 1010;
constexpr int kParamName = 1231;
constexpr int kStart = 1276;
constexpr int kStop = 1277;
constexpr int kStep = 1278;
constexpr int kProgress = 1071;
constexpr int kDirectory = 1216;
constexpr int kBrowse = 1009;
constexpr int kFilter = 1217;
constexpr int kFiles = 1221;
constexpr int kRun = 1036;
constexpr int kStopButton = 1037;
} // namespace algo_iterator_id

class AlgoIteratorTool : public ToolWindow
{
    Q_OBJECT
  public:
    static constexpr int kFileListTimer = 1000;
    static constexpr int kSaveTimer = 1001;

    explicit AlgoIteratorTool(QWidget *parent = nullptr);
    // Stops a running sweep before its next count and waits for it.
    ~AlgoIteratorTool() override;

    bool LoadSettings();
    bool SaveSettings();
    // Checks the request and starts the sweep; all refusals are shown together.
    void OnRun();
    void OnStop();
    void OnBrowse();
    void OnEditParams();
    void DisableControls();
    void EnableControls();

    // Opens the written log; the application registered for ".xls" unless a test replaces it.
    std::function<void(const std::string &)> m_open_log;

  protected:
    void OnTimer(int id) override;

  private:
    void BuildControls();
    void RunSweep(CountingSweepRequest request);
    void JoinWorker();

    CountingSweepRequest m_request; // the last checked request; numbers keep their last good value
    std::atomic<bool> m_stop_requested{false};
    std::thread m_worker;
};
