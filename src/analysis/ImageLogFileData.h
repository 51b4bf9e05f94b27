#pragma once
// Reader of the capture log that the instrument writes beside a folder of images: per image file
// the capture time and the speeds and volumes of the two syringe pumps.
#include "Ostravo/EString.h"

#include <cstdint>
#include <string>
#include <vector>

// The four pump values of one log row.
struct PumpValues
{
    float pump1_speed = 0.0f;  // uL/min
    float pump2_speed = 0.0f;  // uL/min
    float pump1_volume = 0.0f; // uL
    float pump2_volume = 0.0f; // uL
};

struct ImageLogFileData
{
    // Finds the folder's log (named YYYYMMDD-HHMM-SS.log, the first such name decides) and
    // appends its rows. False with the error text set when there is no such log, it is no regular
    // file or cannot be read, or it has no column header. Nothing fails after the column header:
    // a row without a readable date and time is skipped (one error-log line names a row whose date
    // or time is out of range), a pump pair that does not read stays 0. Lines are read at most
    // 4094 characters at a time; the rest of a longer line is read as a line of its own.
    bool Load(const char *image_folder, EString &error);
    // Elapsed minutes are searched from the row of this file on (names compared ignoring ASCII
    // case).
    bool SetFirstFileName(const char *file_name, EString &error);
    // Minutes from the log's first row to the file's row (negative, with zero pump values, when
    // earlier); 0 for a file not found from the search start on, leaving pump_values untouched.
    // pump_values may be null.
    double GetElapsedMinutes(const char *file_name, PumpValues *pump_values = nullptr) const;
    // Releases the rows and the path.
    void Clear();

    size_t RowCount() const { return file_names.size(); }

    int32_t search_start = 0;
    EString log_path; // the log Load chose; empty when none was found
    // One entry per accepted row, in file order.
    std::vector<std::string> file_names;
    std::vector<uint64_t> times; // capture time in 100 ns units since 1601-01-01, as written
    std::vector<float> pump1_speed;
    std::vector<float> pump2_speed;
    std::vector<float> pump1_volume;
    std::vector<float> pump2_volume;
};
