#pragma once
// The multi-document main window: the image documents in an MDI area, the menus (one set without a
// document, one with), the toolbar with the image-type combo, the status bar with the script and
// pixel panes, and the commands that open the tool windows. Every command, whether it comes from a
// menu, the toolbar, a shortcut or is posted by the operator screen, the script engine or another
// window, goes through OnCommand by its numeric id, so a posted id runs exactly as the menu item.
// The frame decides which commands are enabled from analysis mode, admin mode, the device ports
// and a few settings; it is the only writer of admin mode. The menus, the enabling and the dispatch
// all read one command table (MainFrameCommands.h).
#include "app/gui/AppMainWindow.h"

#include <QPointer>
#include <QTimer>

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

class CImageView;
class CPlexorinApp;
class CToolBarEx;
class ModelessWindow;
class QAction;
class QLabel;
class QMdiArea;
class QMenu;

// The system command that asks to minimise the main window.
constexpr int kScMinimize = 0xF020;

// What the update handlers say about one command.
struct CommandUi
{
    bool handled = false; // some handler takes the command; a command nobody takes is disabled
    bool enabled = false;
    bool checked = false;
    std::string text; // a text the handler sets; empty keeps the menu's own
};

class CMainFrame : public AppMainWindow
{
    Q_OBJECT
  public:
    explicit CMainFrame(CPlexorinApp &app, QWidget *parent = nullptr);
    ~CMainFrame() override;

    // The one main frame, or null before it is made and after it is gone.
    static CMainFrame *Get();

    // False when a part of the window could not be made.
    bool Created() const { return m_created; }

    CPlexorinApp &App() const { return m_app; }
    QMdiArea *MdiArea() const { return m_mdi; }
    CToolBarEx *ToolBar() const { return m_toolbar; }
    // Status-bar panes: 1 the script pane, 2 the pixel pane.
    QLabel *Pane(int index) const;
    void SetPaneText(int index, const std::string &text);
    std::string PaneText(int index) const;

    // ---- The command path ---------------------------------------------------------------------
    // Runs a command now, as the menu does: 1364 re-initialises the serial devices; any other id
    // runs only while its update handler enables it. False when nothing ran.
    bool OnCommand(int id, intptr_t parameter = 0);
    // Queues a command for the event loop (as posting it to the window does).
    void PostCommand(int id, intptr_t parameter = 0);
    // The command table's answer for a command (a view's command asks the active view); a command
    // the table lacks is disabled.
    CommandUi QueryCommandUi(int id) const;
    bool IsCommandEnabled(int id) const { return QueryCommandUi(id).enabled; }
    // Brings the toolbar, the menus and the status-bar panes up to date (the idle update).
    void OnIdleUpdateCmdUI();

    // Menus: the set in the menu bar, by title; Action menu items as shown (separators empty).
    bool DocumentMenusShown() const { return m_document_menus_shown; }
    QMenu *Menu(const std::string &title) const;
    std::vector<std::string> MenuTitles() const;
    std::vector<std::string> MenuItemTexts(const std::string &title) const;
    // The item of a command in the menus shown; null when it has none.
    QAction *MenuAction(int id) const;

    // ---- Handlers other parts call --------------------------------------------------------------
    // Admin mode: up to three password tries.
    void OnAdminMode();
    // A system command; a minimise request is refused while long work runs. False when refused.
    bool OnSysCommand(int command);
    // The refusal text for a minimise request now; empty when it may go ahead.
    std::string MinimizeRefusal() const;
    // Whether the desktop session may end now.
    bool OnQueryEndSession() const;

    void StartExperimentWorkflow();
    void StopExperimentWorkflow();

    // Service commands.
    void RunUserInterface();
    void OnCustomerUI();
    void OnManual();
    void OnCloseLiveImage();
    void OnRowFlatField();
    void OnMontage();
    void OnReinitializeSerialDevices();
    // The instrument manual file.
    std::string ManualPath() const;

    // Application commands.
    void OnAppAbout();
    void OnFileOpen();
    void OnLiveImage();
    void OnStartExperimentWorkflowCommand();

    // How the serial re-initialisation waits between its tries (milliseconds).
    std::function<void(uint32_t)> m_wait;

  protected:
    void changeEvent(QEvent *event) override;
    // Image files dropped on the window open as documents.
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;

  private:
    struct Command;
    struct MenuSet
    {
        std::vector<QMenu *> menus;
        std::multimap<int, QAction *> actions;
        QMenu *file = nullptr;
        QMenu *window = nullptr;
        std::vector<QAction *> recent;
        QAction *recent_place = nullptr;
    };

    bool OnCreate();
    void BuildMenus(MenuSet &set, bool withDocument);
    QAction *AddItem(MenuSet &set, QMenu *menu, int id, const char *text);
    void AddCommandItem(MenuSet &set, QMenu *menu, const Command &command, bool withDocument);
    void ShowMenuSet(bool withDocument);
    void UpdateMenuSet();
    void UpdateMenu(QMenu *menu);
    void UpdateAction(QAction *action, int id);
    void FillRecentFiles(MenuSet &set);
    void FillWindowMenu(MenuSet &set);
    void UpdateTitle();

    // The command table (app/gui/MainFrameCommands.h): each command's menu item, enabling rule
    // and handler, in the order of the menu items.
    static const std::vector<Command> &CommandTable();
    // The table's entry of a command; null when the frame has none.
    static const Command *FindCommand(int id);

    bool OnCmdMsg(int id);
    // The active view's answer for one of its commands.
    CommandUi ViewCommandUi(int id) const;
    CImageView *ActiveView() const;
    bool AdminModeAllowed() const;
    bool ZaberEnabled() const;

    // Creates the window on first use and shows it; later, hides it when visible and shows it
    // when hidden.
    static void Toggle(ModelessWindow &window);
    // Creates the window on first use and shows it when hidden; never hides it.
    static void Show(ModelessWindow &window);

    CPlexorinApp &m_app;
    bool m_created = false;
    QMdiArea *m_mdi = nullptr;
    CToolBarEx *m_toolbar = nullptr;
    QLabel *m_panes[3] = {nullptr, nullptr, nullptr};
    MenuSet m_no_document_menus;
    MenuSet m_document_menus;
    bool m_document_menus_shown = false;
    QTimer m_idle_timer;
    // The tick of the last live-image close.
    uint64_t m_last_live_image_close = 0;
};

// The text of the main frame's image-type combo; empty without a frame or a combo. Any thread.
std::string ImageTypeComboText();
