#pragma once
// The meniscus finder window ("Find Meniscus"): finds the channel walls and the meniscus in the
// chosen images of a folder on a worker thread and writes a tab-separated report into that folder,
// named at the end of the search, which is then opened as a spreadsheet. Stop ends a run before
// its next image; the report then holds the images searched so far.
// Timers: 1000 writes the folder and filter settings, 1001 refills the list, both 1000 ms after
// the last change of either edit.
#include "tools/gui/ImageFolderBatchDlg.h"

class FindMeniscusDlg : public ImageFolderBatchDlg
{
    Q_OBJECT
  public:
    static constexpr int kBrowse = 1009;
    static constexpr int kImageList = 1363;
    static constexpr int kSaveSettingsTimer = 1000;
    static constexpr int kFillListTimer = 1001;

    explicit FindMeniscusDlg();
    ~FindMeniscusDlg() override;

    void OnRun();

  protected:
    void OnSettingChanged() override;
    void OnTimer(int id) override;
};
