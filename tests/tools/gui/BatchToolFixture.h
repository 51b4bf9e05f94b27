#pragma once
// Shared fixture of the batch tool windows (image analysis and parameter sweep): the counting
// window fixture (data folder, LIB, magnets 60 / 240, disc images, installed tool windows) with a
// user interface whose worker reports really reach the GUI thread, a test may hold the worker right
// after a report, and opened files are recorded instead of launched.
#include "CountingWindowFixture.h"
#include "QueuedFakeUi.h"

#include "platform/Process.h"
#include "platform/Ui.h"

#include <QApplication>
#include <QListWidget>
#include <QThread>

#include <condition_variable>
#include <mutex>

namespace vantelis::test {

// Runs work on the GUI thread as the program's interface does; the n-th report of a worker thread
// can hold that worker until the test releases it.
class GuiThreadUi : public QueuedFakeUi
{
  public:
    void RunOnGuiThread(std::function<void()> work, bool wait) override
    {
        if (QThread::currentThread() == qApp->thread()) {
            work();
            return;
        }
        QueuedFakeUi::RunOnGuiThread(std::move(work), wait);
        std::unique_lock<std::mutex> lock(m_holdMutex);
        if (++m_posts == m_holdAt) {
            m_held = true;
            m_changed.wait(lock, [this] { return m_released; });
        }
    }
    void HoldAfterPost(int n)
    {
        std::lock_guard<std::mutex> lock(m_holdMutex);
        m_holdAt = n;
    }
    bool Held()
    {
        std::lock_guard<std::mutex> lock(m_holdMutex);
        return m_held;
    }
    void Release()
    {
        std::lock_guard<std::mutex> lock(m_holdMutex);
        m_released = true;
        m_changed.notify_all();
    }

  private:
    std::mutex m_holdMutex;
    std::condition_variable m_changed;
    int m_posts = 0;
    int m_holdAt = -1;
    bool m_held = false;
    bool m_released = false;
};

// Records what would have been started.
class RecordingLauncher : public platform::ProcessLauncher
{
  public:
    bool Start(const std::string &program, const std::vector<std::string> &args, std::string *) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        std::string call = program;
        for (const std::string &arg : args)
            call += " " + arg;
        m_started.push_back(call);
        return true;
    }
    bool Run(const std::string &, const std::vector<std::string> &, std::string *, int *,
             std::string *) override
    {
        return false;
    }
    std::vector<std::string> Started()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_started;
    }

  private:
    std::mutex m_mutex;
    std::vector<std::string> m_started;
};

class BatchToolFixture : public CountingWindowFixture
{
  protected:
    BatchToolFixture()
    {
        m_previousUi = platform::ui::SetUi(m_gui);
        m_previousLauncher = platform::SetLauncher(m_launcher);
        std::filesystem::create_directories(m_dir.file("images"));
        std::string error;
        EXPECT_TRUE(WriteCountingParamsFile(m_dir.file("LIB/Discs.counting_params"), DiscControls(), error));
    }
    ~BatchToolFixture() override
    {
        m_gui->Release();
        platform::SetLauncher(m_previousLauncher);
        platform::ui::SetUi(m_previousUi);
    }

    std::string ImageFolder() const { return m_dir.file("images"); }

    // Three images with one, two and three discs, all well inside the counting region.
    void WriteThreeDiscImages()
    {
        WriteImage(m_dir.file("images/a.png"), DiscImage(300, 400, {{100, 100}}));
        WriteImage(m_dir.file("images/b.png"), DiscImage(300, 400, {{100, 100}, {200, 150}}));
        WriteImage(m_dir.file("images/c.png"), DiscImage(300, 400, {{100, 100}, {200, 150}, {300, 200}}));
    }

    // Selects the named entries of list 1221 (all when names is empty).
    static void Select(ToolWindow &window, const std::vector<std::string> &names = {})
    {
        auto *list = window.ControlAs<QListWidget>(1221);
        ASSERT_NE(list, nullptr);
        for (int row = 0; row < list->count(); ++row) {
            const std::string text = list->item(row)->text().toStdString();
            const bool wanted = names.empty() || std::find(names.begin(), names.end(), text) != names.end();
            list->item(row)->setSelected(wanted);
        }
    }

    std::vector<std::string> Shown() const
    {
        std::vector<std::string> texts;
        for (const FakeUi::Message &m : m_gui->Messages())
            texts.push_back(m.text);
        return texts;
    }

    // Folders made inside folder, sorted.
    static std::vector<std::string> Subfolders(const std::string &folder)
    {
        std::vector<std::string> names;
        for (const auto &entry : std::filesystem::directory_iterator(folder))
            if (entry.is_directory())
                names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    static std::vector<std::string> Lines(const std::string &bytes)
    {
        std::vector<std::string> lines;
        size_t start = 0;
        while (start < bytes.size()) {
            size_t end = bytes.find('\n', start);
            if (end == std::string::npos)
                end = bytes.size();
            std::string line = bytes.substr(start, end - start);
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            lines.push_back(line);
            start = end + 1;
        }
        return lines;
    }

    std::shared_ptr<GuiThreadUi> m_gui = std::make_shared<GuiThreadUi>();
    std::shared_ptr<RecordingLauncher> m_launcher = std::make_shared<RecordingLauncher>();
    std::shared_ptr<platform::ui::UserInterface> m_previousUi;
    std::shared_ptr<platform::ProcessLauncher> m_previousLauncher;
};

} // namespace vantelis::test
