#include "tools/ImageFolderLog.h"

#include "Ostravo/TextFormat.h"
#include "platform/Files.h"
#include "platform/Utf8Text.h"
#include "tools/FlowSplit.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

const char *const kLogFileExpectedHeader =
    "ImageFile\tDate\tTime\tExposure(us)\tStatus\tError\tIllumChan\t"
    "Pump1ValvePos\tPump2ValvePos\tPump1SpeedULpMin\tPump2SpeedULpMin\t"
    "Pump1VolUL\tPump2VolUL";

LogFileData::LogFileData() : m_records(SortedPtrOwnsItems | SortedPtrKeepSorted) {}

bool LogFileData::LoadFromDirectory(const char *folder, EString &error)
{
    m_log_path.Assign("");
    m_records.RemoveAll(false);
    const std::string typed = folder ? platform::TruncateUtf8(std::string(folder), 1023) : std::string();
    if (typed.empty())
        return true;

    EString trimmed(typed.c_str());
    trimmed.Trim();
    const std::string where =
        trimmed.IsNonEmpty() ? platform::NormalizePath(trimmed.c_str()) : std::string(".");
    std::vector<std::string> files;
    bool any = false;
    for (const platform::DirEntry &entry : platform::ListFolder(where, "*.log")) {
        any = true;
        if (entry.isFolder)
            continue;
        EString path;
        path.JoinPath(trimmed.c_str(), entry.name.c_str());
        files.push_back(path.c_str());
    }
    // A folder named *.log is no log.
    if (!any || files.empty()) {
        error.Assign(("No log file found in image directory: " + typed).c_str());
        return false;
    }
    if (files.size() >= 2) {
        error.Assign(FormatText("Expect only 1 log file, found %d log files in the image directory: %s",
                                int(files.size()), typed.c_str())
                         .c_str());
        return false;
    }
    m_log_path.Assign(files.front().c_str());
    if (!LoadFromText(error)) {
        m_log_path.Assign("");
        return false;
    }
    return true;
}

namespace {

// One line without its LF or CR LF; false at the end of the file.
bool ReadLine(std::FILE *file, std::string &line)
{
    char buffer[kLogFileMaxLine + 1];
    if (!std::fgets(buffer, sizeof(buffer), file))
        return false;
    size_t length = std::strlen(buffer);
    if (length > 0 && buffer[length - 1] == '\n')
        --length;
    if (length > 0 && buffer[length - 1] == '\r')
        --length;
    line.assign(buffer, length);
    return true;
}

bool ParseSpeed(const EString &field, float &value)
{
    return std::sscanf(field.c_str(), "%f", &value) == 1;
}

} // namespace

bool LogFileData::LoadFromText(EString &error)
{
    const std::string path = m_log_path.c_str();
    std::FILE *file = path.empty() ? nullptr : platform::OpenRegularFile(path);
    if (!file) {
        error.Assign(
            FormatText("Unable to open log file for reading, make sure that it is not open in Excel: %s",
                       path.c_str())
                .c_str());
        return false;
    }
    const size_t headerLength = std::strlen(kLogFileExpectedHeader);
    unsigned long lineNumber = 0;
    std::string line;
    bool header = false;
    while (ReadLine(file, line)) {
        ++lineNumber;
        if (line.compare(0, headerLength, kLogFileExpectedHeader) == 0) {
            header = true;
            break;
        }
    }
    if (!header) {
        std::fclose(file);
        error.Assign(
            FormatText("Did not find expected header line in the log file: %s", kLogFileExpectedHeader)
                .c_str());
        return false;
    }

    std::vector<EString> fields;
    while (ReadLine(file, line)) {
        ++lineNumber;
        const int count = SplitIntoVector(line.c_str(), fields, '\t');
        std::string message;
        float speed1 = 0.0f, speed2 = 0.0f;
        if (count < kLogFileColumns)
            message =
                FormatText("LogFileData::LoadFromText() - invalid line, expected %ld items, found %ld items",
                           long(kLogFileColumns), long(count));
        else if (!ParseSpeed(fields[9], speed1))
            message =
                FormatText("LogFileData::LoadFromText() - invalid line, expected floating point value for "
                           "column 10 (Pump1SpeedULpMin): %s",
                           fields[9].c_str());
        else if (!ParseSpeed(fields[10], speed2))
            message =
                FormatText("LogFileData::LoadFromText() - invalid line, expected floating point value for "
                           "column 11 (Pump2SpeedULpMin): %s",
                           fields[10].c_str());
        if (!message.empty()) {
            std::fclose(file);
            error.Assign(FormatText("Error at line %lu : %s", lineNumber, message.c_str()).c_str());
            return false;
        }
        auto *record = new LogFileRecord;
        record->m_image_name = fields[0];
        record->m_pump_speed1 = speed1;
        record->m_pump_speed2 = speed2;
        if (!m_records.AddUnique(record)) {
            delete record;
            std::fclose(file);
            error.Assign(FormatText("Log file error at line %ld, repeated file name: %s", long(lineNumber),
                                    path.c_str())
                             .c_str());
            return false;
        }
    }
    std::fclose(file);
    return true;
}

bool LogFileData::GetChannelDivider(const char *imagePath, double &divider, EString &error) const
{
    EString name;
    name.SplitPath(imagePath, 0, 1, 1);
    const LogFileRecord *record = m_records.FindByName(name.c_str());
    if (!record) {
        error.Assign(
            (std::string("Missing log file data for image: ") + (imagePath ? imagePath : "")).c_str());
        return false;
    }
    if (record->m_pump_speed1 == 0.0f && record->m_pump_speed2 == 0.0f) {
        divider = 0.5;
        return true;
    }
    float value = 0.0f;
    if (!ChannelDividerFromFlows(record->m_pump_speed1, record->m_pump_speed2, value, error))
        return false;
    divider = double(value);
    return true;
}

std::shared_ptr<const LogFileData> LogFileData::Snapshot() const
{
    auto copy = std::make_shared<LogFileData>();
    copy->m_log_path = m_log_path;
    for (int32_t i = 0; i < m_records.GetCount(); ++i)
        copy->m_records.Add(new LogFileRecord(*m_records.GetAt(i)));
    return copy;
}
