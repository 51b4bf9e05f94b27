#pragma once
// Shared fixture of the ROI window tests: the image view fixture (data folder, main settings file,
// recording message box, MDI area) with the ROI tool services and windows installed.
#include "Screenshot.h"
#include "app/gui/ImageViewTest.h"
#include "support/ServiceFakes.h"
#include "support/gui/EventLoop.h"

#include "app/ToolServices.h"
#include "tools/ROIList.h"
#include "tools/gui/ROIManager.h"
#include "tools/gui/RoiToolWindows.h"

#include <QApplication>
#include <QListWidget>
#include <QMenu>
#include <QPainter>
#include <QPixmap>

#include <algorithm>
#include <string>
#include <vector>

namespace vantelis::test {

class RoiWindowsFixture : public ImageViewFixture
{
  protected:
    RoiWindowsFixture() { m_windows = InstallRoiToolWindows(); }
    ~RoiWindowsFixture() override
    {
        m_windows.reset();
        RemoveToolServices();
    }

    // The main settings file with these [ROI] lines.
    void WriteRoiLines(const std::string &lines) { WriteSettings("[ROI]\r\n" + lines); }

    std::string Ini() const { return theApp.m_ini_path; }

    ROIManager *OpenManager()
    {
        ModelessWindow &window = RoiTools().RoiManager();
        if (!window.HasWindow() && !window.Create(false))
            return nullptr;
        window.Show(true);
        QCoreApplication::processEvents();
        return m_windows->Manager();
    }

    static std::vector<std::string> Rows(const QListWidget *list)
    {
        std::vector<std::string> rows;
        for (int i = 0; i < list->count(); ++i)
            rows.push_back(list->item(i)->text().toStdString());
        return rows;
    }

    static void SelectRow(QListWidget *list, const std::string &text)
    {
        const QList<QListWidgetItem *> found =
            list->findItems(QString::fromStdString(text), Qt::MatchExactly);
        ASSERT_FALSE(found.isEmpty()) << text;
        list->setCurrentItem(found.first());
    }

    // The paths whose views queued a repaint since the render list was last drained.
    static std::vector<std::string> RepaintedPaths()
    {
        QCoreApplication::processEvents();
        return _render_list.QueuedPaths();
    }

    // The render thread's work, done here: every queued job is drawn and handed to its view.
    static void RenderQueuedJobs()
    {
        Renderer renderer;
        QCoreApplication::processEvents();
        while (std::unique_ptr<RenderJob> job = _render_list.TakeOldest())
            RenderThread::ProcessJob(std::move(job), renderer);
        QCoreApplication::processEvents();
    }

    // Pixels of the view's last frame in the preview rectangle's colour (pure green; the images
    // themselves are grey).
    static int PreviewPixels(const CImageView *view)
    {
        const QImage frame = view->ShownFrame().convertToFormat(QImage::Format_RGB32);
        int count = 0;
        for (int y = 0; y < frame.height(); ++y)
            for (int x = 0; x < frame.width(); ++x)
                count += frame.pixel(x, y) == qRgb(0, 255, 0) ? 1 : 0;
        return count;
    }

    // Writes the window beside the MDI area with its open images, for a person to look at.
    void WriteScreenshot(QWidget *window, const std::string &name)
    {
        RenderQueuedJobs();
        WriteScreenshotBeside(&m_area, window, name);
    }

    std::shared_ptr<RoiToolWindows> m_windows;
};

} // namespace vantelis::test
