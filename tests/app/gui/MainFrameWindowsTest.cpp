// The main frame's document windows: where new ones open, what Window > Cascade makes of them,
// and the frame's title following the active document through Save As.
#include "MainFrameFixture.h"

#include "app/CommandIds.h"
#include "app/Renderer.h"
#include "app/gui/ChildFrame.h"
#include "app/gui/ImageView.h"
#include "app/gui/ToolbarEx.h"

#include <QMdiSubWindow>
#include <opencv2/imgcodecs.hpp>

#include <algorithm>

namespace vantelis::test::mainframe {
namespace {

class MainFrameWindowsTest : public MainFrameFixture
{
  protected:
    // The frame on screen at a usual size, with two 16-bit images open.
    CMainFrame &FrameWithTwoDocuments()
    {
        CMainFrame &frame = Frame();
        frame.resize(1280, 800);
        frame.show();
        Settle();
        for (const char *name : {"first.png", "second.png"}) {
            const std::string path = m_dir.file(name);
            EXPECT_TRUE(cv::imwrite(path, cv::Mat(120, 160, CV_16UC1, cv::Scalar(3000))));
            EXPECT_NE(DocumentManager::Instance().OpenDocumentFile(path, frame.MdiArea()), nullptr) << name;
            Settle();
        }
        return frame;
    }

    // Every visible window lies wholly inside the client area and takes three quarters of it;
    // no two share a corner.
    static void ExpectUsefulAndInside(CMainFrame &frame, const char *what)
    {
        const QRect client(QPoint(0, 0), frame.MdiArea()->viewport()->size());
        ASSERT_GT(client.width(), 400) << what;
        std::vector<QPoint> corners;
        for (QMdiSubWindow *window : frame.MdiArea()->subWindowList()) {
            const QRect place = window->geometry();
            EXPECT_TRUE(client.contains(place)) << what << ": " << place.x() << "," << place.y() << " "
                                                << place.width() << "x" << place.height();
            EXPECT_EQ(place.size(), QSize(client.width() * 3 / 4, client.height() * 3 / 4)) << what;
            EXPECT_EQ(std::count(corners.begin(), corners.end(), place.topLeft()), 0) << what;
            corners.push_back(place.topLeft());
        }
        EXPECT_EQ(corners.size(), 2u) << what;
    }
};

TEST_F(MainFrameWindowsTest, NewAndCascadedWindowsKeepAUsefulSizeInsideTheClientArea)
{
    CMainFrame &frame = FrameWithTwoDocuments();
    ExpectUsefulAndInside(frame, "opened");

    // Shrunk and pushed about by the user, then cascaded.
    for (QMdiSubWindow *window : frame.MdiArea()->subWindowList())
        window->setGeometry(900, 500, 120, 90);
    ASSERT_TRUE(frame.OnCommand(cmd::kWindowCascade));
    Settle();
    ExpectUsefulAndInside(frame, "cascaded");
    // The window that was on top stays on top, one title bar lower and to the right.
    const QList<QMdiSubWindow *> stacked = frame.MdiArea()->subWindowList(QMdiArea::StackingOrder);
    EXPECT_LT(stacked.front()->geometry().top(), stacked.back()->geometry().top());
    EXPECT_EQ(frame.MdiArea()->activeSubWindow(), stacked.back());

    // A maximised window takes part too.
    stacked.back()->showMaximized();
    ASSERT_TRUE(frame.OnCommand(cmd::kWindowCascade));
    Settle();
    EXPECT_FALSE(stacked.back()->isMaximized());
    ExpectUsefulAndInside(frame, "cascaded from maximised");
}

TEST_F(MainFrameWindowsTest, TheTitleFollowsSaveAsAtOnce)
{
    CMainFrame &frame = FrameWithTwoDocuments();
    EXPECT_EQ(frame.windowTitle(), QStringLiteral("Vantelis - second.png"));

    CImageView *view = DocumentManager::Instance().ActiveView();
    ASSERT_NE(view, nullptr);
    m_ui->QueueAnswer(true, m_dir.file("renamed.tif"));
    view->OnFileSaveAs();
    EXPECT_EQ(frame.windowTitle(), QStringLiteral("Vantelis - renamed.tif"));

    // The other document, activated and saved under a new name, takes the title with it.
    QMdiSubWindow *other = frame.MdiArea()->subWindowList(QMdiArea::CreationOrder).front();
    frame.MdiArea()->setActiveSubWindow(other);
    Settle();
    EXPECT_EQ(frame.windowTitle(), QStringLiteral("Vantelis - first.png"));
    m_ui->QueueAnswer(true, m_dir.file("moved.png"));
    static_cast<CChildFrame *>(other)->GetView()->OnFileSaveAs();
    EXPECT_EQ(frame.windowTitle(), QStringLiteral("Vantelis - moved.png"));
    // Renaming a window in the background leaves the title alone.
    QMdiSubWindow *background = frame.MdiArea()->subWindowList(QMdiArea::CreationOrder).back();
    background->setWindowTitle(QStringLiteral("elsewhere.png"));
    EXPECT_EQ(frame.windowTitle(), QStringLiteral("Vantelis - moved.png"));
}

TEST_F(MainFrameWindowsTest, ScreenshotOfTwoCascadedDocuments)
{
    // Two 16-bit cards told apart by their ramps: one rising to the right, one falling.
    WriteSettings("[ScaleIntensitiesDlg]\r\nMinIntensity=0\r\nMaxIntensity=65535\r\n");
    theApp.m_ini_path = m_app.m_ini_path;
    // The program's windows show its icon, as start-up sets it.
    const QIcon previousIcon = QApplication::windowIcon();
    QApplication::setWindowIcon(ProgramIcon());
    CMainFrame &frame = Frame();
    frame.resize(1280, 800);
    frame.show();
    Settle();
    for (int k = 0; k < 2; ++k) {
        cv::Mat card(480, 640, CV_16UC1);
        for (int r = 0; r < card.rows; ++r)
            for (int c = 0; c < card.cols; ++c)
                card.at<uint16_t>(r, c) =
                    static_cast<uint16_t>(2000 + 80 * (k == 0 ? c : card.cols - 1 - c) + 15 * r);
        const std::string path = m_dir.file(k == 0 ? "Rising.png" : "Falling.png");
        ASSERT_TRUE(cv::imwrite(path, card));
        ASSERT_NE(DocumentManager::Instance().OpenDocumentFile(path, frame.MdiArea()), nullptr);
        Settle();
    }
    ASSERT_TRUE(frame.OnCommand(cmd::kWindowCascade));
    Settle();
    Renderer renderer;
    for (int round = 0; round < 3; ++round) {
        while (std::unique_ptr<RenderJob> job = _render_list.TakeOldest())
            RenderThread::ProcessJob(std::move(job), renderer);
        Settle();
    }
    frame.OnIdleUpdateCmdUI();
    const QImage shot = frame.grab().toImage();
    theApp.m_ini_path.clear();
    QApplication::setWindowIcon(previousIcon);
    ASSERT_TRUE(shot.save(QString::fromStdString(ScreenshotPath("MainFrame_Cascade_1280x800.png")), "PNG"));

    // Both views show their images: the middle of each window's client area is not blank.
    for (QMdiSubWindow *window : frame.MdiArea()->subWindowList()) {
        const auto *view = static_cast<CChildFrame *>(window)->GetView();
        EXPECT_FALSE(view->ShownFrame().isNull()) << window->windowTitle().toStdString();
    }
    EXPECT_EQ(frame.windowTitle(), QStringLiteral("Vantelis - Falling.png"));
}

} // namespace
} // namespace vantelis::test::mainframe
