#pragma once
// The contrast tool ("Contrast"): for the image file selected in its list it shows the intensity
// histograms of the four channel images of that position (brightfield, red, green, blue), each in
// a pane beside its channel combo, with a lower and an upper marker the user drags. The video
// tool opens it, hands it its folder, filter, channel words and ranges, and reads the four marker
// windows back once a second. All of it runs on the user-interface thread. One-shot timers:
//   1000 save the settings, 1001 refill the file list and the channel words, 1002 reload the
//   channel images.
// The window is hidden, never destroyed, until the program ends.
// moc cannot parse the C++20 headers behind these; it needs none of them.
#ifndef Q_MOC_RUN
#include "Ostravo/gui/IntensityControl.h"
#endif
#include "experiment/gui/ChannelImageWindow.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

class ContrastDlg : public ChannelImageWindow
{
    Q_OBJECT
  public:
    // The folder edit 1216, the filter 1217 and the channel combos 1389 .. 1392 are
    // ChannelImageWindow's.
    static constexpr int kBrowse = 1009;
    static constexpr int kFileList = 1363;
    static constexpr int kPaneLimit = 1400;

    static constexpr int kSaveTimer = 1000;
    static constexpr int kFillListTimer = 1001;
    static constexpr int kLoadImagesTimer = 1002;

    explicit ContrastDlg(QWidget *parent = nullptr);
    ~ContrastDlg() override;

    // Fills list 1363 of dialog (any window with the folder edit 1216 and the filter edit 1217) with
    // the files the folder and the filter find. False when the folder cannot be searched or nothing
    // matches; the list is emptied either way. An empty filter finds nothing.
    static bool FillImageList(QWidget *dialog);

    void LoadSettings();
    bool SaveSettings() override;
    void CollectChannelSuffixes() override;
    void OnBrowse();

    // The channel files of the selected name from the folder and the four combos; false (files
    // emptied) when the name does not follow the pattern prefix_channel_tail.
    bool BuildChannelFileNames(const std::string &selected);
    const std::string &ChannelFile(int c) const { return m_channel_files[c]; }
    // Hides the panes, then shows one beside each channel combo whose image could be read.
    bool LoadChannelImages();

    // Sets the window of pane channel; false and unchanged unless channel <= 3 and
    // 0 <= lower < upper <= 65535.
    bool SetLowerAndUpperIntensities(int channel, int32_t lower, int32_t upper);
    Ostravo::IntensityControl &Pane(int c) { return m_panes[c]; }
    const Ostravo::IntensityControl &Pane(int c) const { return m_panes[c]; }
    // The rows below a pane's frame that hold its markers.
    static QRect MarkerStrip(const Ostravo::IntensityControl &pane);

    void OnTimer(int id) override;

  protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

  private:
    void BuildControls();
    // The pane rectangle of channel c in window coordinates.
    Ostravo::IntensityControl::Rect PaneRect(int c) const;

    std::array<Ostravo::IntensityControl, 4> m_panes;
    std::array<std::string, 4> m_channel_files;
};
