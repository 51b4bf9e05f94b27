#include "analysis/ImageLogFileData.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "Ostravo/LogError.h"
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

// The longest line read at once; the rest of a longer line is read as the next line.
constexpr int kMaxLineChars = 4094;

bool IsSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

// The scanners below read as the C library's "%lu" and "%lf" do, but independent of the locale
// the program runs in (the log always writes a decimal point).
bool ScanUnsigned(const char *&p, uint64_t &value)
{
    while (IsSpace(*p))
        ++p;
    bool negative = false;
    if (*p == '+' || *p == '-')
        negative = *p++ == '-';
    if (!IsDigit(*p))
        return false;
    value = 0;
    bool overflow = false;
    for (; IsDigit(*p); ++p) {
        const uint64_t digit = uint64_t(*p - '0');
        if (value > (UINT64_MAX - digit) / 10)
            overflow = true;
        else
            value = value * 10 + digit;
    }
    // A negative or oversized number wraps or saturates there: out of every calendar range here.
    if (overflow || (negative && value != 0))
        value = UINT64_MAX;
    return true;
}

template <typename Number> bool ScanNumber(const char *&p, const char *end, Number &value)
{
    if (p < end && *p == '+' && p + 1 < end && p[1] != '-' && p[1] != '+')
        ++p;
    const auto result = std::from_chars(p, end, value, std::chars_format::general);
    if (result.ptr == p || result.ec != std::errc())
        return false;
    p = result.ptr;
    return true;
}

// "%lu/%lu/%lu\t%lu:%lu:%lf" on the text after the file name; the seconds carry the milliseconds
// as a decimal fraction.
bool ScanDateTime(const std::string &text, uint64_t fields[5], double &seconds)
{
    const char *p = text.c_str();
    for (int i = 0; i < 5; ++i) {
        if (!ScanUnsigned(p, fields[i]))
            return false;
        if (i == 2) {
            while (IsSpace(*p)) // a white-space directive matches any run, also none
                ++p;
        } else if (*p++ != (i < 2 ? '/' : ':')) {
            return false;
        }
    }
    while (IsSpace(*p))
        ++p;
    return ScanNumber(p, text.c_str() + text.size(), seconds);
}

// Reads a pair of numbers as "%f\t%f" would from the start of a column; blanks may pad either
// number, but each stays in its own column. An out-of-range number counts as none.
bool ScanFloatPair(const char *p, const char *end, float &first, float &second)
{
    auto skip_blanks = [&] {
        while (p < end && *p != '\t' && IsSpace(*p))
            ++p;
    };
    float a = 0.0f, b = 0.0f;
    skip_blanks();
    if (!ScanNumber(p, end, a))
        return false;
    skip_blanks();
    if (p == end || *p++ != '\t')
        return false;
    skip_blanks();
    if (!ScanNumber(p, end, b))
        return false;
    first = a;
    second = b;
    return true;
}

// Start of the column (counting ImageFile as 0), or null when the line ends before it.
const char *ColumnStart(const std::string &line, int column)
{
    size_t at = 0;
    for (int i = 0; i < column; ++i) {
        at = line.find('\t', at);
        if (at == std::string::npos)
            return nullptr;
        ++at;
    }
    return line.c_str() + at;
}

struct RowTime
{
    uint64_t year, month, day, hour, minute;
    double seconds;
};

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

// The platform's file-time range: 1601 to 30827, and a valid calendar date and time of day. The
// milliseconds are the seconds' fraction truncated; the small allowance keeps "12.345" at 345 ms
// where its binary fraction falls just short.
bool ToFileTime(const RowTime &t, uint64_t &file_time)
{
    static const uint32_t kDaysInMonth[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (t.year < 1601 || t.year > 30827 || t.month < 1 || t.month > 12 || t.day < 1)
        return false;
    const uint64_t month_days =
        kDaysInMonth[t.month - 1] + (t.month == 2 && IsLeapYear(uint32_t(t.year)) ? 1 : 0);
    if (t.day > month_days || t.hour > 23 || t.minute > 59 || !(t.seconds >= 0.0 && t.seconds < 60.0))
        return false;
    const double whole = std::floor(t.seconds);
    const int64_t millisecond = std::min<int64_t>(int64_t((t.seconds - whole) * 1000.0 + 1e-6), 999);
    const int64_t days = DaysSince1601(int64_t(t.year), int64_t(t.month), int64_t(t.day));
    const int64_t seconds = days * 86400 + int64_t(t.hour) * 3600 + int64_t(t.minute) * 60 + int64_t(whole);
    file_time = uint64_t(seconds) * 10000000u + uint64_t(millisecond) * 10000u;
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

    // Only a regular file is read: a FIFO or a device named like a log would block or never end.
    std::FILE *file = platform::OpenRegularFile(path);
    if (!file) {
        error.Assign(("Unable to open log file for reading: " + path).c_str());
        return false;
    }

    const Layout *layout = nullptr;
    size_t line_number = 0;
    char buffer[kMaxLineChars + 1];
    while (std::fgets(buffer, sizeof buffer, file)) {
        std::string line = buffer;
        ++line_number;
        if (!line.empty() && line.back() == '\n')
            line.pop_back();
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

        // From the column header on nothing fails the load: a row that cannot be placed in time is
        // skipped, a pump value that cannot be read stays 0.
        const size_t tab = line.find('\t');
        if (tab == std::string::npos)
            continue;
        uint64_t fields[5];
        RowTime t{};
        if (!ScanDateTime(line.substr(tab + 1), fields, t.seconds))
            continue;
        t.year = fields[0];
        t.month = fields[1];
        t.day = fields[2];
        t.hour = fields[3];
        t.minute = fields[4];
        uint64_t file_time = 0;
        if (!ToFileTime(t, file_time)) {
            LogError(__FILE_NAME__, __LINE__,
                     "ImageLogFileData::Load() - date or time out of range, skipped line " +
                         LineNumberText(line_number, path));
            continue;
        }
        float speed1 = 0.0f, speed2 = 0.0f, volume1 = 0.0f, volume2 = 0.0f;
        const char *end = line.c_str() + line.size();
        const char *speeds = layout->speed_column < 0 ? nullptr : ColumnStart(line, layout->speed_column);
        if (speeds && ScanFloatPair(speeds, end, speed1, speed2)) {
            const char *volumes = ColumnStart(line, layout->volume_column);
            if (volumes)
                ScanFloatPair(volumes, end, volume1, volume2);
        }
        file_names.push_back(line.substr(0, tab));
        times.push_back(file_time);
        pump1_speed.push_back(speed1);
        pump2_speed.push_back(speed2);
        pump1_volume.push_back(volume1);
        pump2_volume.push_back(volume2);
    }
    std::fclose(file);
    if (!layout) {
        error.Assign(
            ("Did not find line beginning with: \"ImageFile\tDate\tTime\t\" in file " + path).c_str());
        return false;
    }
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
