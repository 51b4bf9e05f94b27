#pragma once
// An image folder for projection runs whose results follow from how it is made. Images are 1000
// rows by 60 columns; the ROI "Lane" covers columns 10 to 49 and rows 400 to 599 (200 rows). The
// folder's settings put the upper magnet at row 100 and the lower one at row 900, so row 500 lies
// half-way (y_fract 0.5) and, with the LP curve's mag_gap of 2, at 1 mm.
// Background images are a flat 1000; an image adds bright bands of Gaussian profile (sigma 6
// rows) across the whole width:
//   a.png: one band of height 600 centred on row 450
//   b.png: bands of height 600 centred on rows 430 and 540
// The capture log lists a.png at 09:41:10 and b.png two minutes later.
#include "Ostravo/Profile.h"
#include "app/PlexorinApp.h"
#include "support/TempDir.h"

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>

#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

namespace vantelis::test {

inline constexpr int kBatchRows = 1000;
inline constexpr int kBatchColumns = 60;

inline void WriteBandsImage(const std::string &path, const std::vector<int> &centres)
{
    cv::Mat image(kBatchRows, kBatchColumns, CV_16UC1, cv::Scalar(1000));
    for (int y = 0; y < kBatchRows; ++y) {
        double add = 0.0;
        for (int centre : centres)
            add += 600.0 * std::exp(-0.5 * (y - centre) * (y - centre) / 36.0);
        image.row(y).setTo(cv::Scalar(1000 + std::lround(add)));
    }
    cv::imwrite(path, image);
}

inline std::string BatchSettingsText(const std::string &calibration)
{
    return "[CalibrationSettings]\r\n" + calibration;
}

inline constexpr const char *kBatchCalibration =
    "image_pixels_per_mm=100\r\nUpperMagnet=100\r\nLowerMagnet=900\r\n";

class ProjectionBatchFolder
{
  public:
    ProjectionBatchFolder()
    {
        m_oldIni = theApp.m_ini_path;
        m_oldData = theApp.m_data_directory;
        m_oldProduct = theApp.m_product_name;
        m_oldVersion = theApp.m_version;
        theApp.m_ini_path = m_data.file("Plexorin.ini");
        theApp.m_data_directory = m_data.str();
        theApp.m_product_name = "Vantelis";
        theApp.m_version = "1.2.3.4";
        std::filesystem::create_directories(m_data.file("LOG"));
        std::filesystem::create_directories(m_data.file("LIB"));
        std::filesystem::create_directories(Images());
        WriteFileBytes(theApp.m_ini_path, "[ROI]\r\nitem0=\"Lane\",10,49,400,599\r\n");
        // No smoothing, so that the bands keep their rows.
        WriteFileBytes(m_data.file("LIB/Band.pa_params"),
                       "[RightSideProjection]\r\nSmoothingWindowMicrons=0\r\nNumPeaksToFind=2\r\n"
                       "StdevIntegrationArea=1.0\r\nIntegrationSamples=11\r\nFindValleys=FALSE\r\n"
                       "ROI_name=Lane\r\n");
        WriteFileBytes(m_data.file("LIB/Medium.LP_curve_params"),
                       "[LPCurveParams]\r\nChiGd_factor=0.001\r\nrhobuffer=1.0\r\nmunot=100\r\ng=10\r\n"
                       "cubic=1\r\nsquare=1\r\nlinear=1\r\nconstant=1\r\nmag_gap=2\r\nChiPar=0.5\r\n");
        WriteSettings(kBatchCalibration);
        for (const char *bg : {"bg1.png", "bg2.png"})
            WriteBandsImage(Images() + "/" + bg, {});
        WriteBandsImage(Images() + "/a.png", {450});
        WriteBandsImage(Images() + "/b.png", {430, 540});
        WriteFileBytes(
            Images() + "/20240315-0930-05.log",
            "# capture log\r\nImageFile\tDate\tTime\tExposure(us)\tStatus\tError\tIllumChan\t"
            "Pump1ValvePos\tPump2ValvePos\tPump1SpeedULpMin\tPump2SpeedULpMin\tPump1VolUL\tPump2VolUL\r\n"
            "a.png\t2024/03/15\t09:41:10.000\t3000\t0\t\t0\tI\tO\t10.00\t20.00\t1.50\t2.50\r\n"
            "b.png\t2024/03/15\t09:43:10.000\t3000\t0\t\t0\tI\tO\t30.00\t40.00\t3.25\t4.75\r\n");
    }
    ~ProjectionBatchFolder()
    {
        theApp.m_ini_path = m_oldIni;
        theApp.m_data_directory = m_oldData;
        theApp.m_product_name = m_oldProduct;
        theApp.m_version = m_oldVersion;
    }

    std::string Images() const { return m_data.file("images"); }
    std::string SettingsFile() const { return Images() + "/ExperimentSettings.ini"; }
    void WriteSettings(const std::string &calibration) const
    {
        WriteFileBytes(SettingsFile(), BatchSettingsText(calibration));
    }
    // The run folders made in the image folder.
    std::vector<std::string> RunFolders() const
    {
        std::vector<std::string> found;
        for (const auto &entry : std::filesystem::directory_iterator(Images()))
            if (entry.is_directory())
                found.push_back(entry.path().string());
        return found;
    }

    TempDir m_data;

  private:
    std::string m_oldIni, m_oldData, m_oldProduct, m_oldVersion;
};

// The lines of a CR LF text.
inline std::vector<std::string> SplitCrLf(const std::string &text)
{
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        const size_t end = text.find("\r\n", start);
        if (end == std::string::npos) {
            lines.push_back(text.substr(start));
            break;
        }
        lines.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

inline std::vector<std::string> SplitTabs(const std::string &line)
{
    std::vector<std::string> fields;
    size_t start = 0;
    for (;;) {
        const size_t end = line.find('\t', start);
        fields.push_back(line.substr(start, end == std::string::npos ? std::string::npos : end - start));
        if (end == std::string::npos)
            return fields;
        start = end + 1;
    }
}

} // namespace vantelis::test
