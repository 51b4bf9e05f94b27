#pragma once
// The modal "Create Montage Image From Sample Flow": the user picks a recorded experiment folder
// and names the montage image. OK checks both and keeps the folder for the next opening in this
// program run.
#include <QDialog>

#include <string>

class QLineEdit;
class QPushButton;

// These names keep their leading underscore, a form reserved at global scope, so they live in a
// namespace; the directive lets every caller name them as before.
namespace globals {
// The folder read by the last OK (also when its checks failed); empty at program start.
extern std::string _montage_last_directory;
} // namespace globals
using namespace globals;

class MontageDlg : public QDialog
{
    Q_OBJECT
  public:
    static constexpr int kBrowse = 1412;
    static constexpr int kExperimentDirectory = 1413;
    static constexpr int kMontageName = 1414;

    explicit MontageDlg(QWidget *parent = nullptr);
    ~MontageDlg() override;

    // Set by OK; unset after Cancel.
    std::string m_montage_name;
    std::string m_experiment_directory;

    QLineEdit *FolderEdit() const { return m_folder; }
    QLineEdit *NameEdit() const { return m_name; }
    QPushButton *BrowseButton() const { return m_browse; }
    QPushButton *OkButton() const { return m_ok; }
    QPushButton *CancelButton() const { return m_cancel; }

  private:
    void OnBrowse();
    void OnOK();

    QLineEdit *m_folder = nullptr;
    QLineEdit *m_name = nullptr;
    QPushButton *m_browse = nullptr;
    QPushButton *m_ok = nullptr;
    QPushButton *m_cancel = nullptr;
};

// Checks a montage name typed by the user: an empty string when it is acceptable, else the message
// to show.
std::string CheckMontageName(const std::string &name);

// Installs the experiment services with the montage dialog.
void InstallExperimentWindows();
