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
#include <QMenu>
#include <QMimeData>
#include <QTimer>
#include <QUrl>

#include <opencv2/imgcodecs.hpp>

#include <algorithm>
#include <filesystem>
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
        UninstallDeviceServices();
        InstallScriptServices(nullptr);
        InstallOperatorScreenServices(nullptr);
        RemoveToolServices();
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

// A folder and file named with accented letters, and a file whose name is not UTF-8 (made on an
// older system): each opens, the window title and the recent-file list show the names, Save As
// writes where it was told, and the recent-file list keeps every name's bytes over a restart.
TEST_F(ProgramWiringTest, NamesWithAnyCharactersOpenShowAndStayInTheRecentFileList)
{
    SeedDataFolder();
    ASSERT_TRUE(theApp.InitInstance({"vantelis"}));
    auto *frame = dynamic_cast<CMainFrame *>(m_qt->MainWindow());
    ASSERT_NE(frame, nullptr);

    const std::string folder = m_documents.file("Donn\xC3\xA9"
                                                "es \xC3\xA9");
    std::filesystem::create_directories(folder);
    const cv::Mat image(40, 60, CV_16UC1, cv::Scalar(1500));
    const std::string accented = folder + "/cellules_\xC3\xAF.png";
    const std::string latin1 = folder + "/ancien_\xEF.png";
    ASSERT_TRUE(cv::imwrite(accented, image));
    ASSERT_TRUE(cv::imwrite(latin1, image));

    struct Case
    {
        const char *what;
        std::function<void()> open;
        std::string path;
        QString title;
    };
    const size_t startupMessages = m_ui->Messages().size();
    const Case cases[] = {
        {"File > Open",
         [&] {
             m_ui->QueueAnswer(true, accented);
             frame->MenuAction(cmd::kFileOpen)->trigger();
         },
         accented, QString::fromUtf8("cellules_ï.png")},
        {"dropped, a name that is not UTF-8",
         [&] {
             // The URL carries the name's bytes percent-encoded, as file managers send them.
             QMimeData data;
             data.setUrls(
                 {QUrl::fromEncoded("file://" + QByteArray::fromStdString(latin1).toPercentEncoding("/"))});
             QDragEnterEvent enter(frame->rect().center(), Qt::CopyAction, &data, Qt::LeftButton,
                                   Qt::NoModifier);
             QApplication::sendEvent(frame, &enter);
             QDropEvent drop(frame->rect().center(), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
             QApplication::sendEvent(frame, &drop);
         },
         latin1, QStringLiteral("ancien_") + QChar(QChar::ReplacementCharacter) + QStringLiteral(".png")},
    };
    for (const Case &c : cases) {
        c.open();
        EXPECT_NE(DocumentManager::Instance().FindDocument(c.path), nullptr) << c.what;
        QApplication::processEvents();
        EXPECT_TRUE(frame->windowTitle().contains(c.title))
            << c.what << ": " << frame->windowTitle().toStdString();
        ASSERT_FALSE(m_qt->RecentFiles().empty());
        EXPECT_EQ(m_qt->RecentFiles().front(), DocumentPathFor(c.path)) << c.what;
    }
    EXPECT_EQ(m_ui->Messages().size(), startupMessages) << "no document was refused";

    // The recent-file entries of the File menu show the names as they are.
    ASSERT_NE(frame->Menu("File"), nullptr);
    emit frame->Menu("File")->aboutToShow();
    const std::vector<std::string> entries = frame->MenuItemTexts("File");
    const auto shows = [&](const std::string &name) {
        return std::any_of(entries.begin(), entries.end(),
                           [&](const std::string &entry) { return entry.find(name) != std::string::npos; });
    };
    EXPECT_TRUE(shows("/Donn\xC3\xA9"
                      "es \xC3\xA9/cellules_\xC3\xAF.png"));
    EXPECT_TRUE(shows("/ancien_\xEF\xBF\xBD.png")) << "a name that is not UTF-8 shows U+FFFD";

    // Save As into the accented folder.
    CImageView *view = DocumentManager::Instance().ActiveView();
    ASSERT_NE(view, nullptr);
    const std::string copy = folder + "/copie_\xC3\xAF.png";
    m_ui->QueueAnswer(true, copy);
    view->OnFileSaveAs();
    EXPECT_TRUE(std::filesystem::exists(copy));
    EXPECT_EQ(m_qt->RecentFiles().front(), DocumentPathFor(copy));

    // The list is stored at exit and read at the next start byte for byte.
    const std::vector<std::string> stored = m_qt->RecentFiles();
    m_qt->ExitFramework();
    QtAppFramework next;
    std::string error;
    ASSERT_TRUE(next.PrepareFramework(error)) << error;
    EXPECT_EQ(next.RecentFiles(), stored);
}

} // namespace
} // namespace vantelis::test
