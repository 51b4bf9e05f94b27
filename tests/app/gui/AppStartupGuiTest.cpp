// Start-up with the Qt framework: the main window, posted commands and idle processing on the Qt
// event loop.
#include "app/AppTestFixture.h"
#include "support/gui/EventLoop.h"

#include "app/AppServices.h"
#include "app/IdleQueues.h"
#include "app/gui/AppMainWindow.h"
#include "app/gui/IdleDriver.h"
#include "app/gui/QtAppFramework.h"
#include "app/gui/ToolbarEx.h"

#include <QApplication>
#include <QEventLoop>
#include <QSettings>
#include <QTimer>

#include <functional>
#include <thread>

namespace vantelis::test {
namespace {

class AppStartupGuiTest : public AppStartupFixture
{
  protected:
    AppStartupGuiTest() : m_configEnv("XDG_CONFIG_HOME", m_runtime.file("config"))
    {
        m_qt = std::make_shared<QtAppFramework>();
        SetFramework(m_qt);
    }
    ~AppStartupGuiTest() override
    {
        m_app.reset();
        SetFramework(nullptr);
        m_qt.reset();
        _close_document_queue.clear();
    }

    ScopedEnv m_configEnv;
    std::shared_ptr<QtAppFramework> m_qt;
};

TEST_F(AppStartupGuiTest, FourOrSixArgumentsOpenTheMainWindow)
{
    SeedDataFolder();
    const std::vector<std::string> cases[] = {
        {"-m", "/exp", "false", "out"},
        {"-m", "/exp", "false", "false", "out", "extra"},
    };
    for (const auto &args : cases) {
        m_app.reset();
        m_qt = std::make_shared<QtAppFramework>();
        SetFramework(m_qt);
        ASSERT_TRUE(Start(args));
        AppMainWindow *window = m_qt->MainWindow();
        ASSERT_NE(window, nullptr);
        EXPECT_TRUE(window->isVisible());
        EXPECT_EQ(window->windowTitle(), QStringLiteral("Vantelis"));
        EXPECT_TRUE(m_qt->HasMainWindow());
        EXPECT_EQ(m_app->m_doc_template, m_qt->DocumentTemplateObject());
        EXPECT_FALSE(Called("RunExperimentAnalysis:1:/exp:off:off:out"));
    }
}

TEST_F(AppStartupGuiTest, RecentFileListHoldsFourEntriesOfTheProgramsSettingsStore)
{
    SeedDataFolder();
    {
        // The maker's folder, then the program's name, among the user's other settings.
        QSettings store(QStringLiteral("Quorvane"), QStringLiteral("Vantelis"));
        EXPECT_TRUE(store.fileName().endsWith(QStringLiteral("/Quorvane/Vantelis.conf")))
            << store.fileName().toStdString();
        store.clear();
        for (int i = 1; i <= 5; ++i)
            store.setValue(QStringLiteral("Recent File List/File%1").arg(i),
                           QStringLiteral("/img/%1.png").arg(i));
    }
    ASSERT_TRUE(Start());
    EXPECT_EQ(m_qt->RecentFiles(),
              (std::vector<std::string>{"/img/1.png", "/img/2.png", "/img/3.png", "/img/4.png"}));

    // The list goes back to the same store at the end.
    m_qt->AddToRecentFileList("/img/new.png");
    m_qt->ExitFramework();
    QSettings store(QStringLiteral("Quorvane"), QStringLiteral("Vantelis"));
    EXPECT_EQ(store.value(QStringLiteral("Recent File List/File1")).toString(),
              QStringLiteral("/img/new.png"));
    EXPECT_EQ(store.value(QStringLiteral("Recent File List/File4")).toString(), QStringLiteral("/img/3.png"));
}

TEST_F(AppStartupGuiTest, WindowsShowTheProgramsOwnIcon)
{
    SeedDataFolder();
    ASSERT_TRUE(Start());
    AppMainWindow *window = m_qt->MainWindow();
    ASSERT_NE(window, nullptr);
    const QImage shown = window->windowIcon().pixmap(32, 32).toImage().convertToFormat(QImage::Format_ARGB32);
    const QImage own = ProgramIcon().pixmap(32, 32).toImage().convertToFormat(QImage::Format_ARGB32);
    ASSERT_FALSE(own.isNull());
    EXPECT_EQ(shown, own);
    EXPECT_EQ(QApplication::windowIcon().pixmap(32, 32).toImage().convertToFormat(QImage::Format_ARGB32),
              own);
}

TEST_F(AppStartupGuiTest, SerialFailureOnAWorkerThreadPostsTheCommandToTheMainWindow)
{
    SeedDataFolder();
    ASSERT_TRUE(Start());
    std::vector<std::pair<int, qintptr>> received;
    QObject::connect(m_qt->MainWindow(), &AppMainWindow::commandPosted,
                     [&](int id, qintptr parameter) { received.emplace_back(id, parameter); });

    // Start-up installed the callback; a serial transaction fails twice on another thread.
    std::thread worker([] {
        for (int com : {5, 6})
            if (SerialPortFailureFn callback = SerialPortFailureCallback.load())
                callback(com);
    });
    worker.join();

    ASSERT_TRUE(RunEventLoopUntil([&] { return !received.empty(); }));
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(received[0].first, kReinitializeSerialDevicesCommand);
    EXPECT_EQ(received[0].second, 5);
}

TEST_F(AppStartupGuiTest, IdleProcessingClosesTheRequestedDocumentOnTheEventLoop)
{
    CPlexorinApp app;
    auto *documents = static_cast<QtDocumentTemplate *>(m_qt->CreateDocumentTemplate());
    app.m_doc_template = documents;
    QWidget keep, close;
    keep.show();
    close.show();
    documents->AddDocument("/exp/Images/Other.PNG", &keep);
    documents->AddDocument("/exp/Images/Image.PNG", &close);
    IdleDriver idle(app);

    // The render thread asks for the close from its own thread; the path differs in letter case.
    std::thread renderThread([] { QueueCloseDocumentRequest("/EXP/images/image.png"); });
    renderThread.join();

    EXPECT_TRUE(RunEventLoopUntil([&] { return !close.isVisible(); }));
    EXPECT_TRUE(keep.isVisible());
    EXPECT_TRUE(_close_document_queue.empty());
}

} // namespace
} // namespace vantelis::test
