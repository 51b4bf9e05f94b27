// Reading the capture log of an experiment into brightfield records and selecting the longest run
// of pumped images at consecutive positions.
#include "experiment/ExperimentData.h"

#include "Ostravo/LogError.h"
#include "platform/ErrorText.h"
#include "platform/Files.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <ctime>

namespace {

enum class RowKind
{
    None,
    Brightfield,
    Fluorescence1,
    Fluorescence2,
};

RowKind KindOf(const std::string &cell)
{
    if (cell.find("Brightfield") != std::string::npos || cell.find("BrtFld") != std::string::npos)
        return RowKind::Brightfield;
    if (cell.find("Ex474") != std::string::npos || cell.find("Em524") != std::string::npos)
        return RowKind::Fluorescence1;
    if (cell.find("Ex560") != std::string::npos || cell.find("Em628") != std::string::npos)
        return RowKind::Fluorescence2;
    return RowKind::None;
}

// The standard text-to-double reading (leading blanks skipped, longest number prefix), refusing a
// text without a number or out of range instead of throwing.
bool ReadDouble(const std::string &text, double &value)
{
    const char *start = text.c_str();
    char *end = nullptr;
    errno = 0;
    value = std::strtod(start, &end);
    if (end == start)
        return false;
    if (errno == ERANGE && std::isinf(value))
        return false;
    return true;
}

// The position number: the four characters before the last four of the file name.
bool ReadPosition(const std::string &name, int32_t &position)
{
    if (name.size() < 8)
        return false;
    const std::string digits = name.substr(name.size() - 8, 4);
    for (char c : digits)
        if (c < '0' || c > '9')
            return false;
    position = static_cast<int32_t>(std::stod(digits));
    return true;
}

struct Columns
{
    size_t image = 0, date = 0, time = 0, exposure = 0, pump1 = 0, pump2 = 0;
    size_t Max() const { return std::max({image, date, time, exposure, pump1, pump2}); }
};

size_t ColumnOf(const std::vector<std::string> &cells, const char *name)
{
    for (size_t i = 0; i < cells.size(); ++i)
        if (cells[i] == name)
            return i;
    return cells.size();
}

} // namespace

uint32_t ParseLogDateTime(const std::string &date, const std::string &time, bool *ok)
{
    if (ok)
        *ok = false;
    const std::vector<std::string> d = ExperimentData::SplitString(date, '/');
    const std::vector<std::string> t = ExperimentData::SplitString(time, ':');
    if (d.size() < 3 || t.size() < 3)
        return 0;
    const std::vector<std::string> s = ExperimentData::SplitString(t[2], '.');
    if (s.size() < 2)
        return 0;
    double year, month, day, hours, minutes, seconds, millis;
    if (!ReadDouble(d[0], year) || !ReadDouble(d[1], month) || !ReadDouble(d[2], day) ||
        !ReadDouble(t[0], hours) || !ReadDouble(t[1], minutes) || !ReadDouble(t[2], seconds) ||
        !ReadDouble(s[1], millis))
        return 0;
    // Values far outside a calendar would make the integer conversions below undefined.
    const double fields[] = {year, month, day, hours, minutes, seconds};
    for (double v : fields)
        if (!(std::fabs(v) < 1e6))
            return 0;
    if (!(std::fabs(millis) < 1e9))
        return 0;

    // The daylight-saving flag is the one in force now, as the Windows build had it.
    std::time_t now = std::time(nullptr);
    std::tm broken{};
    localtime_r(&now, &broken);
    broken.tm_year = static_cast<int>(year - 1900);
    broken.tm_mon = static_cast<int>(month - 1);
    broken.tm_mday = static_cast<int>(day);
    broken.tm_sec = static_cast<int>(seconds);
    broken.tm_min = static_cast<int>(minutes);
    broken.tm_hour = static_cast<int>(hours);
    const std::time_t seconds_since_epoch = std::mktime(&broken);
    const double total = static_cast<double>(seconds_since_epoch) * 1000.0 + millis;
    if (!(std::fabs(total) < 9e18))
        return 0;
    if (ok)
        *ok = true;
    return static_cast<uint32_t>(static_cast<uint64_t>(static_cast<int64_t>(total)));
}

std::vector<PositionRun> FindConsecutivePositionRuns(const std::vector<CaptureLogRecord> &records)
{
    std::vector<PositionRun> runs;
    const int32_t n = static_cast<int32_t>(records.size());
    int32_t start = -1, length = 1;
    for (int32_t i = 1; i < n; ++i) {
        if (records[i].images.brightfield.position == records[i - 1].images.brightfield.position + 1) {
            if (start == -1)
                start = i - 1;
            length += 1;
        } else {
            runs.push_back({start, i, length});
            start = -1;
            length = 1;
        }
    }
    runs.push_back({start, n, length});
    return runs;
}

bool ExperimentData::SelectLongestRun(const std::vector<PositionRun> &runs,
                                      const std::vector<CaptureLogRecord> &records)
{
    if (runs.empty() || records.empty())
        return false;
    const PositionRun *longest = &runs[0];
    for (const PositionRun &run : runs)
        if (run.length > longest->length)
            longest = &run;
    if (longest->first < 0)
        return false;
    for (int32_t i = 0; i < longest->length; ++i) {
        const size_t index = static_cast<size_t>(longest->first + i);
        if (index >= records.size())
            return false;
        m_selected_run.push_back(records[index]);
    }
    return true;
}

bool ExperimentData::ReadCaptureLog(const std::string &log_path, std::string *error)
{
    auto fail = [&](const std::string &message) {
        LogError(__FILE__, __LINE__, message);
        return platform::SetError(error, message);
    };
    std::string bytes, readError;
    if (!platform::ReadWholeFile(log_path, bytes, &readError))
        return fail("Cannot read the capture log " + log_path + ": " + readError);

    Columns columns;
    std::vector<int32_t> positions;
    size_t lineNumber = 0;
    size_t begin = 0;
    while (begin < bytes.size()) {
        size_t end = bytes.find('\n', begin);
        if (end == std::string::npos)
            end = bytes.size();
        std::string line = bytes.substr(begin, end - begin);
        begin = end + 1;
        ++lineNumber;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        const std::string where = log_path + " line " + std::to_string(lineNumber);

        const std::vector<std::string> cells = SplitString(line, '\t');
        if (line.find("Cartridge barcode") != std::string::npos) {
            if (cells.size() < 2)
                return fail("Capture log " + where + ": the bar-code line has no second cell");
            const std::vector<std::string> pieces = SplitString(cells[1], ' ');
            m_cartridge_id = pieces.back().substr(0, 3);
        }
        if (ColumnOf(cells, "ImageFile") < cells.size()) {
            columns.image = ColumnOf(cells, "ImageFile");
            columns.date = ColumnOf(cells, "Date");
            columns.time = ColumnOf(cells, "Time");
            columns.exposure = ColumnOf(cells, "Exposure(us)");
            columns.pump1 = ColumnOf(cells, "Pump1SpeedULpMin");
            columns.pump2 = ColumnOf(cells, "Pump2SpeedULpMin");
        }
        if (columns.image >= cells.size())
            continue;
        const RowKind kind = KindOf(cells[columns.image]);
        if (kind == RowKind::None)
            continue;
        const std::string &name = cells[columns.image];

        if (kind == RowKind::Brightfield) {
            if (columns.Max() >= cells.size())
                return fail("Capture log " + where +
                            ": the brightfield row lacks one of the columns "
                            "ImageFile, Date, Time, Exposure(us), Pump1SpeedULpMin, "
                            "Pump2SpeedULpMin");
            CaptureLogRecord record;
            record.images.brightfield.file_name = name;
            if (!ReadDouble(cells[columns.exposure], record.brightfield_exposure_us) ||
                !ReadDouble(cells[columns.pump1], record.pump1_speed) ||
                !ReadDouble(cells[columns.pump2], record.pump2_speed))
                return fail("Capture log " + where + ": an exposure or pump speed is not a number");
            bool timeOk = false;
            record.capture_time_ms = ParseLogDateTime(cells[columns.date], cells[columns.time], &timeOk);
            if (!timeOk)
                return fail("Capture log " + where + ": the date \"" + cells[columns.date] + "\" or time \"" +
                            cells[columns.time] + "\" is not of the form year/month/day h:m:s.ms");
            int32_t position = 0;
            if (!ReadPosition(name, position))
                return fail("Capture log " + where + ": the file name \"" + name +
                            "\" does not end in a four-digit position and four more characters");
            record.images.brightfield.position = position;
            m_records.push_back(record);
            positions.push_back(position);
            continue;
        }

        if (columns.image >= cells.size() || columns.exposure >= cells.size())
            return fail("Capture log " + where +
                        ": the fluorescence row lacks the ImageFile or Exposure(us) column");
        int32_t position = 0;
        if (!ReadPosition(name, position))
            return fail("Capture log " + where + ": the file name \"" + name +
                        "\" does not end in a four-digit position and four more characters");
        double exposure = 0.0;
        if (!ReadDouble(cells[columns.exposure], exposure))
            return fail("Capture log " + where + ": the exposure is not a number");
        for (size_t i = 0; i < positions.size(); ++i) {
            if (positions[i] != position)
                continue;
            CaptureLogRecord &record = m_records[i];
            ChannelImage &slot =
                kind == RowKind::Fluorescence1 ? record.images.fluorescence1 : record.images.fluorescence2;
            slot.file_name = name;
            slot.position = position;
            (kind == RowKind::Fluorescence1 ? record.fluorescence1_exposure_us
                                            : record.fluorescence2_exposure_us) = exposure;
            break;
        }
    }

    if (m_records.size() < 2)
        return fail("Capture log " + log_path + " holds fewer than two brightfield images");
    m_reference_record = m_records[1];

    std::vector<CaptureLogRecord> pumped;
    for (const CaptureLogRecord &record : m_records) {
        if ((record.pump1_speed > 0.0 && record.pump1_speed < 1000.0) ||
            (record.pump2_speed > 0.0 && record.pump2_speed < 1000.0))
            pumped.push_back(record);
    }
    const bool ok = SelectLongestRun(FindConsecutivePositionRuns(pumped), pumped);
    if (m_selected_run.empty())
        return fail("Capture log " + log_path + " has no two pumped images at consecutive positions");

    const double n = static_cast<double>(m_selected_run.size());
    double sum = 0.0;
    for (const CaptureLogRecord &record : m_selected_run)
        sum += record.brightfield_exposure_us;
    m_mean_brightfield_exposure = sum / n;
    if (!m_selected_run.front().images.fluorescence1.file_name.empty()) {
        sum = 0.0;
        for (const CaptureLogRecord &record : m_selected_run)
            if (!record.images.fluorescence1.file_name.empty())
                sum += record.fluorescence1_exposure_us;
        m_mean_fluorescence1_exposure = sum / n;
    }
    if (!m_selected_run.front().images.fluorescence2.file_name.empty()) {
        sum = 0.0;
        for (const CaptureLogRecord &record : m_selected_run)
            if (!record.images.fluorescence2.file_name.empty())
                sum += record.fluorescence2_exposure_us;
        m_mean_fluorescence2_exposure = sum / n;
    }
    if (!ok)
        return fail("Capture log " + log_path + " has no two pumped images at consecutive positions");
    return true;
}
