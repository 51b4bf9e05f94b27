#pragma once
// The ROI manager and chooser windows: the manager is made on first use and kept, hidden or shown,
// until the program ends.
#include "app/ToolServices.h"

#include <atomic>
#include <memory>

class ROIManager;

class RoiToolWindows : public RoiWindows
{
  public:
    RoiToolWindows();
    ~RoiToolWindows() override;

    ModelessWindow &RoiManager() override;
    // Reaches the manager's fields on the user-interface thread, waiting for it.
    bool ShowCurrentRoi() override;
    bool RunChooseRoiDialog() override;

    // The manager once its window exists; null before. User-interface thread.
    ROIManager *Manager() const;

  private:
    class ManagerWindow;
    std::unique_ptr<ManagerWindow> m_manager;
};

// Installs the ROI lookup and the ROI windows; returns the windows.
std::shared_ptr<RoiToolWindows> InstallRoiToolWindows();
