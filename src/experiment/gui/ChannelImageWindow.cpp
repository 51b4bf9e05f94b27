#include "experiment/gui/ChannelImageWindow.h"

#include "Ostravo/BrowseForFolder.h"
#include "Ostravo/EString.h"
#include "Ostravo/Profile.h"
#include "app/PlexorinApp.h"
#include "app/gui/DropDownCombo.h"
#include "platform/Files.h"
#include "tools/gui/FillImageFileList.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

#include <algorithm>

ChannelImageWindow::ChannelImageWindow(const ChannelWindowSetup &setup, QWidget *parent)
    : ToolWindow(setup.caption, parent), m_setup(setup)
{
}

QListWidget *ChannelImageWindow::AddFolderControls(QAbstractItemView::SelectionMode selectionMode,
                                                   int minimumWidth)
{
    AddControl(kFolder, new QLineEdit(this));
    auto *browse = AddControl(m_setup.browseId, new QPushButton(QStringLiteral("..."), this));
    browse->setFixedWidth(32);
    AddControl(kFilter, new QLineEdit(this));
    auto *list = AddControl(m_setup.fileListId, new QListWidget(this));
    // The names arrive sorted without regard to case, which the list keeps: its own sort would
    // put capitals first.
    list->setSelectionMode(selectionMode);
    // The names of one experiment differ only in their position digits near the end: the list is
    // as wide as an instrument's usual name, and a longer name loses its middle, not its end.
    list->setTextElideMode(Qt::ElideMiddle);
    list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    list->setMinimumWidth(std::max(minimumWidth, list->fontMetrics().horizontalAdvance(QStringLiteral(
                                                     "20240315-0930-05_Run1_Ex560Em628_0000.png")) +
                                                     40));
    return list;
}

QGridLayout *ChannelImageWindow::FolderGrid()
{
    auto *top = new QGridLayout;
    top->addWidget(new QLabel(QStringLiteral("Images Directory"), this), 0, 0);
    top->addWidget(Control(kFolder), 0, 1);
    top->addWidget(Control(m_setup.browseId), 0, 2);
    top->addWidget(new QLabel(QStringLiteral("Filter"), this), 1, 0);
    top->addWidget(Control(kFilter), 1, 1, 1, 2);
    top->setColumnStretch(1, 1);
    return top;
}

DropDownCombo *ChannelImageWindow::AddChannelCombo(int c, QWidget *parent)
{
    auto *combo = AddControl(kBrightfield + c, new DropDownCombo(parent));
    combo->setEditable(true);
    combo->setInsertPolicy(QComboBox::InsertAlphabetically);
    combo->onDropDown = [this, c] { OnDropDownChannel(c); };
    return combo;
}

void ChannelImageWindow::ConnectFolderEdits()
{
    for (int id : {kFolder, kFilter})
        connect(ControlAs<QLineEdit>(id), &QLineEdit::textChanged, this, [this] {
            RestartTimer(m_setup.saveTimer, 1000);
            RestartTimer(m_setup.fillListTimer, 1000);
        });
}

void ChannelImageWindow::BrowseForImageFolder(const char *prompt)
{
    EString path(ControlText(kFolder).c_str());
    if (BrowseForFolder(path, prompt))
        SetControlText(kFolder, path.c_str());
}

void ChannelImageWindow::OnDropDownChannel(int c)
{
    auto *combo = ControlAs<QComboBox>(kBrightfield + c);
    if (!combo)
        return;
    RefillSortedKeepingText(combo, m_channel_suffixes);
}

void ChannelImageWindow::OnTimer(int id)
{
    KillTimer(id);
    if (id == m_setup.fillListTimer) {
        FillImageFileList(this, m_setup.fileListId);
        CollectChannelSuffixes();
    } else if (id == m_setup.saveTimer) {
        SaveSettings();
    }
}

std::string ChannelImageWindow::ReadSetting(const char *key, const char *defaultValue, uint32_t size) const
{
    std::string buffer(size, '\0');
    Ostravo::E_GetPrivateProfileString(m_setup.section, key, defaultValue, buffer.data(), size,
                                       theApp.m_ini_path.c_str());
    return buffer.c_str();
}

std::vector<std::string> ChannelImageWindow::FolderPngNames() const
{
    std::vector<std::string> names;
    const std::string folder = platform::NormalizePath(ControlText(kFolder));
    if (folder.empty() || !platform::FolderExists(folder))
        return names;
    for (const platform::DirEntry &entry : platform::ListFolder(folder, "*.png"))
        if (!entry.isFolder)
            names.push_back(entry.name);
    return names;
}

bool ChannelImageWindow::HasVisibleCharacter(const std::string &text)
{
    return text.find_first_not_of(" \t") != std::string::npos;
}
