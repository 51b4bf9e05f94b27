#include "app/gui/AppMainWindow.h"

#include "app/PlexorinApp.h"

AppMainWindow::AppMainWindow(QWidget *parent) : QMainWindow(parent)
{
    setWindowTitle(QString::fromLatin1(theApp.m_product_name.c_str()));
    resize(1280, 800);
}
