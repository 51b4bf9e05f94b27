#pragma once
// Shared fixture of the video and contrast tools: a data folder with its main settings file and
// error log, an image folder of 16-bit channel images of known levels, a recording message box
// whose worker calls reach the GUI thread through its own queue (a test may hold the worker after
// its n-th report), and the experiment windows installed as the program installs them.
#include "support/TempDir.h"
#include "support/gui/EventLoop.h"
#include "tools/gui/QueuedFakeUi.h"

#include "Ostravo/LogError.h"
#include "Ostravo/Profile.h"
#include "app/ExperimentServices.h"
#include "app/PlexorinApp.h"
#include "experiment/gui/ContrastDlg.h"
#include "experiment/gui/VideoDlg.h"
#include "platform/Files.h"

#include <QCoreApplication>
#include <QListWidget>
#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/videoio.hpp>

#include <condition_variable>
#include <filesystem>
#include <mutex>

namespace vantelis::test {

// Queues worker calls to the GUI thread; the n-th of them can hold its worker until released.
class HoldingUi : public QueuedFakeUi
{
  public:
    void RunOnGuiThread(std::function<void()> work, bool wait) override
    {
        const bool worker = QThread::currentThread() != qApp->thread();
        QueuedFakeUi::RunOnGuiThread(std::move(work), wait);
        if (!worker)
            return;
        std::unique_lock<std::mutex> lock(m_mutex);
        if (++m_posts == m_holdAt) {
            m_held = true;
            m_changed.wait(lock, [this] { return m_released; });
        }
    }
    void HoldAfterPost(int n)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_holdAt = n;
    }
    bool Held()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_held;
    }
    void Release()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_released = true;
        m_changed.notify_all();
    }

  private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    int m_posts = 0;
    int m_holdAt = -1;
    bool m_held = false;
    bool m_released = false;
};

class VideoToolFixture : public ::testing::Test
{
  protected:
    static constexpr int kWidth = 80;
    static constexpr int kHeight = 60;

    VideoToolFixture()
    {
        m_oldIni = theApp.m_ini_path;
        theApp.m_ini_path = m_dir.file("Plexorin.ini");
        std::filesystem::create_directories(m_dir.file("LOG"));
        std::filesystem::create_directories(m_dir.file("img"));
        SetLogDataDirectory(m_dir.str().c_str());
        m_previousUi = platform::ui::SetUi(m_ui);
        m_services = std::make_shared<ExperimentWindowServices>(nullptr);
        InstallExperimentServices(m_services);
    }
    ~VideoToolFixture() override
    {
        m_ui->Release();
        InstallExperimentServices(nullptr);
        m_services.reset(); // joins a running worker
        QCoreApplication::processEvents();
        platform::ui::SetUi(m_previousUi);
        SetLogDataDirectory("");
        theApp.m_ini_path = m_oldIni;
    }

    // The worker tests keep the window hidden: painting a shown window hands Qt's own image work to
    // Qt's thread pool, which the thread sanitizer cannot follow.
    VideoDlg &Video(bool visible = true)
    {
        Experiment().VideoTool().Create(visible);
        return *m_services->VideoDialog();
    }

    std::string Image(const std::string &name) const { return m_dir.file("img/" + name); }

    // A 16-bit grey image of one level.
    void WriteLevel(const std::string &name, uint16_t level, int width = kWidth, int height = kHeight)
    {
        ASSERT_TRUE(cv::imwrite(Image(name), cv::Mat(height, width, CV_16UC1, cv::Scalar(level))));
    }

    // Positions 1..n: v_<channel>_000k.png (v_<channel>_0010.png for 10).
    static std::string Name(const std::string &channel, int position)
    {
        char text[64];
        std::snprintf(text, sizeof text, "v_%s_%04d.png", channel.c_str(), position);
        return text;
    }

    void WriteSettings(const std::string &text) { WriteFileBytes(theApp.m_ini_path, text); }
    std::string Setting(const char *section, const char *key) const
    {
        char buffer[1024] = {0};
        Ostravo::E_GetPrivateProfileString(section, key, "<none>", buffer, sizeof(buffer),
                                           theApp.m_ini_path.c_str());
        return buffer;
    }

    static std::vector<std::string> ListTexts(ToolWindow &window, int id)
    {
        std::vector<std::string> texts;
        auto *list = window.ControlAs<QListWidget>(id);
        for (int row = 0; list && row < list->count(); ++row)
            texts.push_back(list->item(row)->text().toStdString());
        return texts;
    }
    static void Select(ToolWindow &window, int id, const std::vector<std::string> &names)
    {
        auto *list = window.ControlAs<QListWidget>(id);
        ASSERT_NE(list, nullptr);
        for (int row = 0; row < list->count(); ++row) {
            const std::string text = list->item(row)->text().toStdString();
            list->item(row)->setSelected(std::find(names.begin(), names.end(), text) != names.end());
        }
    }

    // The instrument names its images "<date>-<time>-<n>_<experiment>_<channel>_<position>.png":
    // only the position digits near the end tell the images of one channel apart.
    static std::string InstrumentName(const std::string &channel, int position)
    {
        char text[96];
        std::snprintf(text, sizeof text, "20240315-0930-05_Run1_%s_%04d.png", channel.c_str(), position);
        return text;
    }
    // Whether every name of a list fits the list's visible width whole (position digits and
    // extension included).
    static bool EveryNameFits(ToolWindow &window, int id)
    {
        auto *list = window.ControlAs<QListWidget>(id);
        if (!list || list->count() == 0)
            return false;
        for (int row = 0; row < list->count(); ++row) {
            const int text = list->fontMetrics().horizontalAdvance(list->item(row)->text());
            if (list->visualItemRect(list->item(row)).left() + text + 8 > list->viewport()->width())
                return false;
        }
        return true;
    }
    // Whether a list too narrow for a name draws it shortened in its middle, keeping its end, rather
    // than cut off at the right edge.
    static bool LongNamesLoseTheirMiddle(ToolWindow &window, int id)
    {
        auto *list = window.ControlAs<QListWidget>(id);
        return list && list->textElideMode() == Qt::ElideMiddle &&
               list->horizontalScrollBarPolicy() == Qt::ScrollBarAlwaysOff;
    }

    std::vector<std::string> Messages() const
    {
        std::vector<std::string> texts;
        for (const FakeUi::Message &m : m_ui->Messages())
            texts.push_back(m.text);
        return texts;
    }
    std::string ErrorLog() const
    {
        std::string text;
        for (const platform::DirEntry &entry : platform::ListFolder(m_dir.file("LOG"), "Err_*.log"))
            text += ReadFileBytes(m_dir.file("LOG/" + entry.name));
        return text;
    }

    // The frames of a video as decoded.
    static std::vector<cv::Mat> DecodeFrames(const std::string &path)
    {
        std::vector<cv::Mat> frames;
        cv::VideoCapture capture(path, cv::CAP_FFMPEG);
        cv::Mat frame;
        while (capture.isOpened() && capture.read(frame))
            frames.push_back(frame.clone());
        return frames;
    }

    TempDir m_dir;
    std::shared_ptr<HoldingUi> m_ui = std::make_shared<HoldingUi>();
    std::shared_ptr<platform::ui::UserInterface> m_previousUi;
    std::shared_ptr<ExperimentWindowServices> m_services;
    std::string m_oldIni;
};

} // namespace vantelis::test
