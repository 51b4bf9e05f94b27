#include "app/gui/AppMainWindow.h"

#include "app/PlexorinApp.h"
#include "platform/gui/QtText.h"

AppMainWindow::AppMainWindow(QWidget *parent) : QMainWindow(parent)
{
    setWindowTitle(platform::gui::ToQt(theApp.m_product_name));
    resize(1280, 800);
}
