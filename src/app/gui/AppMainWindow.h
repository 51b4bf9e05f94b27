#pragma once
// The base of the program's main window (CMainFrame): a main window titled with the product name.
// Commands posted to it through the framework seam arrive as commandPosted on the GUI thread.
#include <QMainWindow>

class AppMainWindow : public QMainWindow
{
    Q_OBJECT
  public:
    explicit AppMainWindow(QWidget *parent = nullptr);

  signals:
    // A command posted through the framework seam (id and its parameter).
    void commandPosted(int commandId, qintptr parameter);
};
