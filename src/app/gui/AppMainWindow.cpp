#include "app/gui/AppMainWindow.h"

#include "app/PlexorinApp.h"
#include "platform/gui/QtText.h"

#include <QApplication>
#include <QCloseEvent>

namespace {

// Whether RunEventLoop's loop runs (GUI thread only). Ending the loop is left to it: an exit asked
// for outside it would make every later event loop of the thread end at once.
bool g_inEventLoop = false;

} // namespace

AppMainWindow::AppMainWindow(QWidget *parent) : QMainWindow(parent)
{
    setWindowTitle(platform::gui::ToQt(theApp.m_product_name));
    resize(1280, 800);
}

int AppMainWindow::RunEventLoop()
{
    g_inEventLoop = true;
    const int status = QApplication::exec();
    g_inEventLoop = false;
    return status;
}

void AppMainWindow::closeEvent(QCloseEvent *event)
{
    QMainWindow::closeEvent(event);
    // Qt keeps its loop alive while any window is visible, and the tool and script windows have no
    // parent: without this the process would stay, windowless, with its scripts still running.
    if (event->isAccepted() && g_inEventLoop)
        QCoreApplication::exit(0);
}
