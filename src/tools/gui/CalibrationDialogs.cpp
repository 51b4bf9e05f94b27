#include "tools/gui/CalibrationDialogs.h"

#include "Ostravo/EString.h"
#include "Ostravo/Profile.h"
#include "app/PlexorinApp.h"
#include "app/RenderList.h"
#include "app/ViewGlobals.h"
#include "app/gui/ImageView.h"
#include "tools/CalibrationMath.h"

#include <QButtonGroup>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include <cstdio>
#include <strings.h>

namespace {

std::string Format(const char *format, double value)
{
    char text[128];
    snprintf(text, sizeof text, format, value);
    return text;
}

} // namespace

// ---- Pixels per millimetre ----

ComputePixelsPerMMDlg::ComputePixelsPerMMDlg(double measuredLength, std::string settingsPath)
    : ToolWindow("Compute image vertical pixels / millimeter"), m_measured(measuredLength),
      m_settings(std::move(settingsPath))
{
    auto *grid = new QGridLayout(this);
    grid->addWidget(new QLabel("Height of selected object  (mm)", this), 0, 0);
    grid->addWidget(AddControl(kHeightMm, new QLineEdit(this)), 0, 1);
    grid->addWidget(new QLabel("Height of selected object (image pixels)", this), 1, 0);
    auto *pixels = AddControl(kHeightPixels, new QLineEdit(this));
    pixels->setReadOnly(true);
    grid->addWidget(pixels, 1, 1);
    auto *guidance = AddControl(kGuidance, new QLabel(this));
    guidance->setMinimumWidth(420);
    grid->addWidget(guidance, 2, 0, 1, 2);
    auto *save = AddControl(kSave, new QPushButton("Save", this));
    save->setDefault(true);
    save->setEnabled(false);
    auto *cancel = AddControl(kCancel, new QPushButton("Cancel", this));
    grid->addWidget(save, 3, 0);
    grid->addWidget(cancel, 3, 1);
    connect(save, &QPushButton::clicked, this, [this] { OnOK(); });
    connect(cancel, &QPushButton::clicked, this, [this] { reject(); });
}

void ComputePixelsPerMMDlg::OnInitDialog()
{
    SetControlText(kHeightPixels, Format("%5.3lf", m_measured));
    RestartTimer(kFollowTimer, 1000);
}

void ComputePixelsPerMMDlg::OnTimer(int id)
{
    if (id != kFollowTimer)
        return;
    Follow();
    RestartTimer(kFollowTimer, 1000);
}

void ComputePixelsPerMMDlg::Follow()
{
    m_result = PixelsPerMmFor(m_measured, ControlText(kHeightMm));
    if (m_result > 0.0) {
        SetControlText(kSave, Format("Save New image_pixels_per_mm = %5.3lf", m_result));
        EnableControl(kSave, true);
        const double current = ReadPixelsPerMm(m_settings, kNoPixelsPerMm);
        if (current != 0.0)
            SetControlText(kGuidance,
                           Format("Current [CalibrationSettings] image_pixels_per_mm = %5.3lf", current));
    } else {
        SetControlText(kGuidance, "Enter an object height between 0.5 and 100 mm");
        EnableControl(kSave, false);
        SetControlText(kSave, "Save");
    }
}

bool ComputePixelsPerMMDlg::OnOK()
{
    // The height may have been typed since the last tick: store what it gives now.
    Follow();
    if (!(m_result > 0.0))
        return false;
    char text[32];
    FormatDouble(m_result, text);
    Ostravo::E_WritePrivateProfileString("CalibrationSettings", "image_pixels_per_mm", text,
                                         m_settings.c_str());
    accept();
    return true;
}

// ---- Boundaries ----

AdjustBoundariesDlg::AdjustBoundariesDlg() : ToolWindow("Adjust Boundaries")
{
    auto *layout = new QVBoxLayout(this);
    auto addGroup = [&](const char *title, int spacing, int top, int bottom, int apply,
                        const char *applyText) {
        auto *box = new QGroupBox(title, this);
        auto *grid = new QGridLayout(box);
        grid->addWidget(AddControl(spacing, new QLineEdit(box)), 0, 0);
        grid->addWidget(new QLabel("mm", box), 0, 1);
        auto *group = new QButtonGroup(box);
        auto *topButton = AddControl(top, new QRadioButton("Anchor Top", box));
        auto *bottomButton = AddControl(bottom, new QRadioButton("Anchor Bottom", box));
        group->addButton(topButton);
        group->addButton(bottomButton);
        grid->addWidget(topButton, 1, 0);
        grid->addWidget(bottomButton, 1, 1);
        auto *button = AddControl(apply, new QPushButton(applyText, box));
        button->setEnabled(false);
        grid->addWidget(button, 2, 0, 1, 2);
        layout->addWidget(box);
        return button;
    };
    auto *magnet = addGroup("Magnet Spacing", kMagnetSpacing, kMagnetAnchorTop, kMagnetAnchorBottom,
                            kApplyMagnet, "Update Magnet Spacing");
    auto *channel = addGroup("Channel Spacing", kChannelSpacing, kChannelAnchorTop, kChannelAnchorBottom,
                             kApplyChannel, "Update Channel Spacing");
    connect(magnet, &QPushButton::clicked, this, [this] { OnApplyMagnetDistance(); });
    connect(channel, &QPushButton::clicked, this, [this] { OnApplyChannelDistance(); });
}

std::string AdjustBoundariesDlg::FormatMagnetDistance() const
{
    const CalibrationLines lines = _shown_calibration_lines.Get();
    return FormatSpacing(lines.upper_magnet, lines.lower_magnet,
                         ReadPixelsPerMm(theApp.m_ini_path, kNoPixelsPerMm));
}

std::string AdjustBoundariesDlg::FormatChannelDistance() const
{
    const CalibrationLines lines = _shown_calibration_lines.Get();
    return FormatSpacing(lines.upper_channel, lines.lower_channel,
                         ReadPixelsPerMm(theApp.m_ini_path, kNoPixelsPerMm));
}

void AdjustBoundariesDlg::Init(CImageView *view)
{
    m_view = view;
    SetControlText(kMagnetSpacing, FormatMagnetDistance());
    SetControlText(kChannelSpacing, FormatChannelDistance());
    SetChecked(kMagnetAnchorBottom, true);
    SetChecked(kChannelAnchorBottom, true);
    RestartTimer(kFollowTimer, 1000);
}

void AdjustBoundariesDlg::OnTimer(int id)
{
    if (id != kFollowTimer)
        return;
    if (!isVisible() || m_view.isNull())
        return; // the timer stays stopped until the next Init
    const struct
    {
        int field, button;
        std::string current;
    } pairs[] = {{kMagnetSpacing, kApplyMagnet, FormatMagnetDistance()},
                 {kChannelSpacing, kApplyChannel, FormatChannelDistance()}};
    for (const auto &pair : pairs) {
        const std::string typed = ControlText(pair.field);
        double value = 0.0;
        if (strcasecmp(typed.c_str(), pair.current.c_str()) == 0)
            EnableControl(pair.button, false);
        else if (sscanf(typed.c_str(), "%lf", &value) == 1)
            EnableControl(pair.button, true);
    }
    RestartTimer(kFollowTimer, 1000);
}

void AdjustBoundariesDlg::OnApplyMagnetDistance()
{
    Apply(true);
}

void AdjustBoundariesDlg::OnApplyChannelDistance()
{
    Apply(false);
}

void AdjustBoundariesDlg::Apply(bool magnet)
{
    double spacing = 0.0;
    if (sscanf(ControlText(magnet ? kMagnetSpacing : kChannelSpacing).c_str(), "%lf", &spacing) != 1)
        return;
    const double pixelsPerMm = ReadPixelsPerMm(theApp.m_ini_path, kNoPixelsPerMm);
    // Without a scale every spacing would put the line onto its anchor.
    if (!(pixelsPerMm > 0.0))
        return;
    const bool anchorTop = IsChecked(magnet ? kMagnetAnchorTop : kChannelAnchorTop);
    CalibrationLines lines = _shown_calibration_lines.Get();
    int32_t &upper = magnet ? lines.upper_magnet : lines.upper_channel;
    int32_t &lower = magnet ? lines.lower_magnet : lines.lower_channel;
    const int32_t row = MovedBoundaryRow(anchorTop, upper, lower, pixelsPerMm, spacing);
    (anchorTop ? lower : upper) = row;
    const char *key =
        magnet ? (anchorTop ? "LowerMagnet" : "UpperMagnet") : (anchorTop ? "LowerChannel" : "UpperChannel");
    char text[32];
    snprintf(text, sizeof text, "%ld", static_cast<long>(row));
    Ostravo::E_WritePrivateProfileString("CalibrationSettings", key, text, theApp.m_ini_path.c_str());
    UpdateViewCalibrationLines([&](CalibrationLines &shown) {
        if (magnet)
            (anchorTop ? shown.lower_magnet : shown.upper_magnet) = row;
        else
            (anchorTop ? shown.lower_channel : shown.upper_channel) = row;
    });
    // The view may have closed since Init.
    if (CImageView *view = m_view.data())
        view->Invalidate(true);
}
