#pragma once
// The focus tool window ("Focus Tool"): scores the focus of the chosen images of a folder over a
// fixed region on a worker thread, each after a pause of half a second, and writes the scores with
// the milliseconds each took into a report named at the start of the run, opened as a spreadsheet
// at the end. Stop ends a run before its next image.
// Timer 1000, 500 ms after the last change of the folder or filter edit, refills the list and
// writes the settings.
#ifndef Q_MOC_RUN
#include "tools/FocusToolRun.h"
#endif
#include "tools/gui/ImageFolderBatchDlg.h"

class FocusToolDlg : public ImageFolderBatchDlg
{
    Q_OBJECT
  public:
    static constexpr int kBrowse = 1332;
    static constexpr int kImageList = 1221;
    static constexpr int kSettingsTimer = 1000;

    explicit FocusToolDlg();
    ~FocusToolDlg() override;

    void OnRun();

    // The pause before each image; 500 ms unless a test replaces it. Called on the worker thread.
    std::function<void()> m_wait;

  protected:
    void OnSettingChanged() override;
    void OnTimer(int id) override;
};
