#pragma once
// One counting run of the counting tool window without its window: the values of the controls
// checked and turned into counting options, and the result table and summary written next to the
// image file.
#include "Ostravo/CellDetection.h"
#include "analysis/CountingAlgoOptions.h"
#include "tools/CountingParams.h"

#include <cstdint>
#include <string>
#include <vector>

// What a run reads of the controls, parsed.
struct CountingRunSettings
{
    CountingAlgoOptions options;
    int32_t upper_magnet = 0;
    int32_t lower_magnet = 0;
    bool restore_image = false;
    bool create_results_files = false;
    bool open_summary = false;
};

// Reads and checks the controls for an image of columns x rows, with the scale of the main
// settings file. False with the message to show (and log) for the first refusal: an edit that
// does not parse (named), a radius sweep outside 0 to 20, Bottom - Top below 20, Top below 0,
// Bottom not below the image height, Left below 0, Right not below the image width, Right not
// above Left, equal magnet rows. errorIcon tells whether the box shows the error icon.
bool PrepareCountingRun(const CountingControls &controls, int columns, int rows,
                        const std::string &settingsPath, CountingRunSettings &settings, std::string &message,
                        bool &errorIcon);

// The result table's and the summary's paths for an image: <base>.txt, else <base>[n].txt for the
// first n from 1 at which both the table and its summary are free, so an existing file is never
// chosen. <base> is the image path without its extension. False when no number below 100000 is
// free.
bool ChooseCountingResultPaths(const std::string &imagePath, std::string &table, std::string &summary);

// The facts of the header block that are not options.
struct CountingResultHeader
{
    std::string product_name;
    std::string version;
    std::string computer_name;
    std::string image_path;
    double radius_um[2] = {0.0, 0.0}; // as entered
};

// Texts of the result table and the summary, with CR LF line ends.
struct CountingResultTexts
{
    std::string table;
    std::string summary;
};

// The height of row iy between the magnet rows: 0 on the lower line, 1 on the upper one. The two
// rows must differ.
double CountingHeight(int32_t iy, int32_t upperMagnet, int32_t lowerMagnet);
// The histogram bin of a height: trunc(h x 29), kept inside 0 to 29.
int CountingHistogramBin(double height);

CountingResultTexts FormatCountingResults(const CountingResultHeader &header,
                                          const CountingRunSettings &settings,
                                          const std::vector<std::vector<CellDetection>> &detections);

// Writes text to a new file at path; never replaces an existing one. False with error.
bool WriteNewTextFile(const std::string &path, const std::string &text, std::string &error);
