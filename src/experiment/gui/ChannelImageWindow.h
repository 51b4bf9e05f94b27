#pragma once
// What the contrast and video tool windows share: a folder of channel images (the folder edit with
// its browse button, the filter and the folder's image list), the four channel combos (brightfield,
// red, green, blue) whose lists hold the channel words found in the folder, and the window's
// section of the main settings file. Each window lays out the rest and reads its own settings.
//
// One-shot timers (their ids are the window's own, given in ChannelWindowSetup): save fires
// SaveSettings, fill list refills the image list and the channel words. Typing in the folder or
// the filter sets both. A window with more timers handles its own and passes the others on to
// ChannelImageWindow::OnTimer; the timer is stopped before its work runs.
#include "tools/gui/ToolWindowKit.h"

#include <QAbstractItemView>

#include <cstdint>
#include <string>
#include <vector>

class DropDownCombo;
class QGridLayout;
class QListWidget;

struct ChannelWindowSetup
{
    const char *caption; // the window's title
    const char *section; // its section of the main settings file
    int browseId;
    int fileListId;
    int saveTimer;
    int fillListTimer;
};

class ChannelImageWindow : public ToolWindow
{
    Q_OBJECT
  public:
    static constexpr int kFolder = 1216;
    static constexpr int kFilter = 1217;
    static constexpr int kBrightfield = 1389; // then red 1390, green 1391, blue 1392

    // Nothing while the settings are being loaded; false then.
    virtual bool SaveSettings() = 0;
    // Reads the channel words of the folder's images.
    virtual void CollectChannelSuffixes() = 0;
    const std::vector<std::string> &ChannelSuffixes() const { return m_channel_suffixes; }
    // Fills the list of channel combo c (0 brightfield .. 3 blue) with the channel words.
    void OnDropDownChannel(int c);

    void OnTimer(int id) override;

  protected:
    ChannelImageWindow(const ChannelWindowSetup &setup, QWidget *parent);

    // The settings keys and the labels of the four channels.
    static constexpr const char *kChannelKeys[4] = {"Brightfield", "Red", "Green", "Blue"};
    static constexpr const char *kChannelLabels[4] = {"Brighfield", "Red", "Green", "Blue"};

    // Makes the folder edit, its browse button, the filter and the image list (in that order),
    // the list sorted as its names arrive and as wide as an instrument's usual image name.
    QListWidget *AddFolderControls(QAbstractItemView::SelectionMode selectionMode, int minimumWidth);
    // The "Images Directory" row with the folder edit and its browse button, then the "Filter" row.
    QGridLayout *FolderGrid();
    // The editable combo of channel c, its list filled with the channel words when it drops down.
    DropDownCombo *AddChannelCombo(int c, QWidget *parent);
    // Typing in the folder or the filter saves the settings and refills the list.
    void ConnectFolderEdits();
    // Lets the user pick the folder, starting at the folder edit's text.
    void BrowseForImageFolder(const char *prompt);

    // Reads a setting of the window's section, of at most size - 1 characters.
    std::string ReadSetting(const char *key, const char *defaultValue = "", uint32_t size = 1024) const;
    // The names of the files (no folders) in the folder edit's folder that "*.png" finds, in the
    // listing order; none when the folder is empty or missing.
    std::vector<std::string> FolderPngNames() const;
    // Whether the text holds anything besides blanks and tabs.
    static bool HasVisibleCharacter(const std::string &text);

    const char *Section() const { return m_setup.section; }

    bool m_loading = false;
    std::vector<std::string> m_channel_suffixes;

  private:
    ChannelWindowSetup m_setup;
};
