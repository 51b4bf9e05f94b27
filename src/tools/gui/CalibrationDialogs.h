#pragma once
// The two calibration dialogs of the image view.
//
// ComputePixelsPerMMDlg ("Compute image vertical pixels / millimeter", modal): the view measured a
// line over an object; the user types the object's height and Save stores rows per millimetre as
// [CalibrationSettings] image_pixels_per_mm of the main settings file. Timer 1000 follows the typed
// height every second; Save computes from the height as it is when pressed.
//
// AdjustBoundariesDlg ("Adjust Boundaries", modeless, hidden and shown): shows the magnet and
// channel spacings in millimetres and moves one line of a pair to a typed spacing. The view it
// was opened from may close at any time; the dialog then stops redrawing it.
#include "tools/gui/ToolWindowKit.h"

#include <QPointer>

#include <string>

class CImageView;

class ComputePixelsPerMMDlg : public ToolWindow
{
    Q_OBJECT
  public:
    static constexpr int kHeightMm = 1222;
    static constexpr int kHeightPixels = 1223;
    static constexpr int kGuidance = 1225;
    static constexpr int kSave = 1;
    static constexpr int kCancel = 2;
    static constexpr int kFollowTimer = 1000;

    ComputePixelsPerMMDlg(double measuredLength, std::string settingsPath);

    void OnInitDialog();
    // Stores the result for the height as typed now; false (nothing stored) when it is refused.
    bool OnOK();
    double Result() const { return m_result; }

  protected:
    void OnTimer(int id) override;

  private:
    void Follow();
    double m_measured;
    double m_result = 0.0;
    std::string m_settings;
};

class AdjustBoundariesDlg : public ToolWindow
{
    Q_OBJECT
  public:
    static constexpr int kMagnetSpacing = 1226;
    static constexpr int kMagnetAnchorTop = 1227;
    static constexpr int kMagnetAnchorBottom = 1228;
    static constexpr int kApplyMagnet = 1229;
    static constexpr int kChannelSpacing = 1230;
    static constexpr int kChannelAnchorTop = 1231;
    static constexpr int kChannelAnchorBottom = 1232;
    static constexpr int kApplyChannel = 1233;
    static constexpr int kFollowTimer = 1000;

    AdjustBoundariesDlg();

    void Init(CImageView *view);
    void OnApplyMagnetDistance();
    void OnApplyChannelDistance();
    std::string FormatMagnetDistance() const;
    std::string FormatChannelDistance() const;

  protected:
    void OnTimer(int id) override;

  private:
    void Apply(bool magnet);
    QPointer<CImageView> m_view;
};
