#pragma once
// An image folder for fractionation runs, made so that the expected fractions follow from its
// construction. The channel runs from row 100 to row 299 (200 rows, centre between rows 199 and
// 200); the ROI "Channel" covers columns 10 to 49 and rows 50 to 349. Background images are a flat
// 1000; a bright-field image is 1000 with a dark band, which the run sees as signal.
//   a.png: band of depth 400 at rows 150-169, fully above the middle of the channel
//   b.png: the same band mirrored about the channel centre (rows 231-250): the same channel
//          weight, fully below the middle
//   c.png: band of depth 200 at rows 150-169: half the signal of a.png
// With both pumps at equal speed (divider 0.5, row 200) a and c count wholly as top, b as bottom:
// weights 0.4, 0.4, 0.2 and a total top fraction of 0.6.
#include "Ostravo/Profile.h"
#include "app/PlexorinApp.h"
#include "support/TempDir.h"
#include "tools/ImageFolderLog.h"

#include <opencv2/imgcodecs.hpp>

#include <filesystem>
#include <string>
#include <vector>

namespace vantelis::test {

inline constexpr int kFixtureRows = 400;
inline constexpr int kFixtureColumns = 60;

inline void WriteBandImage(const std::string &path, int firstRow, int lastRow, int depth)
{
    cv::Mat image(kFixtureRows, kFixtureColumns, CV_16UC1, cv::Scalar(1000));
    if (depth > 0)
        image.rowRange(firstRow, lastRow + 1).setTo(cv::Scalar(1000 - depth));
    cv::imwrite(path, image);
}

inline std::string FixtureLogRow(const std::string &image, const std::string &speed1,
                                 const std::string &speed2)
{
    return image + "\t2024-05-01\t10:00:00\t500\tOK\t0\t1\t2\t3\t" + speed1 + "\t" + speed2 +
           "\t100\t200\r\n";
}

// The data folder (main settings with the ROI list, LIB with a parameter set) and an image folder.
class FractionationFolder
{
  public:
    FractionationFolder()
    {
        m_oldIni = theApp.m_ini_path;
        m_oldData = theApp.m_data_directory;
        theApp.m_ini_path = m_data.file("Plexorin.ini");
        theApp.m_data_directory = m_data.str();
        std::filesystem::create_directories(m_data.file("LOG"));
        std::filesystem::create_directories(m_data.file("LIB"));
        std::filesystem::create_directories(Images());
        WriteFileBytes(theApp.m_ini_path, "[ROI]\r\nitem0=\"Channel\",10,49,50,349\r\n");
        // No smoothing, so that the bands keep their rows.
        WriteFileBytes(m_data.file("LIB/Flat.pa_params"),
                       "[RightSideProjection]\r\nSmoothingWindowMicrons=0\r\nNumPeaksToFind=2\r\n");
        WriteFileBytes(
            Images() + "/ExperimentSettings.ini",
            "[CalibrationSettings]\r\nimage_pixels_per_mm=100\r\nUpperChannel=100\r\nLowerChannel=299\r\n"
            "UpperMagnet=80\r\nLowerMagnet=320\r\n[Cartridge]\r\nCartridgeUpperChannel=100\r\n"
            "CartridgeLowerChannel=299\r\n");
        for (const char *bg : {"bg1.png", "bg2.png"})
            WriteBandImage(Images() + "/" + bg, 0, 0, 0);
        WriteBandImage(Images() + "/a.png", 150, 169, 400);
        WriteBandImage(Images() + "/b.png", 231, 250, 400);
        WriteBandImage(Images() + "/c.png", 150, 169, 200);
        WriteLog(FixtureLogRow("a.png", "10", "10") + FixtureLogRow("B.PNG", "20", "20") +
                 FixtureLogRow("c.png", "0", "0"));
    }
    ~FractionationFolder()
    {
        theApp.m_ini_path = m_oldIni;
        theApp.m_data_directory = m_oldData;
    }

    std::string Images() const { return m_data.file("images"); }
    void WriteLog(const std::string &rows) const
    {
        WriteFileBytes(Images() + "/run.log",
                       std::string("# header follows\r\n") + kLogFileExpectedHeader + "\tSplit\r\n" + rows);
    }
    // The report files of the image folder.
    std::vector<std::string> Reports() const
    {
        std::vector<std::string> found;
        for (const auto &entry : std::filesystem::directory_iterator(Images()))
            if (entry.path().filename().string().rfind("FractionationAnalysis_", 0) == 0)
                found.push_back(entry.path().string());
        return found;
    }

    TempDir m_data;

  private:
    std::string m_oldIni;
    std::string m_oldData;
};

// The value of a "key\tvalue" line of a report; empty when there is none.
inline std::string ReportValue(const std::string &report, const std::string &key)
{
    const size_t at = report.find("\r\n" + key + "\t");
    if (at == std::string::npos)
        return "";
    const size_t start = at + 2 + key.size() + 1;
    return report.substr(start, report.find("\r\n", start) - start);
}

} // namespace vantelis::test
