#pragma once
// A main window for tests that only records the commands posted to it (from any thread).
#include "app/GuiSeam.h"

#include <mutex>
#include <vector>

namespace vantelis::test {

class PostRecordingFramework : public AppFramework
{
  public:
    bool PrepareFramework(std::string &) override { return true; }
    DocumentTemplate *CreateDocumentTemplate() override { return nullptr; }
    bool CreateMainFrame() override { return true; }
    bool HasMainWindow() const override { return true; }
    void PostCommand(int commandId, intptr_t) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_posted.push_back(commandId);
    }
    bool SaveReferenceImage(const std::string &, std::string &, bool) override { return false; }
    void WakeIdle() override {}
    bool FrameworkIdle(int32_t) override { return false; }
    void ExitFramework() override {}
    std::vector<int> Posted()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_posted;
    }

  private:
    std::mutex m_mutex;
    std::vector<int> m_posted;
};

} // namespace vantelis::test
