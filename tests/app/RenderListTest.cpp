#include "app/RenderList.h"

#include "Ostravo/LogError.h"
#include "app/AppGlobals.h"
#include "app/Renderer.h"
#include "platform/Files.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace {

// Windows that write the order in which frames reach them into one shared journal.
struct Journal
{
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<std::string> entries;

    void Add(const std::string &entry)
    {
        std::lock_guard<std::mutex> lock(mutex);
        entries.push_back(entry);
        changed.notify_all();
    }
    // Waits (generously) until count entries were written.
    bool WaitFor(size_t count)
    {
        std::unique_lock<std::mutex> lock(mutex);
        return changed.wait_for(lock, std::chrono::seconds(20), [&] { return entries.size() >= count; });
    }
    std::vector<std::string> Entries()
    {
        std::lock_guard<std::mutex> lock(mutex);
        return entries;
    }
};

class JournalTarget : public RenderTarget
{
  public:
    JournalTarget(Journal &journal, std::string name) : m_journal(journal), m_name(std::move(name)) {}
    bool IsWindow() const override { return open; }
    void Present(const cv::Mat &, cv::Point) override { m_journal.Add("drawn " + m_name); }
    std::atomic<bool> open{true};

  private:
    Journal &m_journal;
    std::string m_name;
};

class JournalApp : public RenderAppLink
{
  public:
    explicit JournalApp(Journal &journal) : m_journal(journal) {}
    std::string MainSettingsPath() override { return {}; }
    cv::Mat BackgroundImage(int) override { return {}; }
    std::string ImageTypeComboText() override { return {}; }
    bool QueueCloseDocument(const std::string &path) override
    {
        m_journal.Add("close " + path);
        return true;
    }

  private:
    Journal &m_journal;
};

class ShownTools : public RenderToolLink
{
  public:
    bool ProjectionToolShown(CalibrationLines &lines) override
    {
        lines = CalibrationLines{1, 2, 3, 4};
        return projection;
    }
    bool FractionationToolShown(CalibrationLines &lines) override
    {
        lines = CalibrationLines{5, 6, 7, 8};
        return fractionation;
    }
    bool projection = false, fractionation = false;
};

// A job for path whose lower intensity tells the jobs of one path apart.
std::unique_ptr<RenderJob> Job(const std::string &path, uint16_t tag = 0,
                               std::shared_ptr<RenderTarget> target = nullptr)
{
    auto job = std::make_unique<RenderJob>();
    job->image = cv::Mat(8, 8, CV_16UC1, cv::Scalar(100));
    job->target_rect = ImageRect{0, 0, 8, 8};
    job->path = path;
    job->lower_intensity = tag;
    job->upper_intensity = 1000;
    job->target_window = std::move(target);
    return job;
}

class RenderListTest : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        platform::MakeFolder(dir.file("LOG"));
        previousLogFolder = GetLogSettings().dataDirectory;
        SetLogDataDirectory(dir.str().c_str());
        _shown_calibration_lines.Set(CalibrationLines{});
        _saved_calibration_lines.Set(SavedCalibrationLines{});
    }
    void TearDown() override
    {
        SetLogDataDirectory(previousLogFolder.c_str());
        _shown_calibration_lines.Set(CalibrationLines{});
        _saved_calibration_lines.Set(SavedCalibrationLines{});
    }
    std::string ErrorLogText()
    {
        std::string text;
        for (const auto &entry : platform::ListFolder(dir.file("LOG"), "Err_*.log"))
            text += vantelis::test::ReadFileBytes(dir.file("LOG/" + entry.name));
        return text;
    }

    vantelis::test::TempDir dir;
    std::string previousLogFolder;
    RenderList list;
};

} // namespace

TEST_F(RenderListTest, ANewerJobForThePathReplacesTheWaitingOneInItsSlot)
{
    for (uint16_t tag : {1, 2, 3}) {
        auto job = Job("A.png", tag);
        ASSERT_TRUE(list.Add(job));
        EXPECT_FALSE(job) << "the list owns an accepted job";
    }
    EXPECT_EQ(list.QueuedPaths(), (std::vector<std::string>{"A.png"}));

    // A, B, A: the second A takes the first one's slot, before B.
    auto b = Job("B.png", 4);
    ASSERT_TRUE(list.Add(b));
    auto a = Job("A.png", 5);
    ASSERT_TRUE(list.Add(a));
    EXPECT_EQ(list.QueuedPaths(), (std::vector<std::string>{"A.png", "B.png"}));
    EXPECT_EQ(list.TakeOldest()->lower_intensity, 5);
    EXPECT_EQ(list.TakeOldest()->lower_intensity, 4);

    // Live images have no path; two of them are the same image. Paths compare byte for byte.
    auto live1 = Job("", 6), live2 = Job("", 7), upper = Job("a.png", 8);
    ASSERT_TRUE(list.Add(live1));
    ASSERT_TRUE(list.Add(live2));
    ASSERT_TRUE(list.Add(upper));
    EXPECT_EQ(list.QueuedPaths(), (std::vector<std::string>{"", "a.png"}));
    EXPECT_EQ(list.TakeOldest()->lower_intensity, 7);
}

TEST_F(RenderListTest, OverflowAtTheHundredAndFirstPath)
{
    for (int k = 0; k < kRenderListSlots; ++k) {
        auto job = Job("image" + std::to_string(k) + ".png");
        ASSERT_TRUE(list.Add(job)) << k;
    }
    auto extra = Job("image100.png");
    std::string error;
    EXPECT_FALSE(list.Add(extra, &error));
    EXPECT_EQ(error, "Render List Overflow.");
    EXPECT_TRUE(extra) << "a refused job stays with its caller";
    EXPECT_NE(ErrorLogText().find("\tRender List Overflow.\r\n"), std::string::npos);
    EXPECT_EQ(list.QueuedPaths().size(), 100u);

    // A job for one of the waiting paths is still accepted: it replaces that job.
    auto again = Job("image50.png", 9);
    EXPECT_TRUE(list.Add(again));
    EXPECT_EQ(list.QueuedPaths()[50], "image50.png");

    // Once the oldest job is taken, the last slot is free for the new path.
    EXPECT_EQ(list.TakeOldest()->path, "image0.png");
    EXPECT_TRUE(list.Add(extra));
    const std::vector<std::string> paths = list.QueuedPaths();
    ASSERT_EQ(paths.size(), 100u);
    EXPECT_EQ(paths.front(), "image1.png");
    EXPECT_EQ(paths.back(), "image100.png");
}

TEST_F(RenderListTest, WakeUpIsResetOnlyWhenTheListIsFoundEmpty)
{
    EXPECT_TRUE(list.WakeUpSet()) << "created set";
    EXPECT_EQ(list.TakeOldest(), nullptr);
    EXPECT_FALSE(list.WakeUpSet());
    auto job = Job("A.png");
    ASSERT_TRUE(list.Add(job));
    EXPECT_TRUE(list.WakeUpSet());
    ASSERT_NE(list.TakeOldest(), nullptr);
    EXPECT_TRUE(list.WakeUpSet()) << "taking a job leaves the event for the next round";
    EXPECT_EQ(list.TakeOldest(), nullptr);
    EXPECT_FALSE(list.WakeUpSet());
}

TEST_F(RenderListTest, ThreadDrawsInOrderDropsWhatItCannotDrawAndCarriesOn)
{
    Journal journal;
    auto app = std::make_shared<JournalApp>(journal);
    Renderer renderer(RenderLinks{app, nullptr, nullptr, nullptr, nullptr});
    auto viewA = std::make_shared<JournalTarget>(journal, "A");
    auto viewB = std::make_shared<JournalTarget>(journal, "B");
    auto closed = std::make_shared<JournalTarget>(journal, "closed");
    auto viewC = std::make_shared<JournalTarget>(journal, "C");
    closed->open = false;

    // Queued before the thread starts: A; a closed window asking for its document to be closed;
    // an 8-bit image the renderer cannot draw; B; then C.
    auto a = Job("A.png", 0, viewA);
    auto gone = Job("gone.png", 0, closed);
    gone->m_close_after = true;
    auto bad = Job("bad.png", 0, viewB);
    bad->image = cv::Mat(8, 8, CV_8UC1, cv::Scalar(1));
    auto b = Job("B.png", 0, viewB);
    auto c = Job("C.png", 0, viewC);
    for (auto *job : {&a, &gone, &bad, &b, &c})
        ASSERT_TRUE(list.Add(*job));

    RenderThread thread(list, renderer);
    thread.Start();
    ASSERT_TRUE(journal.WaitFor(4));
    EXPECT_EQ(journal.Entries(),
              (std::vector<std::string>{"drawn A", "close gone.png", "drawn B", "drawn C"}));

    // The thread still serves jobs added later.
    auto later = Job("later.png", 0, viewA);
    ASSERT_TRUE(list.Add(later));
    ASSERT_TRUE(journal.WaitFor(5));
    EXPECT_EQ(journal.Entries().back(), "drawn A");
    thread.Stop();

    const std::string log = ErrorLogText();
    EXPECT_NE(log.find("gone.png no longer exists"), std::string::npos);
    EXPECT_NE(log.find("bad.png"), std::string::npos);
}

TEST_F(RenderListTest, ToolLinesAreShownInPlaceOfTheViewsAndPutBack)
{
    ShownTools tools;
    const CalibrationLines view{400, 1500, 100, 1800};
    _shown_calibration_lines.Set(view);

    tools.projection = true;
    tools.fractionation = true; // the projection tool comes first
    ShowToolCalibrationLines(tools);
    EXPECT_EQ(_shown_calibration_lines.Get(), (CalibrationLines{1, 2, 3, 4}));

    tools.projection = false; // still a tool shown: the view's lines stay saved
    ShowToolCalibrationLines(tools);
    EXPECT_EQ(_shown_calibration_lines.Get(), (CalibrationLines{5, 6, 7, 8}));

    tools.fractionation = false;
    ShowToolCalibrationLines(tools);
    EXPECT_EQ(_shown_calibration_lines.Get(), view);
    EXPECT_FALSE(_saved_calibration_lines.Get().saved);

    // Without a tool nothing changes.
    _shown_calibration_lines.Set(CalibrationLines{9, 9, 9, 9});
    ShowToolCalibrationLines(tools);
    EXPECT_EQ(_shown_calibration_lines.Get(), (CalibrationLines{9, 9, 9, 9}));
}

TEST_F(RenderListTest, StartUpStartsAndExitStopsTheProcessRenderThread)
{
    Journal journal;
    InstallRenderThread(
        RenderLinks{std::make_shared<JournalApp>(journal), nullptr, nullptr, nullptr, nullptr});
    ASSERT_TRUE(StartRenderThread());
    auto view = std::make_shared<JournalTarget>(journal, "view");
    auto job = Job("view.png", 0, view);
    job->m_close_after = true;
    ASSERT_TRUE(AddToRenderList(job));
    ASSERT_TRUE(journal.WaitFor(2));
    EXPECT_EQ(journal.Entries(), (std::vector<std::string>{"drawn view", "close view.png"}));
    StopRenderThread();
    SetRenderThreadHooks(nullptr, nullptr);
    EXPECT_TRUE(_render_list.QueuedPaths().empty());
}
