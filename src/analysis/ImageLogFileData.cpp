#include "analysis/ImageLogFileData.h"

#include <charconv>
#include <cstdio>
#include <cstring>

#include "platform/Files.h"

namespace {

const char kHeaderStart[] = "ImageFile\tDate\tTime\t";

// Column layouts of the log generations, recognised by the start of the column header line.
struct Layout
{
    const char *header;
    int speed_column; // first of the two speed columns, counting ImageFile as 0
    int volume_column;
};
const Layout kLayouts[] = {
    {"ImageFile\tDate\tTime\tExposure(us)\tStatus\tError\tIllumChan\tPinchValveInput\tPinchValveOutput1\t"
     "PinchValveOutput2\tPump1ValvePos\tPump2ValvePos\tPump1SpeedULpMin\tPump2SpeedULpMin\tPump1VolUL\tPump2V"
     "olUL",
     12, 14},
    {"ImageFile\tDate\tTime\tExposure(us)\tStatus\tError\tIllumChan\tPump1ValvePos\tPump2ValvePos\t"
     "Pump1SpeedULpMin\tPump2SpeedULpMin\tPump1VolUL\tPump2VolUL",
     9, 11},
    {"ImageFile\tDate\tTime\tExposure(us)"
     "\tStatus\tError\tIllumChan\tP1\tP2\tP3\tP4\tQ1\tQ2\tVSampleUL\tVBufferUL\t"
     "VTopOutletUL\tVBotOutletUL",
     11, 15},
};
const Layout kNoPumps = {nullptr, -1, -1};

bool StartsWith(const std::string &text, const char *prefix)
{
    return text.compare(0, std::strlen(prefix), prefix) == 0;
}

const Layout &LayoutOfHeader(const std::string &header)
{
    for (const Layout &layout : kLayouts)
        if (StartsWith(header, layout.header))
            return layout;
    return kNoPumps;
}

// Cuts at the first CR or LF, then removes blanks and tabs at both ends.
std::string Trim(const std::string &text)
{
    std::string s = text.substr(0, text.find_first_of("\r\n"));
    const size_t first = s.find_first_not_of(" \t");
    if (first == std::string::npos)
        return std::string();
    const size_t last = s.find_last_not_of(" \t");
    return s.substr(first, last - first + 1);
}

std::string JoinPath(const std::string &folder, const std::string &name)
{
    const std::string trimmed = Trim(folder);
    if (trimmed.empty())
        return name;
    if (trimmed.back() == '/' || trimmed.back() == '\\')
        return trimmed + name;
    return trimmed + "/" + name;
}

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

// Log names have the form YYYYMMDD-HHMM-SS.log. Returns 1 for such a name, 0 for a name of the
// same length that is not one (which ends the search), -1 for names of any other shape.
int ClassifyLogName(const std::string &name)
{
    std::string rest = name;
    int dashes = 0;
    for (char &c : rest)
        if (c == '-') {
            c = ' ';
            ++dashes;
        }
    if (dashes == 2)
        for (size_t at; (at = rest.find(".log")) != std::string::npos;)
            rest.erase(at, 4);
    if (rest.size() != 16)
        return -1;
    for (size_t i = 0; i < rest.size(); ++i) {
        const bool blank_position = i == 8 || i == 13;
        if (blank_position ? rest[i] != ' ' : !IsDigit(rest[i]))
            return 0;
    }
    return 1;
}

bool EqualNoCase(const std::string &a, const std::string &b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'a' && x <= 'z')
            x = char(x - 'a' + 'A');
        if (y >= 'a' && y <= 'z')
            y = char(y - 'a' + 'A');
        if (x != y)
            return false;
    }
    return true;
}

std::vector<std::string> SplitTabs(const std::string &line)
{
    std::vector<std::string> fields;
    size_t start = 0;
    for (;;) {
        const size_t tab = line.find('\t', start);
        fields.push_back(line.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
        if (tab == std::string::npos)
            return fields;
        start = tab + 1;
    }
}

// A whole field of 1 to 9 decimal digits.
bool ParseDigits(const std::string &text, uint32_t &value)
{
    if (text.empty() || text.size() > 9)
        return false;
    value = 0;
    for (char c : text) {
        if (!IsDigit(c))
            return false;
        value = value * 10 + uint32_t(c - '0');
    }
    return true;
}

bool SplitExactly(const std::string &text, char separator, size_t count, std::vector<std::string> &parts)
{
    parts.clear();
    size_t start = 0;
    for (;;) {
        const size_t at = text.find(separator, start);
        parts.push_back(text.substr(start, at == std::string::npos ? std::string::npos : at - start));
        if (at == std::string::npos)
            break;
        start = at + 1;
    }
    return parts.size() == count;
}

struct RowTime
{
    uint32_t year, month, day, hour, minute, second, millisecond;
};

// Date "Y/M/D" and time "h:m:s" with an optional decimal fraction of the seconds, as the log
// writes them. The milliseconds are the fraction's first three digits, so "12.345" stays 345 ms.
bool ParseDateTime(const std::string &date, const std::string &time, RowTime &t)
{
    std::vector<std::string> parts;
    if (!SplitExactly(date, '/', 3, parts) || !ParseDigits(parts[0], t.year) ||
        !ParseDigits(parts[1], t.month) || !ParseDigits(parts[2], t.day))
        return false;
    if (!SplitExactly(time, ':', 3, parts) || !ParseDigits(parts[0], t.hour) ||
        !ParseDigits(parts[1], t.minute))
        return false;
    const std::string seconds = parts[2];
    const size_t dot = seconds.find('.');
    if (!ParseDigits(seconds.substr(0, dot), t.second))
        return false;
    t.millisecond = 0;
    if (dot != std::string::npos) {
        const std::string fraction = seconds.substr(dot + 1);
        for (size_t i = 0; i < fraction.size(); ++i) {
            if (!IsDigit(fraction[i]))
                return false;
            if (i < 3)
                t.millisecond += uint32_t(fraction[i] - '0') * (i == 0 ? 100 : i == 1 ? 10 : 1);
        }
    }
    return true;
}

bool IsLeapYear(uint32_t y)
{
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

// Days from 1601-01-01 to the given date of the proleptic Gregorian calendar.
int64_t DaysSince1601(int64_t y, int64_t m, int64_t d)
{
    y -= m <= 2;
    const int64_t era = y / 400;
    const int64_t yoe = y - era * 400;
    const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    const int64_t days_since_0000_03_01 = era * 146097 + doe;
    // 1601-01-01 lies 584694 days after 0000-03-01.
    return days_since_0000_03_01 - 584694;
}

// The platform's file-time range: 1601 to 30827, and a valid calendar date and time of day.
bool ToFileTime(const RowTime &t, uint64_t &file_time)
{
    static const uint32_t kDaysInMonth[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (t.year < 1601 || t.year > 30827 || t.month < 1 || t.month > 12 || t.day < 1)
        return false;
    const uint32_t month_days = kDaysInMonth[t.month - 1] + (t.month == 2 && IsLeapYear(t.year) ? 1 : 0);
    if (t.day > month_days || t.hour > 23 || t.minute > 59 || t.second > 59)
        return false;
    const int64_t days = DaysSince1601(t.year, t.month, t.day);
    const int64_t seconds = days * 86400 + int64_t(t.hour) * 3600 + int64_t(t.minute) * 60 + t.second;
    file_time = uint64_t(seconds) * 10000000u + uint64_t(t.millisecond) * 10000u;
    return true;
}

enum class NumberField
{
    Parsed,
    NotANumber, // holds no number at all: the value stays 0
    Malformed,  // a number followed by other text
};

// Reads a field as "%f" would, independent of the C library's locale.
NumberField ParseFloatField(const std::string &field, float &value)
{
    const char *p = field.c_str();
    const char *end = p + field.size();
    while (p < end && (*p == ' ' || *p == '\t' || *p == '\r' || *p == '\n' || *p == '\v' || *p == '\f'))
        ++p;
    if (p < end && *p == '+' && p + 1 < end && p[1] != '-')
        ++p;
    const auto result = std::from_chars(p, end, value, std::chars_format::general);
    if (result.ptr == p)
        return NumberField::NotANumber;
    if (result.ec == std::errc::result_out_of_range)
        return NumberField::Malformed;
    for (const char *q = result.ptr; q < end; ++q)
        if (*q != ' ')
            return NumberField::Malformed;
    return NumberField::Parsed;
}

// Reads the pair of fields at column: true when both hold numbers. A malformed number sets
// malformed; a missing field or one without a number leaves the pair unread.
bool ReadPair(const std::vector<std::string> &fields, int column, float &first, float &second,
              bool &malformed)
{
    if (column < 0 || size_t(column) + 1 >= fields.size())
        return false;
    float a = 0.0f, b = 0.0f;
    NumberField state = ParseFloatField(fields[column], a);
    if (state == NumberField::Parsed)
        state = ParseFloatField(fields[column + 1], b);
    if (state == NumberField::Malformed)
        malformed = true;
    if (state != NumberField::Parsed)
        return false;
    first = a;
    second = b;
    return true;
}

std::string LineNumberText(size_t line_number, const std::string &path)
{
    return std::to_string(line_number) + " of log file " + path;
}

} // namespace

bool ImageLogFileData::Load(const char *image_folder, EString &error)
{
    log_path.Assign("");
    const std::string given = image_folder ? image_folder : "";
    const std::string folder = Trim(given);
    const std::vector<platform::DirEntry> entries =
        platform::ListFolder(folder.empty() ? "." : folder, "*.log");
    if (entries.empty()) {
        error.Assign(("No log file found in directory: " + given).c_str());
        return false;
    }
    std::string path;
    for (const platform::DirEntry &entry : entries) {
        if (entry.isFolder)
            continue;
        const int kind = ClassifyLogName(entry.name);
        if (kind < 0)
            continue;
        if (kind == 1)
            path = platform::NormalizePath(JoinPath(folder, entry.name));
        break;
    }
    if (path.empty()) {
        error.Assign(("No log file with a valid name found in directory: " + given).c_str());
        return false;
    }
    log_path.Assign(path.c_str());

    std::string bytes;
    if (!platform::ReadWholeFile(path, bytes)) {
        error.Assign(("Unable to open log file for reading: " + path).c_str());
        return false;
    }

    // Rows are collected apart and kept only when the whole log reads cleanly.
    ImageLogFileData rows;
    const Layout *layout = nullptr;
    size_t line_number = 0;
    for (size_t start = 0; start < bytes.size();) {
        size_t end = bytes.find('\n', start);
        if (end == std::string::npos)
            end = bytes.size();
        std::string line = bytes.substr(start, end - start);
        start = end + 1;
        ++line_number;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();

        // A writer that restarts its record repeats the header block; a repeated column header
        // describes the rows that follow it.
        if (StartsWith(line, kHeaderStart)) {
            layout = &LayoutOfHeader(line);
            continue;
        }
        if (!layout)
            continue;

        const size_t tab = line.find('\t');
        if (tab == std::string::npos)
            continue;
        unsigned long year, month, day, hour, minute;
        double seconds;
        if (std::sscanf(line.c_str() + tab + 1, "%lu/%lu/%lu\t%lu:%lu:%lf", &year, &month, &day, &hour,
                        &minute, &seconds) != 6)
            continue;

        const std::vector<std::string> fields = SplitTabs(line);
        RowTime t{};
        if (fields.size() < 3 || !ParseDateTime(fields[1], fields[2], t)) {
            error.Assign(("ImageLogFileData::Load() - malformed date or time in line " +
                          LineNumberText(line_number, path))
                             .c_str());
            return false;
        }
        uint64_t file_time = 0;
        if (!ToFileTime(t, file_time)) {
            error.Assign(("ImageLogFileData::Load() - date or time out of range in line " +
                          LineNumberText(line_number, path))
                             .c_str());
            return false;
        }
        float speed1 = 0.0f, speed2 = 0.0f, volume1 = 0.0f, volume2 = 0.0f;
        bool malformed = false;
        if (ReadPair(fields, layout->speed_column, speed1, speed2, malformed))
            ReadPair(fields, layout->volume_column, volume1, volume2, malformed);
        if (malformed) {
            error.Assign(("ImageLogFileData::Load() - malformed pump value in line " +
                          LineNumberText(line_number, path))
                             .c_str());
            return false;
        }
        rows.file_names.push_back(line.substr(0, tab));
        rows.times.push_back(file_time);
        rows.pump1_speed.push_back(speed1);
        rows.pump2_speed.push_back(speed2);
        rows.pump1_volume.push_back(volume1);
        rows.pump2_volume.push_back(volume2);
    }
    if (!layout) {
        error.Assign(
            ("Did not find line beginning with: \"ImageFile\tDate\tTime\t\" in file " + path).c_str());
        return false;
    }

    auto append = [](auto &to, const auto &from) { to.insert(to.end(), from.begin(), from.end()); };
    append(file_names, rows.file_names);
    append(times, rows.times);
    append(pump1_speed, rows.pump1_speed);
    append(pump2_speed, rows.pump2_speed);
    append(pump1_volume, rows.pump1_volume);
    append(pump2_volume, rows.pump2_volume);
    return true;
}

bool ImageLogFileData::SetFirstFileName(const char *file_name, EString &error)
{
    const std::string name = file_name ? file_name : "";
    if (file_names.empty()) {
        error.Assign("ImageLogFileData::SetFirstFileName() - Must call Load() before calling this function.");
        return false;
    }
    for (size_t i = 0; i < file_names.size(); ++i) {
        if (EqualNoCase(file_names[i], name)) {
            search_start = int32_t(i);
            return true;
        }
    }
    error.Assign(
        ("ImageLogFileData::SetFirstFileName() - did not find file " + name + " in the log.").c_str());
    return false;
}

double ImageLogFileData::GetElapsedMinutes(const char *file_name, PumpValues *pump_values) const
{
    const std::string name = file_name ? file_name : "";
    for (size_t i = size_t(search_start < 0 ? 0 : search_start); i < file_names.size(); ++i) {
        if (!EqualNoCase(file_names[i], name))
            continue;
        const uint64_t t = times[i], t0 = times[0];
        if (t >= t0) {
            if (pump_values) {
                pump_values->pump1_speed = pump1_speed[i];
                pump_values->pump2_speed = pump2_speed[i];
                pump_values->pump1_volume = pump1_volume[i];
                pump_values->pump2_volume = pump2_volume[i];
            }
            return double((t - t0) / 10000) / 1000.0 / 60.0;
        }
        if (pump_values)
            *pump_values = PumpValues();
        return -(double((t0 - t) / 10000) / 1000.0 / 60.0);
    }
    return 0.0;
}

void ImageLogFileData::Clear()
{
    log_path.Assign("");
    file_names.clear();
    file_names.shrink_to_fit();
    times.clear();
    times.shrink_to_fit();
    for (std::vector<float> *values : {&pump1_speed, &pump2_speed, &pump1_volume, &pump2_volume}) {
        values->clear();
        values->shrink_to_fit();
    }
}
