#include "tools/gui/ImageFolderBatchDlg.h"

#include "Ostravo/BrowseForFolder.h"
#include "Ostravo/Profile.h"
#include "app/PlexorinApp.h"
#include "platform/Sync.h"
#include "platform/gui/QtText.h"
#include "tools/ImageFileList.h"

#include <QCoreApplication>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

constexpr uint32_t kTextSize = 1024; // texts of up to 1023 characters

std::string ReadSetting(const char *section, const char *key, const char *defaultValue)
{
    std::string buffer(kTextSize, '\0');
    Ostravo::E_GetPrivateProfileString(section, key, defaultValue, buffer.data(), kTextSize,
                                       theApp.m_ini_path.c_str());
    return buffer.c_str();
}

} // namespace

ImageFolderBatchDlg::ImageFolderBatchDlg(const char *title, const char *section, int browseId, int listId,
                                         const char *browseTitle)
    : ToolWindow(title), m_section(section), m_browse_id(browseId), m_list_id(listId),
      m_browse_title(browseTitle)
{
    auto *top = new QVBoxLayout(this);
    auto *grid = new QGridLayout;
    grid->addWidget(new QLabel("Directory", this), 0, 0);
    auto *folder = AddControl(kFolder, new QLineEdit(this));
    folder->setMinimumWidth(260);
    grid->addWidget(folder, 0, 1);
    auto *browse = AddControl(browseId, new QPushButton("...", this));
    browse->setAutoDefault(false);
    browse->setFixedWidth(32);
    grid->addWidget(browse, 0, 2);
    grid->addWidget(new QLabel("Filter", this), 1, 0);
    auto *filter = AddControl(kFilter, new QLineEdit(this));
    grid->addWidget(filter, 1, 1);
    top->addLayout(grid);

    auto *list = AddControl(listId, new QListWidget(this));
    list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    // The names arrive sorted without regard to case, which the list keeps: its own sort would
    // put capitals first.
    list->setMinimumHeight(160);
    top->addWidget(list, 1);

    top->addWidget(AddControl(kProgress, new QLabel(this)));
    auto *buttons = new QHBoxLayout;
    auto *run = AddControl(kRun, new QPushButton("Run", this));
    auto *stop = AddControl(kStop, new QPushButton("Stop", this));
    run->setAutoDefault(false);
    stop->setAutoDefault(false);
    stop->setEnabled(false);
    buttons->addWidget(run);
    buttons->addWidget(stop);
    buttons->addStretch(1);
    top->addLayout(buttons);

    connect(folder, &QLineEdit::textChanged, this, [this] { OnSettingChanged(); });
    connect(filter, &QLineEdit::textChanged, this, [this] { OnSettingChanged(); });
    connect(browse, &QPushButton::clicked, this, [this] { OnBrowse(); });
    connect(stop, &QPushButton::clicked, this, [this] { OnStop(); });
}

ImageFolderBatchDlg::~ImageFolderBatchDlg()
{
    m_stop = true;
    // A worker may be waiting for the user-interface thread (a message box): serve it until the
    // worker has ended, then join.
    while (m_worker.joinable() && !m_worker_done) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        platform::SleepMs(5);
    }
    if (m_worker.joinable())
        m_worker.join();
}

void ImageFolderBatchDlg::LoadSettings()
{
    m_settings_loading = true;
    SetControlText(kFolder, ReadSetting(m_section, "Directory", ""));
    SetControlText(kFilter, ReadSetting(m_section, "Filter", "*.png"));
    m_settings_loading = false;
}

bool ImageFolderBatchDlg::SaveSettings()
{
    if (m_settings_loading)
        return false;
    Ostravo::E_WritePrivateProfileString(m_section, "Directory", ControlText(kFolder).c_str(),
                                         theApp.m_ini_path.c_str());
    Ostravo::E_WritePrivateProfileString(m_section, "Filter", ControlText(kFilter).c_str(),
                                         theApp.m_ini_path.c_str());
    return true;
}

void ImageFolderBatchDlg::FillImageList()
{
    auto *list = ControlAs<QListWidget>(m_list_id);
    if (!list)
        return;
    list->clear();
    std::vector<std::string> names;
    ListImageFiles(ControlText(kFolder), ControlText(kFilter), names);
    for (const std::string &name : names)
        platform::gui::AddListItem(list, name);
}

std::vector<std::string> ImageFolderBatchDlg::SelectedImages() const
{
    std::vector<std::string> names;
    auto *list = ControlAs<QListWidget>(m_list_id);
    if (!list)
        return names;
    for (int row = 0; row < list->count(); ++row) {
        if (list->item(row)->isSelected())
            names.push_back(platform::gui::ItemText(list->item(row)));
    }
    return names;
}

void ImageFolderBatchDlg::OnBrowse()
{
    EString path(ControlText(kFolder).c_str());
    if (BrowseForFolder(path, m_browse_title))
        SetControlText(kFolder, path.c_str());
}

void ImageFolderBatchDlg::EnableInputs(bool enable)
{
    for (int id : {kFolder, m_browse_id, kFilter, m_list_id, kRun})
        EnableControl(id, enable);
    EnableControl(kStop, !enable);
}

void ImageFolderBatchDlg::StartWorker(std::function<void()> work)
{
    // The previous run has posted its end, so its thread is finishing or done.
    if (m_worker.joinable())
        m_worker.join();
    m_stop = false;
    m_running = true;
    m_worker_done = false;
    EnableInputs(false);
    m_worker = std::thread([this, work = std::move(work)] {
        work();
        m_worker_done = true;
    });
}

void ImageFolderBatchDlg::PostProgress(const std::string &text)
{
    PostToWindow(QPointer<QWidget>(this), [this, text] { SetControlText(kProgress, text); });
}

void ImageFolderBatchDlg::PostRunEnded()
{
    PostToWindow(QPointer<QWidget>(this), [this] {
        EnableInputs(true);
        SetControlText(kProgress, "");
        m_running = false;
    });
}
