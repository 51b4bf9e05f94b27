#pragma once
// The capture log of an image folder as the fractionation tool reads it: one record per image file
// with the two pump speeds of its row, looked up by file name ignoring ASCII case. This reader has
// its own rules and messages: it reads only the columns it needs, and a header block written a
// second time further down the log ends its load.
#include "Ostravo/EString.h"
#include "Ostravo/SortedPtrArray.h"
#include "app/ToolServices.h"

#include <cstdint>
#include <memory>

// The 13 column names a usable header line begins with, joined by tabs.
extern const char *const kLogFileExpectedHeader;
// Columns of a row.
inline constexpr int32_t kLogFileColumns = 13;
// Longest line read at once; a longer one is read as several lines.
inline constexpr int kLogFileMaxLine = 4094;

using LogFileRecordArray =
    SortedPtrArray<LogFileRecord, NoCaseNameOrder<LogFileRecord, &LogFileRecord::m_image_name>>;

class LogFileData
{
  public:
    LogFileData();

    // Empties the records and the path, then loads the one *.log file of folder (the Image
    // Directory text as typed). An empty folder text loads nothing and is no error. False with the
    // reason when the folder holds no log or more than one, or the log cannot be read; the records
    // read before a failing line stay, the path is then empty.
    bool LoadFromDirectory(const char *folder, EString &error);
    // Parses the file at the log path and adds its rows to the records (which it does not empty).
    bool LoadFromText(EString &error);
    // The channel divider of the image (a full path; its file name and extension are looked up).
    bool GetChannelDivider(const char *imagePath, double &divider, EString &error) const;

    const EString &LogPath() const { return m_log_path; }
    void SetLogPath(const char *path) { m_log_path.Assign(path); }
    int32_t RecordCount() const { return m_records.GetCount(); }
    const LogFileRecord *Find(const char *imageName) const { return m_records.FindByName(imageName); }
    const LogFileRecord *RecordAt(int32_t position) const { return m_records.GetAt(position); }

    // An independent copy of the records and the path, for a run that must not see later loads.
    std::shared_ptr<const LogFileData> Snapshot() const;

  private:
    EString m_log_path;
    LogFileRecordArray m_records;
};
