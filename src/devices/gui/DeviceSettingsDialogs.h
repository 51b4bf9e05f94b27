#pragma once
// The settings windows of the instrument: the experiment settings (saved as they are edited), the
// camera settings, and the digital I/O configuration. DeviceSettingsDialogs serves them, and the
// digital I/O mapping, as the device settings services.
#include <QDialog>
#include <QTimer>
#include <QWidget>

#ifndef Q_MOC_RUN
#include "app/DeviceServices.h"
#endif

#include <map>
#include <memory>
#include <string>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;
class CameraInterface;

// "Experiment Settings": every edit is written after a short quiet time; only the fields the
// user changed are written. "Done" saves and closes.
class ExperimentSettingsDlg : public QDialog
{
  public:
    explicit ExperimentSettingsDlg(QWidget *parent = nullptr);

    // The edit or check box of a field by its control id (null for none).
    QLineEdit *Edit(int control) const;
    QCheckBox *Check(int control) const;
    QPushButton *DoneButton() const { return m_done; }
    // Writes the changed fields now (what the quiet-time timer does).
    void SaveSettings();
    bool SavePending() const { return m_saveTimer.isActive(); }

  private:
    void Changed(int control, int delayMs);
    void OpenSettingsFile();

    std::map<int, QLineEdit *> m_edits;
    std::map<int, QCheckBox *> m_checks;
    std::map<int, std::string> m_changed;
    QTimer m_saveTimer;
    QPushButton *m_done = nullptr;
};

// "Camera Settings" for an initialised camera. Gain and exposure are sent to the camera after a
// short quiet time; the <model> Settings keys are saved with them.
class CameraSettingsDlg : public QDialog
{
  public:
    explicit CameraSettingsDlg(CameraInterface &camera, QWidget *parent = nullptr);

    // Fills the fields from the camera and the settings file; false (reported) when the camera
    // failed a query, the fields then stay empty.
    bool Fill();

    // What the quiet-time timers do.
    void ApplyPixelDepth();
    void ApplyGain();
    void ApplyExposure();
    void ApplyRefreshPeriod();
    bool SaveSettings();
    void ToggleOutput(int output);

    QLineEdit *Field(int control) const;
    QComboBox *PixelDepth() const { return m_depth; }
    QCheckBox *Output(int output) const { return output == 1 ? m_output1 : m_output2; }

  private:
    void Report(const std::string &text);
    void SaveFromTimer();
    QTimer *Arm(QTimer *&timer, int delayMs, void (CameraSettingsDlg::*action)());

    CameraInterface &m_camera;
    std::map<int, QLineEdit *> m_fields;
    QComboBox *m_depth = nullptr;
    QCheckBox *m_output1 = nullptr;
    QCheckBox *m_output2 = nullptr;
    QTimer *m_depthTimer = nullptr;
    QTimer *m_gainTimer = nullptr;
    QTimer *m_exposureTimer = nullptr;
    QTimer *m_refreshTimer = nullptr;
    QTimer *m_saveTimer = nullptr;
};

// "Digital I/O Configuration": where each signal sits. Every list change is written at once and
// the mapping reloaded, so a collision shows when it is made.
class DigitalIOConfigurationDlg : public QWidget
{
  public:
    explicit DigitalIOConfigurationDlg(QWidget *parent = nullptr);

    // The line check box id of a port and line; 0 for a line the hardware lacks.
    static int GetLineButtonId(int port, int line);
    void FillControls();
    void RefreshLineButtons();
    // What the one-shot timer does 100 ms after the lists are filled.
    void SetInterlockMapping();

    QCheckBox *LineButton(int id) const;
    QComboBox *List(int id) const;
    bool InterlockPending() const { return m_interlockTimer.isActive(); }

  protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

  private:
    void ListChanged(int id);
    void ClearLineButtons();

    std::map<int, QCheckBox *> m_lineButtons;
    std::map<int, QComboBox *> m_lists;
    QTimer m_clearTimer;
    QTimer m_interlockTimer;
};

class DeviceSettingsDialogs : public DeviceSettingsServices
{
  public:
    DeviceSettingsDialogs();
    ~DeviceSettingsDialogs() override;

    bool LoadDigitalIoMapping(EString &error) override;
    bool RunCameraSettingsDialog() override;
    bool RunExperimentSettingsDialog() override;
    ModelessWindow &DigitalIoConfiguration() override;

  private:
    class DigitalIoWindow;
    std::unique_ptr<DigitalIoWindow> m_digitalIo;
};

// Installs the dialogs as the device settings services.
void InstallDeviceSettingsDialogs();
