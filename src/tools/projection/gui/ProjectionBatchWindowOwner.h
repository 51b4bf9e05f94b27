#pragma once
// The projection batch window: made on first use and kept, hidden or shown, until the program ends.
#include "app/ToolServices.h"

#include <memory>

class ProjectionBatchWindow;

class ProjectionBatchWindowOwner : public ProjectionToolWindow
{
  public:
    ProjectionBatchWindowOwner();
    ~ProjectionBatchWindowOwner() override;

    ModelessWindow &Window() override;
    void GetCalibrationLines(int32_t lines[4]) override;
    bool SaveCalibrationLine(const char *key, int32_t row) override;

    // The window once it exists; null before. User-interface thread.
    ProjectionBatchWindow *Dialog() const;

  private:
    class Lazy;
    std::unique_ptr<Lazy> m_window;
};

// Installs the projection batch window as the projection tool window; returns its owner.
std::shared_ptr<ProjectionBatchWindowOwner> InstallProjectionBatchWindowOwner();
