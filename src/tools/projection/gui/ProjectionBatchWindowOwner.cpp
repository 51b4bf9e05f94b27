#include "tools/projection/gui/ProjectionBatchWindowOwner.h"

#include "tools/gui/LazyCalibrationWindow.h"
#include "tools/projection/gui/ProjectionBatchWindow.h"

class ProjectionBatchWindowOwner::Lazy : public LazyCalibrationWindow<ProjectionBatchWindow>
{
};

ProjectionBatchWindowOwner::ProjectionBatchWindowOwner() : m_window(std::make_unique<Lazy>()) {}

ProjectionBatchWindowOwner::~ProjectionBatchWindowOwner() = default;

ModelessWindow &ProjectionBatchWindowOwner::Window()
{
    return *m_window;
}

void ProjectionBatchWindowOwner::GetCalibrationLines(int32_t lines[4])
{
    m_window->GetCalibrationLines(lines);
}

bool ProjectionBatchWindowOwner::SaveCalibrationLine(const char *key, int32_t row)
{
    return m_window->SaveCalibrationLine(key, row);
}

ProjectionBatchWindow *ProjectionBatchWindowOwner::Dialog() const
{
    return m_window->Dialog();
}

std::shared_ptr<ProjectionBatchWindowOwner> InstallProjectionBatchWindowOwner()
{
    auto window = std::make_shared<ProjectionBatchWindowOwner>();
    InstallProjectionToolWindow(window);
    return window;
}
