#pragma once
// "System State": the configured volume, plunger displacement, flow rate and valve of the two
// syringe pumps, read from the pumps, and two groups of digital I/O line boxes. The pumps are
// asked on a refresh thread of the window's own, so a slow or absent pump never blocks the user
// interface; the values of one refresh are drawn on the user-interface thread. The window
// refreshes once when it is shown and then every 2.5 s until it is hidden. The thread lives as
// long as the window, or until StopRefreshThread.
#include "tools/gui/ToolWindowKit.h"

#ifndef Q_MOC_RUN
#include "platform/Sync.h"
#endif

#include <QPointer>

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>

class QTimer;

class SystemStateDlg : public ToolWindow
{
    Q_OBJECT
  public:
    static constexpr int kRefreshTimer = 1000;
    static constexpr int kRefreshPeriodMs = 2500;
    // " D I/O Port 0" lines 0 to 7 and " D I/O Port 1" lines 0 to 3.
    static constexpr int kPort0FirstLineId = 1001;
    static constexpr int kPort0Lines = 8;
    static constexpr int kPort1FirstLineId = 1011;
    static constexpr int kPort1Lines = 4;
    // The pump boxes; pump 2's box is the pump 1 id + 1.
    static constexpr int kConfiguredVol1Id = 1021;
    static constexpr int kDisplacement1Id = 1023;
    static constexpr int kRate1Id = 1025;
    static constexpr int kValve1Id = 1027;

    explicit SystemStateDlg(QWidget *parent = nullptr);
    ~SystemStateDlg() override;

    // Asks the refresh thread for a refresh; one that arrives while a refresh runs is absorbed by
    // it. Any thread.
    void RequestRefresh();
    // One refresh (refresh thread): asks the pumps and hands what they answered to the
    // user-interface thread. True when every steady query succeeded.
    bool RefreshState();
    // Ends the refresh thread after its current query and waits for it. User-interface thread.
    void StopRefreshThread();

    // The refreshes drawn so far (user-interface thread), for those who wait for one.
    int RefreshesDrawn() const { return m_drawn; }
    bool RefreshTimerActive() const;
    int RefreshTimerInterval() const;

  protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

  private:
    // What one refresh read: the configured volumes when asked for, then the steady values in
    // query order up to the first failure.
    struct Reading
    {
        bool configuredRead[2] = {false, false};
        std::string configured[2];
        int steadyCount = 0;
        std::string steady[6];
    };
    void RefreshThreadProc();
    void OnTimer();
    void Draw(const Reading &reading);

    platform::Event m_refresh_event{true, false};
    std::atomic<bool> m_stop{false};
    // Refresh thread only: the configured volume boxes that hold a value.
    bool m_configured_shown[2] = {false, false};
    QPointer<QWidget> m_self;
    QTimer *m_timer = nullptr;
    int m_drawn = 0;
    std::thread m_thread;
};
