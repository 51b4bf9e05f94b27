#pragma once
// The two dialogs in which the operator names the cartridge in the instrument: the cartridge
// choice before the live image starts, and the experiment-name prompt before a timed capture
// starts (which also creates the experiment). Each cartridge radio button stands for one row of
// the cartridge product table; button i selects row i's part number.
#include <QDialog>

#include <array>
#include <memory>

class QLineEdit;
class QRadioButton;
class QPushButton;

// "Please Select a Cartridge Type:" with four radio buttons, OK and Cancel.
class SelectCartridgeDlg : public QDialog
{
    Q_OBJECT
  public:
    // choice: the button checked at first (0..3; any other value checks the first).
    explicit SelectCartridgeDlg(int choice, QWidget *parent = nullptr);

    int Choice() const { return m_choice; }
    // The part number of the chosen row.
    const char *GetPartNumber() const;

    QRadioButton *Radio(int i) const { return m_radios[static_cast<size_t>(i)]; }
    QPushButton *OkButton() const { return m_ok; }
    QPushButton *CancelButton() const { return m_cancel; }

  private:
    void OnOK();

    int m_choice = 0;
    std::array<QRadioButton *, 4> m_radios{};
    QPushButton *m_ok = nullptr;
    QPushButton *m_cancel = nullptr;
};

// "Update Experiment Name": the name (from [ExperimentSettings] ExperimentName) and the cartridge
// type. OK cleans the name (and stays open when it had to), makes the chosen part number the
// current cartridge, resets the flow split and creates the experiment; a failed creation is shown
// and the dialog stays open, so no capture starts into the previous experiment.
class PromptForExperimentNameDlg : public QDialog
{
    Q_OBJECT
  public:
    static constexpr int kMaximumNameLength = 32;

    explicit PromptForExperimentNameDlg(int choice = 0, QWidget *parent = nullptr);

    QLineEdit *NameEdit() const { return m_name; }
    QRadioButton *Radio(int i) const { return m_radios[static_cast<size_t>(i)]; }
    QPushButton *OkButton() const { return m_ok; }
    QPushButton *CancelButton() const { return m_cancel; }

  private:
    void OnBnClickedOk();

    int m_choice = 0;
    QLineEdit *m_name = nullptr;
    std::array<QRadioButton *, 4> m_radios{};
    QPushButton *m_ok = nullptr;
    QPushButton *m_cancel = nullptr;
};

// Installs the two dialogs as the cartridge dialog services.
void InstallCartridgeDialogs();
