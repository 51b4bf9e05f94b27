#include "experiment/gui/MontageDlg.h"

#include "Ostravo/BrowseForFolder.h"
#include "Ostravo/EString.h"
#include "experiment/ExperimentAnalysisServices.h"
#include "experiment/gui/VideoDlg.h"
#include "platform/Files.h"
#include "platform/Ui.h"
#include "platform/Utf8Text.h"
#include "platform/gui/QtText.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace globals {
std::string _montage_last_directory;
} // namespace globals

namespace {

// Edit texts are read as the fixed-size buffers of the dialog held them.
std::string EditText(const QLineEdit *edit)
{
    return platform::TruncateUtf8(platform::gui::EditText(edit), 1023);
}

} // namespace

std::string CheckMontageName(const std::string &name)
{
    if (name.empty())
        return "Please define the montage image filename.";
    // Every length is checked: the name becomes a path in the experiment folder and must stay there.
    for (char c : name)
        if (!IsValidFileNameChar(c))
            return "Invalid experiment name. Must be valid Windows file name.";
    if (name.find("..") != std::string::npos)
        return "Invalid experiment name. Must be valid Windows file name.";
    return std::string();
}

MontageDlg::MontageDlg(QWidget *parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Create Montage Image From Sample Flow"));
    auto *folderLabel = new QLabel(QStringLiteral("Experiment Directory:"), this);
    m_folder = new QLineEdit(this);
    m_folder->setObjectName(QString::number(kExperimentDirectory));
    m_folder->setMinimumWidth(440);
    m_browse = new QPushButton(QStringLiteral("..."), this);
    m_browse->setObjectName(QString::number(kBrowse));
    auto *nameLabel = new QLabel(QStringLiteral("Montage Image Name:"), this);
    m_name = new QLineEdit(this);
    m_name->setObjectName(QString::number(kMontageName));
    m_ok = new QPushButton(QStringLiteral("OK"), this);
    m_ok->setObjectName(QStringLiteral("1"));
    m_ok->setDefault(true);
    m_cancel = new QPushButton(QStringLiteral("Cancel"), this);
    m_cancel->setObjectName(QStringLiteral("2"));

    auto *grid = new QGridLayout;
    grid->addWidget(folderLabel, 0, 0);
    grid->addWidget(m_folder, 0, 1);
    grid->addWidget(m_browse, 0, 2);
    grid->addWidget(nameLabel, 1, 0);
    grid->addWidget(m_name, 1, 1);
    grid->setColumnStretch(1, 1);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_ok);
    buttons->addWidget(m_cancel);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addLayout(buttons);

    platform::gui::SetEditText(m_folder, _montage_last_directory);
    connect(m_browse, &QPushButton::clicked, this, &MontageDlg::OnBrowse);
    connect(m_ok, &QPushButton::clicked, this, &MontageDlg::OnOK);
    connect(m_cancel, &QPushButton::clicked, this, &MontageDlg::reject);
}

MontageDlg::~MontageDlg() = default;

void MontageDlg::OnBrowse()
{
    EString path(EditText(m_folder).c_str());
    if (BrowseForFolder(path, "Select a directory with images."))
        platform::gui::SetEditText(m_folder, path.c_str());
}

void MontageDlg::OnOK()
{
    _montage_last_directory = EditText(m_folder);
    const std::string name = EditText(m_name);
    m_montage_name = name;
    std::string message;
    if (_montage_last_directory.empty())
        message = "Please select the experiment directory.";
    else if (platform::FindFileIgnoringCase(platform::NormalizePath(_montage_last_directory),
                                            "experimentsettings.ini")
                 .empty())
        message = "The selected directory is not a valid experiment directory.";
    else
        message = CheckMontageName(name);
    if (!message.empty()) {
        platform::ui::MessageBox(message);
        return;
    }
    m_experiment_directory = _montage_last_directory;
    accept();
}

void InstallExperimentWindows()
{
    InstallExperimentServices(
        std::make_shared<ExperimentWindowServices>([](std::string &name, std::string &folder) {
            MontageDlg dialog;
            if (dialog.exec() != QDialog::Accepted)
                return false;
            name = dialog.m_montage_name;
            folder = dialog.m_experiment_directory;
            return true;
        }));
}
