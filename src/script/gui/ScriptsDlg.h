#pragma once
// "Scripts": lists the fluidic-system scripts (<data>/Scripts/*.scr), edits, runs and stops them
// on interpreter handle 0, and shows the line the script thread is about to run. In admin mode a
// context menu on the list renames, deletes and duplicates script files.
//
// The script thread reaches the window only through SetStatusText and OnScriptEnded, which post
// their work to the user-interface thread in the order they are called.
#include "tools/gui/ToolWindowKit.h"

#ifndef Q_MOC_RUN
#include "Ostravo/EString.h"
#endif

#include <functional>
#include <string>

class QListWidget;
class QLineEdit;
class QPushButton;
class QVBoxLayout;

// Renames <folder>/<old>.scr to <folder>/<new>.scr. Never replaces an existing file; refuses an
// empty new name and one that holds a path separator. False with the reason in error.
bool rename_script_file(const std::string &folder, const std::string &oldBaseName,
                        const std::string &newBaseName, EString &error);
// The same in the fluidic scripts folder.
bool rename_script_file(const std::string &oldBaseName, const std::string &newBaseName, EString &error);
// <data folder>/Scripts.
std::string ScriptsFolder();

class ScriptsDlg : public ToolWindow
{
    Q_OBJECT
  public:
    static constexpr int kEditId = 1001;
    static constexpr int kRunId = 1002;
    static constexpr int kStopId = 1003;
    static constexpr int kCurrentLineId = 1004;
    static constexpr int kListId = 1005;
    // Context menu commands.
    static constexpr int kRenameCommand = 1000;
    static constexpr int kPropertiesCommand = 1001;
    static constexpr int kDeleteCommand = 1002;
    static constexpr int kDuplicateCommand = 1003;

    explicit ScriptsDlg(QWidget *parent = nullptr);
    ~ScriptsDlg() override;

    // Enable states from selection, admin mode and whether the window's handle runs.
    virtual void UpdateButtons();
    // Script thread: the current-line text (null does nothing).
    void SetStatusText(const char *text);
    // Script thread: the end of a handle-0 run.
    void OnScriptEnded();

    void FillScriptList();
    void OnBnClickedEdit();
    virtual void OnBnClickedRun();
    void OnBnClickedStop();
    // The context menu for the list row under a right click at pos (list coordinates); opens
    // nothing outside admin mode or off the rows.
    void OnContextMenu(const QPoint &pos);
    // A chosen menu entry, acting on m_context_item when it is still a valid row.
    void OnContextCommand(int command);

    // Index of the row the context menu was last opened for; -1 at construction.
    int m_context_item = -1;
    // Asks for the new name of a script (the rename dialog); tests replace it. True on OK.
    std::function<bool(std::string &name)> m_ask_name;
    // Opens a script in the text editor; tests replace it.
    std::function<void(const std::string &path)> m_open_script;

    QListWidget *List() const { return m_list; }

  protected:
    // A scripts window of another handle with its own title and scripts folder; the controls
    // are those of this window, laid out in Layout() from the buttons down.
    ScriptsDlg(const char *title, int handle, std::function<std::string()> folder, QWidget *parent);

    void showEvent(QShowEvent *event) override;

    // Writes text to the error log and shows it.
    void Report(const std::string &text, int line);
    std::string SelectedText() const;
    // Only Stop enabled: the handle runs.
    void ShowRunningButtons();
    void RestoreIdleButtons();
    // The folder the listed scripts live in.
    std::string Folder() const { return m_folder(); }
    QVBoxLayout *Layout() const { return m_layout; }
    QLineEdit *CurrentLine() const { return m_current_line; }
    int Handle() const { return m_handle; }

  private:
    void RenameEntry(const std::string &entry);
    void DeleteEntry(const std::string &entry);
    void DuplicateEntry(const std::string &entry);

    int m_handle = 0;
    std::function<std::string()> m_folder;
    QVBoxLayout *m_layout = nullptr;
    QListWidget *m_list = nullptr;
    QLineEdit *m_current_line = nullptr;
};
