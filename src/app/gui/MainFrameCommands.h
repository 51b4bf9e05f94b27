#pragma once
// The main frame's command table: for each command id, its menu item, when it is enabled and what
// it runs. The menus, the enabling of menu items and toolbar buttons, and the dispatch of menu,
// toolbar and posted commands all read this one table (MainFrameCommands.cpp).
#include "app/gui/MainFrame.h"

#include <cstdint>

// The menus of the main frame, in the menu bar's order.
enum class FrameMenu : uint8_t
{
    None, // no menu item; reached by the toolbar, a posted id or a script
    File,
    Action,
    View,
    Window,
    Help,
};

struct CMainFrame::Command
{
    int id = 0;

    // ---- The menu item ----
    FrameMenu menu = FrameMenu::None;
    const char *text = nullptr;
    // The item's text in the menus shown with a document open; null: the same text.
    const char *documentText = nullptr;
    // Only the menus shown with a document open hold the item.
    bool documentOnly = false;
    bool separatorBefore = false;
    bool checkable = false;
    int shortcut = 0; // a key combination (QKeyCombination::toCombined); 0: none
    // The item is the place of the recent-file entries: a disabled text while there are none.
    bool recentFilesPlace = false;

    // ---- Enabling and dispatch ----
    // The active view decides whether the command is enabled and runs it; without a view it is
    // disabled. Such a command has no state or run of its own.
    bool viewCommand = false;
    // Whether the command is enabled (and checked, and with which text) now.
    CommandUi (*state)(const CMainFrame &frame) = nullptr;
    // Runs the enabled command.
    void (*run)(CMainFrame &frame, int id) = nullptr;
};
