#pragma once
// The modeless "Zaber Control Panel": moves the focus axis and the X axis of the stage by hand (jog
// steps of a chosen increment, absolute moves, homing, stopping, continuous moves at a velocity)
// and reads both positions out every second while it is shown. It speaks the stage protocol
// itself on the stage port with its own copies of the [Zaber] settings, read once when it is made,
// and keeps the four values typed into it in [Zaber]. Every failure goes to the error log only.
#include "tools/gui/ToolWindowKit.h"

#include <cstdint>
#include <string>

class QWidget;

class ZaberControlPanel : public ToolWindow
{
  public:
    // Controls.
    static constexpr int kComText = 1308;
    static constexpr int kBaudText = 1309;
    static constexpr int kModelText = 1003;
    static constexpr int kSerialText = 1004;
    static constexpr int kFocusLeft1 = 1310, kFocusLeft100 = 1311, kFocusLeft10 = 1312;
    static constexpr int kFocusRight1 = 1313, kFocusRight100 = 1314, kFocusRight10 = 1315;
    static constexpr int kFocusIncrement = 1316;
    static constexpr int kFocusPosition = 1317;
    static constexpr int kFocusHome = 1318, kFocusStop = 1037;
    static constexpr int kFocusMoveAbs = 1038, kFocusTarget = 1319;
    static constexpr int kFocusVelocity = 1331, kFocusVelocityBack = 1332, kFocusVelocityForward = 1333;
    static constexpr int kSeparator = 1330;
    static constexpr int kXLeft1 = 1320, kXLeft100 = 1321, kXLeft10 = 1322;
    static constexpr int kXRight1 = 1323, kXRight100 = 1324, kXRight10 = 1325;
    static constexpr int kXIncrement = 1326;
    static constexpr int kXPosition = 1327;
    static constexpr int kXHome = 1328, kXStop = 1039;
    static constexpr int kXMoveAbs = 1040, kXTarget = 1329;
    static constexpr int kXVelocity = 1334, kXVelocityBack = 1335, kXVelocityForward = 1336;
    // Timers.
    static constexpr int kPollTimer = 1000;
    static constexpr int kSaveTimer = 1001;
    static constexpr int kPollMs = 1000;
    static constexpr int kSaveDelayMs = 1000;

    // Made on first use without a parent; settingsPath is the main settings file.
    explicit ZaberControlPanel(std::string settingsPath);
    ~ZaberControlPanel() override;

    // One request and one reply each on the stage port.
    bool GetPosition(int32_t device, int32_t axis, double &millimetres);
    bool MoveRelative(int32_t device, int32_t axis, double millimetres);
    bool MoveVelocity(int32_t device, int32_t axis, double millimetresPerSecond);
    // The jog increment chosen for the axis, in mm.
    double GetJogIncrement(int32_t axis) const;
    bool ReadVelocity(int editId, double &velocity) const;
    void UpdatePositions();
    bool SaveSettings();
    bool ShowDeviceId();
    bool ShowSerialNumber();

    // The ids of one axis's group.
    struct AxisControls;

    bool XAxisShown() const { return m_x_axis_shown; }
    // Runs a timer's work, as when it fires.
    void OnTimer(int id) override;

  protected:
    void showEvent(QShowEvent *event) override;

  private:
    void BuildControls();
    QWidget *BuildAxisGroup(const AxisControls &ids, const char *title);
    void OnInitDialog();
    bool ReadXAxisShownSetting() const;
    double StepsPerMm(int32_t device, int32_t axis) const;
    // The increment chosen in a list, in mm (one micrometre without a selection).
    double IncrementOf(int listId) const;
    // One request with its reply (line end removed); false when the transaction failed.
    bool Transact(const std::string &request, std::string &reply);
    void Jog(bool focus, int factor);
    void MoveAbsolute(bool focus);
    void Velocity(bool focus, bool backward);
    void SimpleCommand(bool focus, const char *command);

    std::string m_settings_path;
    double m_steps_per_mm_x = 0.0;
    double m_steps_per_mm_z = 0.0;
    int32_t m_focus_device = 1;
    int32_t m_focus_axis = 1;
    int32_t m_x_device = 1;
    int32_t m_x_axis = 2;
    QWidget *m_x_group = nullptr;
    bool m_x_axis_shown = false;
    bool m_loading = false;
};
