#pragma once
// Runs the application's idle handler on the Qt event loop: each time the loop is about to wait
// for events (its queue is empty), OnIdle is called; while it asks for more, the loop is woken so
// that pending events go first and the next idle call follows.
#include <QObject>
#include <cstdint>

class CPlexorinApp;

class IdleDriver : public QObject
{
    Q_OBJECT
  public:
    explicit IdleDriver(CPlexorinApp &app, QObject *parent = nullptr);

  private:
    void OnAboutToBlock();

    CPlexorinApp &m_app;
    int32_t m_count = 0;
    bool m_inIdle = false;
};
