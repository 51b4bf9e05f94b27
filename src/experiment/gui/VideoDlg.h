#pragma once
// The video tool ("Video"): the user picks an image folder and a filter, selects image files in
// the folder's list and writes them into an AVI video, either monochrome (the selected files in
// list order) or in colour, where each selected position contributes its brightfield image and up
// to three channel images named by the channel words of the four combos. The intensity windows of
// the colour channels come from the contrast tool, which this window opens and polls.
//
// A run takes a snapshot of the controls on the user-interface thread and hands it to one worker
// thread, which calls the video writer. The worker reaches the window only through PostToWindow;
// Stop only sets the flag the writer tests between frames. One-shot timers:
//   1000 refill the file list and the channel words, 1001 save the settings, 1002 copy the
//   contrast tool's windows into the range fields (again every second while that tool is shown).
// The window is hidden, never destroyed, until the program ends; destroying it stops and joins a
// running worker.
// moc cannot parse the C++20 headers behind these; it needs none of them.
#ifndef Q_MOC_RUN
#include "Ostravo/VideoWriter.h"
#include "experiment/ExperimentAnalysisServices.h"
#include "tools/gui/ImageSelectionDlg.h"
#endif
#include "experiment/gui/ChannelImageWindow.h"

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

class ContrastDlg;

class VideoDlg : public ChannelImageWindow
{
    Q_OBJECT
  public:
    // The folder edit 1216, the filter 1217 and the channel combos 1389 .. 1392 are
    // ChannelImageWindow's.
    static constexpr int kBrowse = 1332;
    static constexpr int kFileList = 1221;
    static constexpr int kVideoFile = 1219;
    static constexpr int kFps = 1388;
    static constexpr int kRange0 = 1401; // then 1402, 1403, 1404
    static constexpr int kMonochrome = 1394;
    static constexpr int kTrimToCustomerView = 1405;
    static constexpr int kPreview = 1398;
    static constexpr int kContrast = 1399;
    static constexpr int kCreate = 1387;
    static constexpr int kStop = 1037;
    static constexpr int kStatus = 1071;

    static constexpr int kFillListTimer = 1000;
    static constexpr int kSaveTimer = 1001;
    static constexpr int kContrastTimer = 1002;

    explicit VideoDlg(QWidget *parent = nullptr);
    // Stops and waits for a running video.
    ~VideoDlg() override;

    void LoadSettings();
    bool SaveSettings() override;
    void CollectChannelSuffixes() override;
    void OnBrowse();
    void OnPreview();
    void OnContrast();
    void OnCreateVideo();
    void OnStop() { m_stop = true; }
    // From the start of a run until its end has been posted back.
    bool IsRunning() const { return m_running; }
    // Waits for a running worker (its posted end is applied by the event loop).
    void WaitForWorker();

    // The lists handed to the writer by the last start.
    const Ostravo::ImageNameList &BrightfieldNames() const { return m_brightfield; }
    const Ostravo::ImageNameList &ChannelNames(int c) const;
    const std::string &VideoFile() const { return m_video_file; }
    double Fps() const { return m_fps; }

    // Runs the image selection grid over the items; true on OK. Tests replace it.
    std::function<bool(ImageFileItemArray &items)> m_run_selection_grid;
    // The contrast tool's window, made on first use. Tests may replace it.
    std::function<ContrastDlg *()> m_contrast_dialog;

    void OnTimer(int id) override;

  private:
    void BuildControls();
    void EnableRunControls(bool enable);
    void EnableChannelCombos();
    void CopyContrastWindows();
    void ReportError(const std::string &message);

    double m_fps = 0;
    std::string m_video_file;
    std::string m_image_folder;
    StopFlag m_stop{false};
    bool m_monochrome = true;
    Ostravo::ImageNameList m_brightfield, m_red, m_green, m_blue;
    std::atomic<bool> m_running{false};
    std::thread m_worker;
};

// The experiment services of the program: the analyses and the montage dialog, with the video
// and contrast tools as modeless windows made on first use.
class ExperimentWindowServices : public ExperimentAnalysisServices
{
  public:
    explicit ExperimentWindowServices(MontageDialogRunner dialog);
    ~ExperimentWindowServices() override;
    ModelessWindow &VideoTool() override;
    ModelessWindow &ContrastTool() override;
    VideoDlg *VideoDialog() const;
    ContrastDlg *ContrastDialog() const;

  private:
    std::unique_ptr<LazyToolWindow<VideoDlg>> m_video;
    std::unique_ptr<LazyToolWindow<ContrastDlg>> m_contrast;
};

// The contrast tool's window of the installed services, made (hidden) when it does not exist yet;
// null when the installed services have no such window.
ContrastDlg *TheContrastDlg();
