#include "tools/gui/FolderToolWindow.h"

#include "Ostravo/BrowseForFolder.h"
#include "Ostravo/LogError.h"
#include "Ostravo/Profile.h"
#include "app/AppCommands.h"
#include "app/AppServices.h"
#include "app/BackgroundImages.h"
#include "app/PlexorinApp.h"
#include "app/ToolServices.h"
#include "app/gui/DropDownCombo.h"
#include "platform/Files.h"
#include "platform/Ui.h"
#include "platform/gui/QtText.h"
#include "tools/ImageFileList.h"
#include "tools/gui/FillImageFileList.h"

#include <QBoxLayout>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>

#include <algorithm>

using namespace folder_tool_id;

FolderToolWindow::FolderToolWindow(const FolderToolSetup &setup, QWidget *parent)
    : ToolWindow(setup.caption, parent), m_setup(setup)
{
    m_run_selection_grid = [this](ImageFileItemArray &items) {
        ImageSelectionDlg grid(theApp.m_ini_path, this);
        grid.m_items = &items;
        return grid.exec() == QDialog::Accepted;
    };
}

FolderToolWindow::~FolderToolWindow()
{
    EndWindow();
}

void FolderToolWindow::EndWindow()
{
    if (m_worker.joinable())
        m_worker.join();
    // The children outlive this part of the window: what they report now must not reach it.
    for (DropDownCombo *combo : findChildren<DropDownCombo *>()) {
        combo->onDropDown = nullptr;
        combo->onCloseUp = nullptr;
    }
    for (QObject *child : children())
        child->blockSignals(true);
}

void FolderToolWindow::StartRun(std::function<void()> work)
{
    if (m_worker.joinable())
        m_worker.join();
    DisableControls();
    m_running = true;
    m_worker = std::thread([this, work = std::move(work)] {
        work();
        m_running = false;
    });
}

void FolderToolWindow::JoinRun()
{
    if (m_worker.joinable())
        m_worker.join();
}

std::string FolderToolWindow::ReadSetting(const char *key, const char *defaultValue, uint32_t size) const
{
    std::string buffer(size, '\0');
    Ostravo::E_GetPrivateProfileString(m_setup.section, key, defaultValue, buffer.data(), size,
                                       theApp.m_ini_path.c_str());
    return buffer.c_str();
}

void FolderToolWindow::WriteSetting(const char *key, const std::string &value) const
{
    Ostravo::E_WritePrivateProfileString(m_setup.section, key, value.c_str(), theApp.m_ini_path.c_str());
}

void FolderToolWindow::ReportError(int line, const std::string &message) const
{
    LogError(m_setup.section, line, message);
    platform::ui::MessageBox(message, m_setup.caption, platform::ui::MbOk | platform::ui::MbIconError);
}

QLineEdit *FolderToolWindow::AddBackgroundCount(QBoxLayout *row)
{
    row->addWidget(new QLabel("bg image count", this));
    auto *count = AddControl(kBackgroundCount, new QLineEdit(this));
    count->setReadOnly(true);
    count->setFixedWidth(50);
    row->addWidget(count);
    return count;
}

void FolderToolWindow::AddStatusAndImageList(QBoxLayout *layout, QHBoxLayout *runRow)
{
    auto *status = AddControl(kStatus, new QLabel(this));
    status->setMinimumWidth(160);
    runRow->addWidget(status, 1);
    layout->addLayout(runRow);

    auto *list = AddControl(kFileList, new QListWidget(this));
    // FillImageFileList fills it in the order of a sorted list.
    list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    list->setMinimumHeight(19);
    layout->addWidget(list, 1);
}

void FolderToolWindow::OnTimer(int id)
{
    if (id == m_setup.saveTimer)
        SaveSettings();
    else if (id == m_setup.fillListTimer)
        FillImageFileList(this);
    else if (id == m_setup.showRoiTimer)
        SelectDisplayRoiByName(ControlText(kRoi).c_str());
    else if (id == m_setup.calibrationTimer)
        LoadImageFolderCalibration();
}

std::vector<std::string> FolderToolWindow::SavedRoiNames() const
{
    std::vector<ROIObject> rois;
    std::vector<std::string> names;
    if (Rois().LoadRoiList(theApp.m_ini_path.c_str(), rois))
        for (const ROIObject &roi : rois)
            names.push_back(roi.m_name.c_str());
    return names;
}

std::string FolderToolWindow::LibFolder()
{
    EString lib;
    lib.SplitPath(theApp.m_ini_path.c_str(), 1, 0, 0);
    lib.AppendPathPart("LIB");
    return platform::NormalizePath(lib.c_str());
}

void FolderToolWindow::FillSorted(QComboBox *combo, std::vector<std::string> names)
{
    if (!combo)
        return;
    std::stable_sort(names.begin(), names.end(), ImageNameLess);
    const QString text = combo->currentText();
    const QSignalBlocker block(combo);
    combo->clear();
    for (const std::string &name : names)
        platform::gui::AddComboItem(combo, name, platform::gui::TextKind::Path);
    combo->setCurrentIndex(-1);
    combo->setEditText(text);
}

void FolderToolWindow::OnBrowseDirectory()
{
    EString folder(ControlText(kDirectory).c_str());
    if (BrowseForFolder(folder, "Select directory with images to analyze."))
        SetControlText(kDirectory, folder.c_str());
}

void FolderToolWindow::OnRoiManager()
{
    ModelessWindow &manager = RoiTools().RoiManager();
    if (!manager.HasWindow() && !manager.Create(false))
        return;
    manager.Show(true);
}

std::vector<std::string> FolderToolWindow::SelectedEntries() const
{
    std::vector<std::string> entries;
    const auto *list = ControlAs<QListWidget>(kFileList);
    for (int i = 0; list && i < list->count(); ++i)
        if (list->item(i)->isSelected())
            entries.push_back(platform::gui::ItemText(list->item(i)));
    return entries;
}

bool FolderToolWindow::SelectionItems(ImageFileItemArray &items)
{
    const std::vector<std::string> entries = SelectedEntries();
    if (entries.empty()) {
        platform::ui::MessageBox("You must select at least one file from the list.", m_setup.caption,
                                 platform::ui::MbOk);
        return false;
    }
    EString folder(ControlText(kDirectory).c_str());
    if (m_setup.trimGridFolder)
        folder.Trim();
    AddImageFileItems(items, folder.c_str(), entries);
    return true;
}

void FolderToolWindow::OnSelectBackgroundImages()
{
    ImageFileItemArray items;
    if (!SelectionItems(items) || !m_run_selection_grid(items))
        return;
    m_background_names = SelectedFileNames(items);
    SetControlText(kBackgroundCount, std::to_string(m_background_names.size()));
    EnableControl(kRun, !m_background_names.empty());
    EnableControl(kPreview, !m_background_names.empty());
}

void FolderToolWindow::OnPreview()
{
    ImageFileItemArray items;
    if (SelectionItems(items))
        m_run_selection_grid(items);
}

int FolderToolWindow::GetBackgroundImages(std::vector<std::string> &paths) const
{
    paths.clear();
    const std::string folder = ControlText(kDirectory);
    for (const std::string &name : m_background_names) {
        EString path;
        path.JoinPath(folder.c_str(), name.c_str());
        paths.push_back(path.c_str());
    }
    return int(paths.size());
}

CalibrationLines FolderToolWindow::CalibrationRows() const
{
    return m_lines.Rows();
}

bool FolderToolWindow::SaveCalibrationLine(const char *lineName, int32_t row)
{
    return m_lines.Save(ControlText(kDirectory), lineName, row);
}

bool FolderToolWindow::LoadImageFolderCalibration()
{
    EString error;
    if (m_lines.LoadAndRedraw(ControlText(kDirectory), error))
        return true;
    if (error.IsNonEmpty())
        ReportError(__LINE__, error.c_str());
    return false;
}

void FolderToolWindow::showEvent(QShowEvent *event)
{
    ToolWindow::showEvent(event);
    RestartTimer(m_setup.showRoiTimer, 100);
}

void FolderToolWindow::closeEvent(QCloseEvent *event)
{
    InvalidateAllViews();
    ToolWindow::closeEvent(event);
}
