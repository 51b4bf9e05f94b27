#pragma once
// A data folder with Scripts and LOG, a recording user interface whose RunOnGuiThread posts to the
// event loop as the program's does, and helpers to pump the loop and write screenshots.
#include "Ostravo/LogError.h"
#include "app/PlexorinApp.h"
#include "platform/Clock.h"
#include "platform/Sync.h"
#include "platform/Ui.h"
#include "script/CommandTable.h"
#include "script/ScriptRuntime.h"
#include "script/ScriptWaitWindows.h"
#include "support/FakeUi.h"
#include "support/TempDir.h"
#include "support/gui/EventLoop.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QPixmap>
#include <QThread>
#include <QWidget>
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <memory>
#include <string>

namespace vantelis::test {

// Records message boxes like FakeUi, but runs work for the user-interface thread on it: posted
// from another thread, at once on it.
class PostingFakeUi : public FakeUi
{
  public:
    void RunOnGuiThread(std::function<void()> work, bool wait) override
    {
        if (QThread::currentThread() == qApp->thread()) {
            work();
            return;
        }
        QMetaObject::invokeMethod(qApp, std::move(work),
                                  wait ? Qt::BlockingQueuedConnection : Qt::QueuedConnection);
    }
};

// The script "WaitWithTimer();\nPlaySound();\n" written to path, with WaitWithTimer running a
// countdown (text, seconds, countUp) and PlaySound counting in after how often a line past the
// wait ran. The handlers go when the object does.
class CountdownScript
{
  public:
    CountdownScript(const std::string &path, const char *text, int32_t seconds, int32_t countUp)
    {
        const std::string caption = text;
        RegisterCommandHandler(cmd::WaitWithTimer,
                               [caption, seconds, countUp](Script &instance, const char *, VariableList &,
                                                           bool checkOnly, EString &) {
                                   if (!checkOnly)
                                       RunCountdown(instance, caption, seconds, countUp);
                                   return true;
                               });
        RegisterCommandHandler(cmd::PlaySound,
                               [this](Script &, const char *, VariableList &, bool checkOnly, EString &) {
                                   if (!checkOnly)
                                       ++after;
                                   return true;
                               });
        WriteFileBytes(path, "WaitWithTimer();\nPlaySound();\n");
    }
    ~CountdownScript()
    {
        RegisterCommandHandler(cmd::WaitWithTimer, nullptr);
        RegisterCommandHandler(cmd::PlaySound, nullptr);
    }
    std::atomic<int> after{0};
};

// The Wait command, held on its line until the test lets it go.
class HeldCommand
{
  public:
    HeldCommand()
    {
        RegisterCommandHandler(cmd::Wait,
                               [this](Script &, const char *, VariableList &, bool checkOnly, EString &) {
                                   if (checkOnly)
                                       return true;
                                   m_entered.Set();
                                   m_release.Wait(platform::kInfinite);
                                   return true;
                               });
    }
    ~HeldCommand() { RegisterCommandHandler(cmd::Wait, nullptr); }
    platform::Event m_entered{true, false};
    platform::Event m_release{true, false};
};

class ScriptWindowsFixture : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        m_oldData = theApp.m_data_directory;
        m_oldAdmin = theApp.m_admin_mode;
        m_oldAnalysis = theApp.m_analysis_mode;
        m_oldPort = theApp.m_pump_port;
        theApp.m_data_directory = m_dir.str();
        theApp.m_analysis_mode = true;
        theApp.m_admin_mode = false;
        theApp.m_pump_port = 0;
        std::filesystem::create_directories(m_dir.path() / "LOG");
        std::filesystem::create_directories(m_dir.path() / "Includes");
        SetLogDataDirectory(m_dir.str().c_str());
        m_oldUi = platform::ui::SetUi(m_ui);
    }
    void TearDown() override
    {
        EXPECT_TRUE(ShutdownScriptRuntime());
        // Let posted work of the ended runs reach their windows before those go.
        Pump();
        platform::ui::SetUi(m_oldUi);
        SetLogDataDirectory("");
        theApp.m_data_directory = m_oldData;
        theApp.m_admin_mode = m_oldAdmin;
        theApp.m_analysis_mode = m_oldAnalysis;
        theApp.m_pump_port = m_oldPort;
        platform::ClearFakeClock();
    }

    static void Pump()
    {
        for (int i = 0; i < 5; ++i)
            QCoreApplication::processEvents();
    }
    std::string ErrorLog() const
    {
        std::string text;
        for (const auto &entry : std::filesystem::directory_iterator(m_dir.path() / "LOG"))
            if (entry.path().filename().string().rfind("Err_", 0) == 0)
                text += ReadFileBytes(entry.path().string());
        return text;
    }
    static void Screenshot(QWidget *window, const std::string &name)
    {
        std::filesystem::create_directories("/tmp/shots");
        EXPECT_TRUE(window->grab().save(QString::fromStdString("/tmp/shots/" + name + ".png")));
    }

    TempDir m_dir;
    std::shared_ptr<PostingFakeUi> m_ui = std::make_shared<PostingFakeUi>();
    std::shared_ptr<platform::ui::UserInterface> m_oldUi;
    std::string m_oldData;
    bool m_oldAdmin = false;
    bool m_oldAnalysis = false;
    int32_t m_oldPort = 0;
};

} // namespace vantelis::test
