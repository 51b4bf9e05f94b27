#pragma once
// The fluidic control panel: twenty coloured script buttons of the active panel file, two bars
// with the room left in each syringe pump, and (in admin mode) the panel-name box and the button
// properties. A left click runs the button's script; a right click in admin mode offers its
// properties.
#include "tools/gui/ToolWindowKit.h"

#include <QDialog>

#include <array>
#include <cstdint>
#include <string>

class ColouredButton;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QProgressBar;

namespace control_panel_id {
constexpr int kFirstButton = 1091;
constexpr int kPumpBar1 = 1206;
constexpr int kPumpBar2 = 1207;
constexpr int kPumpText1 = 1208;
constexpr int kPumpText2 = 1209;
constexpr int kPanelName = 1231;
constexpr int kTitleTimer = 1001;
constexpr int kPanelNameTimer = 1002;
constexpr int kPumpTimer = 1003;
// Properties dialog.
constexpr int kScriptList = 1068;
constexpr int kTitleEdit = 1079;
constexpr int kColorButton = 1080;
} // namespace control_panel_id

class ControlPanelDlg : public ToolWindow
{
    Q_OBJECT
  public:
    explicit ControlPanelDlg(QWidget *parent = nullptr);
    ~ControlPanelDlg() override;

    // Reads every button's colour and title from the active panel file and repaints it.
    void LoadButtons();
    // Admin mode enables the panel-name box and shows every button; operator mode shows only the
    // buttons that have a script.
    void SetAdminMode(bool admin);
    bool AdminMode() const { return m_admin; }
    void RunButtonScript(int buttonId);
    // Opens the properties of a button modally; reloads the buttons after OK.
    void ShowButtonProperties(int buttonId);
    // Reads the pumps' capacities and volumes (what showing the window does).
    void ReadPumpCapacities();
    // Reads the pumps' volumes again (the periodic update).
    void UpdatePumpVolumes();

    ColouredButton *Button(int buttonId) const;
    uint32_t ButtonColor(int buttonId) const;
    std::string ButtonTitle(int buttonId) const;
    QComboBox *PanelNameBox() const { return m_panelName; }

  protected:
    void OnTimer(int id) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

  private:
    void ApplyPanelName();
    void FillPanelNames();
    void ShowPumpVolume(int pump, double aspirated);

    std::array<ColouredButton *, 20> m_buttons{};
    std::array<uint32_t, 20> m_colors{};
    std::array<std::string, 20> m_titles;
    std::array<int32_t, 2> m_capacity{};
    std::array<QProgressBar *, 2> m_bars{};
    std::array<QLabel *, 2> m_volumeTexts{};
    QComboBox *m_panelName = nullptr;
    int m_contextButton = 0;
    bool m_admin = false;
};

// The modal editor of one button's title, colour and script.
class ControlPanelButtonProperties : public ToolWindow
{
    Q_OBJECT
  public:
    ControlPanelButtonProperties(const std::string &section, const std::string &panelFile,
                                 QWidget *parent = nullptr);

    uint32_t Color() const { return m_color; }
    void SetColor(uint32_t color);
    QListWidget *ScriptList() const { return m_scripts; }
    // Writes the properties and closes with OK (the OK button).
    void OnOK();

  private:
    void ChooseColor();

    std::string m_section;
    std::string m_panelFile;
    uint32_t m_color = 0xC0C0C0;
    QListWidget *m_scripts = nullptr;
    QLineEdit *m_title = nullptr;
    ColouredButton *m_colorButton = nullptr;
};
