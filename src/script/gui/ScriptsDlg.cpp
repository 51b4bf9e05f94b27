#include "script/gui/ScriptsDlg.h"

#include "Ostravo/LogError.h"
#include "Ostravo/OpenUsingDefaultApp.h"
#include "Ostravo/TextFormat.h"
#include "app/PlexorinApp.h"
#include "platform/Files.h"
#include "platform/Ui.h"
#include "platform/gui/QtText.h"
#include "script/Script.h"
#include "script/gui/FontTable.h"
#include "script/gui/ScriptRenameDlg.h"

#include <QHBoxLayout>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QVBoxLayout>

#include <cstdio>

namespace {

constexpr const char *kSourceFile = "ScriptsDlg.cpp";

std::string Join(const std::string &folder, const std::string &name)
{
    EString path;
    path.JoinPath(folder.c_str(), name.c_str());
    return path.c_str();
}

std::string BaseName(const std::string &entry)
{
    EString name;
    if (!name.SplitPath(entry.c_str(), 0, 1, 0))
        return entry;
    return name.c_str();
}

} // namespace

std::string ScriptsFolder()
{
    return Join(theApp.m_data_directory, "Scripts");
}

bool rename_script_file(const std::string &folder, const std::string &oldBaseName,
                        const std::string &newBaseName, EString &error)
{
    const std::string oldPath = Join(folder, oldBaseName) + ".scr";
    if (!platform::FileExists(oldPath)) {
        error.Assign(
            FormatText("rename_script_file () : Script file does not exist: %s", oldPath.c_str()).c_str());
        return false;
    }
    // The name becomes part of a path: an empty one or one with a separator would make a hidden
    // ".scr" or move the file into another folder.
    if (newBaseName.find_first_not_of(" \t") == std::string::npos) {
        error.Assign("rename_script_file () : The new script name is empty.");
        return false;
    }
    if (newBaseName.find_first_of("/\\") != std::string::npos) {
        error.Assign(
            FormatText("rename_script_file () : The new script name may not hold a path separator: %s",
                       newBaseName.c_str())
                .c_str());
        return false;
    }
    const std::string newPath = Join(folder, newBaseName) + ".scr";
    // Never onto an existing file: the rename refuses to replace one.
    if (!platform::RenameFile(oldPath, newPath)) {
        error.Assign(
            FormatText("rename_script_file () : unable to rename %s -> %s", oldPath.c_str(), newPath.c_str())
                .c_str());
        return false;
    }
    return true;
}

bool rename_script_file(const std::string &oldBaseName, const std::string &newBaseName, EString &error)
{
    return rename_script_file(ScriptsFolder(), oldBaseName, newBaseName, error);
}

ScriptsDlg::ScriptsDlg(QWidget *parent)
    : ScriptsDlg("Scripts", SCRIPT_HANDLE_FLUIDIC_SYSTEM, ScriptsFolder, parent)
{
}

ScriptsDlg::ScriptsDlg(const char *title, int handle, std::function<std::string()> folder, QWidget *parent)
    : ToolWindow(title, parent), m_handle(handle), m_folder(std::move(folder))
{
    setWindowFlag(Qt::Tool, true);
    setFont(MappedFont("Microsoft Sans Serif", 9));
    auto *layout = new QVBoxLayout(this);
    m_layout = layout;
    layout->setContentsMargins(3, 3, 3, 3);
    layout->setSpacing(3);
    auto *buttons = new QHBoxLayout;
    auto *edit = AddControl(kEditId, new QPushButton(QStringLiteral("Edit"), this));
    auto *run = AddControl(kRunId, new QPushButton(QStringLiteral("Run"), this));
    auto *stop = AddControl(kStopId, new QPushButton(QStringLiteral("Stop"), this));
    run->setDefault(true);
    edit->setEnabled(false);
    stop->setEnabled(false);
    buttons->addWidget(edit);
    buttons->addWidget(run);
    buttons->addWidget(stop);
    buttons->addStretch(1);
    layout->addLayout(buttons);
    m_current_line = AddControl(kCurrentLineId, new QLineEdit(this));
    m_current_line->setReadOnly(true);
    layout->addWidget(m_current_line);
    m_list = AddControl(kListId, new QListWidget(this));
    m_list->setSortingEnabled(true);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setContextMenuPolicy(Qt::CustomContextMenu);
    layout->addWidget(m_list, 1);
    resize(300, 360);

    connect(edit, &QPushButton::clicked, this, &ScriptsDlg::OnBnClickedEdit);
    connect(run, &QPushButton::clicked, this, &ScriptsDlg::OnBnClickedRun);
    connect(stop, &QPushButton::clicked, this, &ScriptsDlg::OnBnClickedStop);
    connect(m_list, &QListWidget::itemSelectionChanged, this, &ScriptsDlg::UpdateButtons);
    connect(m_list, &QListWidget::customContextMenuRequested, this, &ScriptsDlg::OnContextMenu);

    m_ask_name = [this](std::string &name) {
        ScriptRenameDlg dialog(this);
        dialog.m_name = name;
        if (dialog.exec() != QDialog::Accepted)
            return false;
        name = dialog.m_name;
        return true;
    };
    m_open_script = [](const std::string &path) { OpenUsingDefaultApp(path.c_str(), ".txt"); };
}

ScriptsDlg::~ScriptsDlg() = default;

void ScriptsDlg::showEvent(QShowEvent *event)
{
    ToolWindow::showEvent(event);
    FillScriptList();
    UpdateButtons();
}

void ScriptsDlg::Report(const std::string &text, int line)
{
    LogError(kSourceFile, line, text);
    platform::ui::MessageBox(text, "Vantelis", platform::ui::MbOk);
}

std::string ScriptsDlg::SelectedText() const
{
    const QList<QListWidgetItem *> selected = m_list->selectedItems();
    if (selected.isEmpty())
        return {};
    return platform::gui::ItemText(selected.first());
}

void ScriptsDlg::FillScriptList()
{
    m_list->clear();
    for (const platform::DirEntry &entry : platform::ListFolder(Folder(), "*.scr")) {
        if (entry.isFolder)
            continue;
        platform::gui::AddListItem(m_list, entry.name);
    }
}

void ScriptsDlg::UpdateButtons()
{
    // While the handle runs only Stop makes sense; the window may be shown again meanwhile.
    if (Script::IsScriptRunning(m_handle))
        ShowRunningButtons();
    else
        RestoreIdleButtons();
}

void ScriptsDlg::ShowRunningButtons()
{
    EnableControl(kStopId, true);
    EnableControl(kRunId, false);
    EnableControl(kEditId, false);
    EnableControl(kListId, false);
}

void ScriptsDlg::RestoreIdleButtons()
{
    const bool selected = !SelectedText().empty();
    EnableControl(kEditId, theApp.m_admin_mode);
    EnableControl(kStopId, false);
    EnableControl(kRunId, selected);
    if (!selected)
        EnableControl(kEditId, false);
    EnableControl(kListId, true);
}

void ScriptsDlg::SetStatusText(const char *text)
{
    if (text == nullptr)
        return;
    PostToWindow(QPointer<QWidget>(this),
                 [this, value = std::string(text)] { m_current_line->setText(platform::gui::ToQt(value)); });
}

void ScriptsDlg::OnScriptEnded()
{
    PostToWindow(QPointer<QWidget>(this), [this] {
        m_current_line->clear();
        RestoreIdleButtons();
    });
}

void ScriptsDlg::OnBnClickedEdit()
{
    std::string name = SelectedText();
    const std::string folder = Folder();
    if (!platform::FolderExists(folder) && !platform::MakeFolder(folder)) {
        Report(FormatText("Unable to create directory: %s", folder.c_str()), __LINE__);
        return;
    }
    if (name.empty()) {
        name = "New.scr";
        const std::string path = Join(folder, name);
        std::FILE *file = std::fopen(path.c_str(), "wb");
        if (!file) {
            Report(FormatText("Unable to create file: %s", path.c_str()), __LINE__);
            return;
        }
        std::fputs("// Quorvane Plexorin script file.\n// Rename this automatically created file.\n", file);
        std::fclose(file);
    }
    if (m_open_script)
        m_open_script(Join(folder, name));
}

void ScriptsDlg::OnBnClickedRun()
{
    // With nothing selected the bare folder goes to the run entry, which refuses it.
    const std::string path = Join(Folder(), SelectedText());
    EString error;
    if (!Script::RunScript(m_handle, path.c_str(), error)) {
        Report(error.c_str(), __LINE__);
        return;
    }
    ShowRunningButtons();
}

void ScriptsDlg::OnBnClickedStop()
{
    Script::StopScript(m_handle);
}

void ScriptsDlg::OnContextMenu(const QPoint &pos)
{
    if (!theApp.m_admin_mode)
        return;
    QListWidgetItem *item = m_list->itemAt(pos);
    m_context_item = item ? m_list->row(item) : -1;
    if (m_context_item < 0 || m_context_item >= m_list->count())
        return;
    QMenu menu(m_list);
    const struct
    {
        const char *text;
        int command;
    } entries[] = {{"Rename", kRenameCommand},
                   {"Delete", kDeleteCommand},
                   {"Duplicate", kDuplicateCommand},
                   {"Properties", kPropertiesCommand}};
    for (const auto &entry : entries)
        menu.addAction(platform::gui::ToQt(entry.text))->setData(entry.command);
    if (QAction *chosen = menu.exec(m_list->viewport()->mapToGlobal(pos)))
        OnContextCommand(chosen->data().toInt());
}

void ScriptsDlg::OnContextCommand(int command)
{
    if (m_context_item < 0 || m_context_item >= m_list->count())
        return;
    const std::string entry = platform::gui::ItemText(m_list->item(m_context_item));
    switch (command) {
    case kRenameCommand:
        RenameEntry(entry);
        break;
    case kDeleteCommand:
        DeleteEntry(entry);
        break;
    case kDuplicateCommand:
        DuplicateEntry(entry);
        break;
    default: // Properties: nothing to show
        break;
    }
}

void ScriptsDlg::RenameEntry(const std::string &entry)
{
    const std::string oldBase = BaseName(entry);
    std::string name = oldBase;
    if (!m_ask_name || !m_ask_name(name))
        return;
    EString error;
    if (!rename_script_file(Folder(), oldBase, name, error)) {
        Report(error.c_str(), __LINE__);
        return;
    }
    FillScriptList();
}

void ScriptsDlg::DeleteEntry(const std::string &entry)
{
    const std::string path = Join(Folder(), entry);
    if (!platform::FileExists(path))
        return;
    // Only an explicit Yes deletes: closing the question keeps the file.
    const int answer =
        platform::ui::MessageBox(FormatText("Are you sure that you want to delete file:\n%s", path.c_str()),
                                 "Vantelis", platform::ui::MbYesNo | platform::ui::MbIconQuestion);
    if (answer != platform::ui::IdYes)
        return;
    if (!platform::DeleteFile(path)) {
        Report(FormatText("Unable to delete file:\n%s", path.c_str()), __LINE__);
        return;
    }
    FillScriptList();
}

void ScriptsDlg::DuplicateEntry(const std::string &entry)
{
    const std::string folder = Folder();
    const std::string base = BaseName(entry);
    std::string candidate;
    for (unsigned long i = 1; i <= 99; ++i) {
        const std::string name = FormatText("%s_%lu.scr", base.c_str(), i);
        if (!platform::FileExists(Join(folder, name))) {
            candidate = name;
            break;
        }
    }
    if (candidate.empty()) {
        Report(FormatText("Unable to duplicate script: %s", entry.c_str()), __LINE__);
        return;
    }
    const std::string source = Join(folder, entry);
    const std::string target = Join(folder, candidate);
    if (!platform::CopyFile(source, target, true)) {
        Report(FormatText("Problem trying to copy file: %s -> %s", source.c_str(), target.c_str()), __LINE__);
        return;
    }
    FillScriptList();
}
