#pragma once
// The base of the program's main window (CMainFrame): a main window titled with the product name.
// Commands posted to it through the framework seam arrive as commandPosted on the GUI thread.
// Closing it (File > Exit included) ends the program's event loop.
#include <QMainWindow>

class QCloseEvent;

class AppMainWindow : public QMainWindow
{
    Q_OBJECT
  public:
    explicit AppMainWindow(QWidget *parent = nullptr);

    // Runs the program's event loop (QApplication::exec) and returns its result. A main window
    // that closes meanwhile ends it, also while windows without a parent (tool windows, the
    // script's countdown and message windows) are still shown, so the program's exit runs.
    static int RunEventLoop();

  protected:
    void closeEvent(QCloseEvent *event) override;

  signals:
    // A command posted through the framework seam (id and its parameter).
    void commandPosted(int commandId, qintptr parameter);
};
