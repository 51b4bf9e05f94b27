// The program as main() puts it together: the Qt framework with the real main frame, the render
// thread with the application's and the analysis code's links, and the placeholders of the
// subsystems that are not built. An image opened through File > Open is drawn by the render thread
// with its overlays.
#include "app/AppTestFixture.h"
#include "support/gui/EventLoop.h"

#include "analysis/AnalysisRenderLink.h"
#include "analysis/ImageAnalysisJob.h"
#include "app/AnalysisToolWindows.h"
#include "app/AppGlobals.h"
#include "app/CommandIds.h"
#include "app/ToolServices.h"
#include "app/gui/DocumentManager.h"
#include "app/gui/ImageView.h"
#include "app/gui/MainFrame.h"
#include "app/gui/QtAppFramework.h"

#include <QAction>
#include <QApplication>
#include <QDropEvent>
#include <QEventLoop>
#include <QMdiArea>
#include <QMimeData>
#include <QTimer>
#include <QUrl>

#include <opencv2/imgcodecs.hpp>

#include <functional>
#include <set>

namespace vantelis::test {
namespace {

class ProgramWiringTest : public AppStartupFixture
{
  protected:
    ProgramWiringTest() : m_configEnv("XDG_CONFIG_HOME", m_runtime.file("config"))
    {
        // The subsystems as built: placeholders for the missing ones.
        InstallExperimentServices(nullptr);
        InstallDeviceServices(nullptr);
        InstallScriptServices(nullptr);
        InstallOperatorScreenServices(nullptr);
        InstallToolServices(nullptr);
        InstallAnalysisToolWindows(nullptr);
        // As main() does.
        m_qt = std::make_shared<QtAppFramework>();
        SetFramework(m_qt);
        InstallRenderThread(ProgramRenderLinks());
    }
    ~ProgramWiringTest() override
    {
        DocumentManager::Instance().CloseAllDocuments();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        // As main() ends.
        ImageAnalysisJobTable::RemoveAll();
        theApp.ExitInstance();
        SetFramework(nullptr);
        m_qt.reset();
        SetRenderThreadHooks(nullptr, nullptr);
    }

    // A 16-bit image of a channel: walls at 1000, the channel between rows 100 and 199 at 3000,
    // with the folder's settings putting the magnet lines at rows 30 and 270.
    std::string WriteChannelImage(const std::string &name)
    {
        const std::string folder = m_documents.file("experiment");
        std::filesystem::create_directories(folder);
        cv::Mat image(300, 400, CV_16UC1, cv::Scalar(1000));
        image.rowRange(100, 200).setTo(3000);
        const std::string path = folder + "/" + name;
        EXPECT_TRUE(cv::imwrite(path, image));
        WriteFileBytes(folder + "/ExperimentSettings.ini",
                       "[CalibrationSettings]\r\nUpperMagnet=30\r\nLowerMagnet=270\r\n"
                       "[Cartridge]\r\nCartridgeUpperChannel=100\r\nCartridgeLowerChannel=200\r\n");
        return path;
    }

    ScopedEnv m_configEnv;
    std::shared_ptr<QtAppFramework> m_qt;
};

TEST_F(ProgramWiringTest, FileOpenShowsTheImageDrawnByTheRenderThread)
{
    SeedDataFolder();
    ASSERT_TRUE(theApp.InitInstance({"vantelis"}));

    // The real main frame, with the documents opening into its MDI area.
    auto *frame = dynamic_cast<CMainFrame *>(m_qt->MainWindow());
    ASSERT_NE(frame, nullptr);
    EXPECT_EQ(CMainFrame::Get(), frame);
    EXPECT_EQ(DocumentManager::Instance().MdiArea(), frame->MdiArea());
    frame->resize(1280, 800);

    const std::string path = WriteChannelImage("Run_FL1_0001.png");
    m_ui->QueueAnswer(true, path);
    ASSERT_NE(frame->MenuAction(cmd::kFileOpen), nullptr);
    frame->MenuAction(cmd::kFileOpen)->trigger();

    CImageView *view = DocumentManager::Instance().ActiveView();
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(frame->MdiArea()->subWindowList().size(), 1);
    ASSERT_TRUE(RunEventLoopUntil([&] { return !view->ShownFrame().isNull(); }))
        << "the render thread never delivered a frame";

    // Only the render thread hands the view its frames: the image in grey (walls and channel
    // differ) with the magnet lines over it.
    const QImage shown = view->ShownFrame().convertToFormat(QImage::Format_RGB32);
    std::set<QRgb> greys;
    int red = 0, blue = 0, black = 0;
    for (int y = 0; y < shown.height(); ++y)
        for (int x = 0; x < shown.width(); ++x) {
            const QRgb pixel = shown.pixel(x, y);
            if (pixel == qRgb(255, 0, 0))
                ++red;
            else if (pixel == qRgb(0, 0, 255))
                ++blue;
            else if (qRed(pixel) == qGreen(pixel) && qGreen(pixel) == qBlue(pixel)) {
                greys.insert(pixel);
                black += qRed(pixel) == 0;
            }
        }
    EXPECT_GE(greys.size(), 2u) << "walls and channel are drawn in different greys";
    EXPECT_LT(black, shown.width() * shown.height() / 2) << "the image, not an empty window";
    EXPECT_GT(red, 0) << "upper magnet line";
    EXPECT_GT(blue, 0) << "lower magnet line";

    // The window as a whole, for whoever looks at it.
    QApplication::processEvents();
    frame->grab().save(QStringLiteral("ProgramWiring.png"));

    // Opening added the file to the recent-file list.
    ASSERT_FALSE(m_qt->RecentFiles().empty());
    EXPECT_EQ(m_qt->RecentFiles().front(), DocumentPathFor(path));
}

TEST_F(ProgramWiringTest, FilesDroppedOnTheMainFrameOpenAsDocuments)
{
    SeedDataFolder();
    ASSERT_TRUE(theApp.InitInstance({"vantelis"}));
    auto *frame = dynamic_cast<CMainFrame *>(m_qt->MainWindow());
    ASSERT_NE(frame, nullptr);

    const std::string first = WriteChannelImage("Run_FL1_0001.png");
    const std::string second = WriteChannelImage("Run_FL1_0002.png");
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(QString::fromStdString(first)),
                  QUrl::fromLocalFile(QString::fromStdString(second)),
                  QUrl(QStringLiteral("https://x/y.png"))});
    const QPoint at = frame->rect().center();
    QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    enter.setAccepted(false);
    QApplication::sendEvent(frame, &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(frame, &drop);

    EXPECT_EQ(frame->MdiArea()->subWindowList().size(), 2);
    ASSERT_NE(DocumentManager::Instance().FindDocument(first), nullptr);
    ASSERT_NE(DocumentManager::Instance().FindDocument(second), nullptr);
    EXPECT_EQ(m_qt->RecentFiles(),
              (std::vector<std::string>{DocumentPathFor(second), DocumentPathFor(first)}));

    // Text without files is not taken.
    QMimeData text;
    text.setText(QStringLiteral("hello"));
    QDragEnterEvent refused(at, Qt::CopyAction, &text, Qt::LeftButton, Qt::NoModifier);
    refused.setAccepted(false);
    QApplication::sendEvent(frame, &refused);
    EXPECT_FALSE(refused.isAccepted());
}

} // namespace
} // namespace vantelis::test
