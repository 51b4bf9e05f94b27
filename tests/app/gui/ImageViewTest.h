#pragma once
// Shared fixture of the image view tests: a data folder with its main settings file, the recording
// message box, an MDI area with the document manager installed, and clean view globals.
#include "support/FakeUi.h"
#include "support/TempDir.h"

#include "Ostravo/LogError.h"
#include "Ostravo/Profile.h"
#include "app/BackgroundImages.h"
#include "app/ImageDoc.h"
#include "app/PlexorinApp.h"
#include "app/RenderList.h"
#include "app/Renderer.h"
#include "app/ViewGlobals.h"
#include "app/gui/ChildFrame.h"
#include "app/gui/DocumentManager.h"
#include "app/gui/ImageView.h"
#include "app/gui/ImageViewLinks.h"

#include <QCoreApplication>
#include <QMdiArea>
#include <QScrollBar>
#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace vantelis::test {

// The pixel at (row, column) of every pattern image of these tests.
inline uint16_t PatternValue(int row, int column)
{
    return static_cast<uint16_t>((row * 977 + column * 131) & 0xFFFF);
}

inline cv::Mat PatternImage(int rows, int columns)
{
    cv::Mat image(rows, columns, CV_16UC1);
    for (int r = 0; r < rows; ++r) {
        uint16_t *row = image.ptr<uint16_t>(r);
        for (int c = 0; c < columns; ++c)
            row[c] = PatternValue(r, c);
    }
    return image;
}

inline void WriteImage(const std::string &path, const cv::Mat &image)
{
    std::vector<uchar> bytes;
    const std::string extension = path.substr(path.rfind('.'));
    ASSERT_TRUE(cv::imencode(extension, image, bytes));
    WriteFileBytes(path, std::string(bytes.begin(), bytes.end()));
}

inline std::string PixelText(int column, int row)
{
    char text[64];
    std::snprintf(text, sizeof(text), "pix[%d,%d]=%d", column, row,
                  static_cast<int>(PatternValue(row, column)));
    return text;
}

class ImageViewFixture : public ::testing::Test
{
  protected:
    ImageViewFixture()
    {
        m_oldIni = theApp.m_ini_path;
        m_oldData = theApp.m_data_directory;
        theApp.m_ini_path = m_dir.file("Plexorin.ini");
        theApp.m_data_directory = m_dir.str();
        std::filesystem::create_directories(m_dir.file("LOG"));
        SetLogDataDirectory(m_dir.str().c_str());
        WriteSettings("");
        ResetGlobals();
        m_area.resize(1200, 900);
        m_area.show();
        DocumentManager::Instance().Install(&m_area);
    }

    ~ImageViewFixture() override
    {
        DocumentManager::Instance().CloseAllDocuments();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCoreApplication::processEvents();
        DocumentManager::Instance().SetMdiArea(nullptr);
        DocumentManager::Instance().SetRecentFileHook(nullptr);
        SetInvalidateAllViewsHook(nullptr);
        InstallImageViewLinks(ImageViewLinks{});
        DrainRenderList();
        ResetGlobals();
        theApp.m_ini_path = m_oldIni;
        theApp.m_data_directory = m_oldData;
        SetLogDataDirectory("");
    }

    static void ResetGlobals()
    {
        _active_roi.Set(ImageRect{});
        _preview_roi.Set(ImageRect{});
        _shown_calibration_lines.Set(CalibrationLines{});
        _last_click.Set(ClickPoint{});
        _roi_hidden = false;
        _draw_projection_below_roi = false;
        _draw_projection_right_of_roi = false;
        _display_settings_file.clear();
    }

    static void DrainRenderList()
    {
        while (_render_list.TakeOldest()) {
        }
    }

    // The main settings file: extra lines after the sections every test needs.
    void WriteSettings(const std::string &extra)
    {
        WriteFileBytes(theApp.m_ini_path,
                       "[ScaleIntensitiesDlg]\r\nMinIntensity=0\r\nMaxIntensity=40000\r\n" + extra);
    }

    std::string MainSetting(const char *section, const char *key) const
    {
        char buffer[64] = {0};
        Ostravo::E_GetPrivateProfileString(section, key, "", buffer, sizeof(buffer),
                                           theApp.m_ini_path.c_str());
        return buffer;
    }

    // Opens path and sizes its view's client area to width x height.
    CImageView *Open(const std::string &path, int width = 612, int height = 512)
    {
        CImageView *view = DocumentManager::Instance().OpenDocumentFile(path, &m_area);
        if (!view)
            return nullptr;
        Resize(view, width, height);
        return view;
    }

    static CChildFrame *FrameOf(CImageView *view)
    {
        QWidget *frame = view->parentWidget();
        while (frame && !qobject_cast<CChildFrame *>(frame))
            frame = frame->parentWidget();
        return qobject_cast<CChildFrame *>(frame);
    }

    static void Resize(CImageView *view, int width, int height)
    {
        CChildFrame *frame = FrameOf(view);
        const QSize difference = QSize(width, height) - view->viewport()->size();
        frame->resize(frame->size() + difference);
        QCoreApplication::processEvents();
        ASSERT_EQ(view->viewport()->size(), QSize(width, height));
    }

    std::string PixelPane() const { return m_ui->LastStatus(kPixelPaneTarget); }

    TempDir m_dir;
    ScopedFakeUi m_ui;
    QMdiArea m_area;
    std::string m_oldIni;
    std::string m_oldData;
};

} // namespace vantelis::test
