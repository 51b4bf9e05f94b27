#pragma once
// Shared fixture of the counting tool window tests: the image view fixture's data folder, main
// settings file, MDI area and recording message box, plus the LIB and Tmp folders, the calibration
// settings a run reads, and the tool windows installed as the program installs them.
#include "app/gui/ImageViewTest.h"
#include "support/gui/EventLoop.h"

#include "app/AnalysisToolWindows.h"
#include "tools/CountingParams.h"
#include "tools/gui/CountingAlgorithmDlg.h"
#include "tools/gui/CountingToolWindows.h"

#include <QComboBox>
#include <QLineEdit>

#include <opencv2/imgproc.hpp>

namespace vantelis::test {

using namespace counting_id;

// Filled discs of radius 6 (3000) on a flat background (1000), 16-bit.
inline cv::Mat DiscImage(int rows, int columns, const std::vector<cv::Point> &centres)
{
    cv::Mat image(rows, columns, CV_16UC1, cv::Scalar(1000));
    for (const cv::Point &c : centres)
        cv::circle(image, c, 6, cv::Scalar(3000), cv::FILLED, cv::LINE_8);
    return image;
}

class CountingWindowFixture : public ImageViewFixture
{
  protected:
    CountingWindowFixture()
    {
        std::filesystem::create_directories(m_dir.file("LIB"));
        std::filesystem::create_directories(m_dir.file("Tmp"));
        WriteSettings(
            "[CalibrationSettings]\r\nUpperMagnet=60\r\nLowerMagnet=240\r\nimage_pixels_per_mm=1000\r\n");
        m_windows = InstallCountingToolWindows();
    }
    ~CountingWindowFixture() override { InstallAnalysisToolWindows(nullptr); }

    CountingAlgorithmDlg &Dialog()
    {
        ModelessWindow &window = AnalysisTools().CountingAlgorithm();
        if (!window.HasWindow())
            window.Create(true);
        CountingAlgorithmDlg *dialog = m_windows->CountingDialog();
        dialog->m_open_summary = [this](const std::string &path) { m_opened.push_back(path); };
        return *dialog;
    }

    // Controls that count the discs of DiscImage inside a 400 x 300 image.
    static CountingControls DiscControls()
    {
        CountingControls c = DefaultCountingControls();
        c.edits[kLeft] = "10";
        c.edits[kRight] = "389";
        c.edits[kTop] = "20";
        c.edits[kBottom] = "279";
        c.edits[kObjectRadius1] = "6";
        c.edits[kMFilterThreshold1] = "2000";
        c.edits[kCFilterThreshold1] = "500";
        c.edits[kCFilterMinSize1] = "1";
        c.boxes[kMFilter1] = true;
        c.boxes[kCFilter1] = true;
        c.boxes[kUseInnerRing1] = false;
        c.boxes[kRestoreImage] = true;
        return c;
    }

    // Puts values into the window's controls as the user would.
    static void Apply(CountingAlgorithmDlg &dialog, const CountingControls &controls)
    {
        for (const auto &[id, text] : controls.edits)
            dialog.SetControlText(id, text);
        for (const auto &[id, checked] : controls.boxes)
            dialog.SetChecked(id, checked);
        // As a loaded set would, the magnet edits show the calibration settings.
        dialog.ShowUpperMagnet();
        dialog.ShowLowerMagnet();
    }

    std::string WriteDiscImage(const std::string &name, const std::vector<cv::Point> &centres)
    {
        const std::string path = m_dir.file(name);
        WriteImage(path, DiscImage(300, 400, centres));
        return path;
    }

    // The message boxes shown so far, their texts only.
    std::vector<std::string> MessageTexts() const
    {
        std::vector<std::string> texts;
        for (const FakeUi::Message &m : m_ui->Messages())
            texts.push_back(m.text);
        return texts;
    }

    std::shared_ptr<CountingToolWindows> m_windows;
    std::vector<std::string> m_opened;
};

} // namespace vantelis::test
