#include "app/gui/IdleDriver.h"

#include "app/PlexorinApp.h"

#include <QAbstractEventDispatcher>
#include <QThread>

IdleDriver::IdleDriver(CPlexorinApp &app, QObject *parent) : QObject(parent), m_app(app)
{
    QAbstractEventDispatcher *dispatcher = QAbstractEventDispatcher::instance(thread());
    connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, this, &IdleDriver::OnAboutToBlock,
            Qt::DirectConnection);
}

void IdleDriver::OnAboutToBlock()
{
    // A dialog's own event loop inside an idle request must not start another idle call.
    if (m_inIdle)
        return;
    m_inIdle = true;
    bool more = m_app.OnIdle(m_count);
    m_inIdle = false;
    if (more) {
        ++m_count;
        if (QAbstractEventDispatcher *dispatcher = QAbstractEventDispatcher::instance(thread()))
            dispatcher->wakeUp();
    } else {
        m_count = 0;
    }
}
