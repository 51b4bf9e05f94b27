#include "Ostravo/FileCompare.h"

#include "platform/Files.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

const size_t kBlockSize = 1048576;
const unsigned kMaxHeaderLines = 1000;

class File
{
  public:
    // Only regular files are compared: a FIFO or device would block the reader.
    explicit File(const char *path) : m_file(platform::OpenRegularFile(path ? path : "")) {}
    ~File()
    {
        if (m_file)
            std::fclose(m_file);
    }
    File(const File &) = delete;
    File &operator=(const File &) = delete;
    FILE *get() const { return m_file; }

  private:
    FILE *m_file;
};

// Reads one whole line without its line end (LF or CR LF); false at the end of the file. The line
// end is dropped so that a name or number in the last column reads like any other.
bool ReadLine(FILE *file, std::string &line)
{
    char *buffer = nullptr;
    size_t capacity = 0;
    const ssize_t got = ::getline(&buffer, &capacity, file);
    if (got < 0) {
        std::free(buffer);
        line.clear();
        return false;
    }
    line.assign(buffer, static_cast<size_t>(got));
    std::free(buffer);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
        line.pop_back();
    return true;
}

// Finds the header line of a table: the first line, among the first 1000, on which every name is
// a field. columns gets each name's field index.
bool FindHeader(FILE *file, const char *path, const std::vector<EString> &names, std::vector<size_t> &columns,
                unsigned &lineNumber, EString &error)
{
    std::string line;
    std::vector<EString> fields;
    lineNumber = 0;
    while (lineNumber < kMaxHeaderLines && ReadLine(file, line)) {
        ++lineNumber;
        const int count = SplitIntoVector(line.c_str(), fields, '\t');
        if (count < static_cast<int>(names.size()))
            continue;
        bool all = true;
        for (size_t n = 0; n < names.size() && all; ++n) {
            all = false;
            for (int f = 0; f < count; ++f) {
                if (CompareText(fields[static_cast<size_t>(f)].c_str(), names[n].c_str(), 1, 0)) {
                    columns[n] = static_cast<size_t>(f);
                    all = true;
                    break;
                }
            }
        }
        if (all)
            return true;
    }
    error.Assign("Not all data colums found within the first ");
    error.AppendUnsigned(lineNumber);
    error.Append(" lines in file : ");
    error.Append(path);
    return false;
}

bool ReadNumber(const EString &field, double &value)
{
    return std::sscanf(field.c_str(), "%lf", &value) == 1;
}

void InvalidRow(EString &error, const char *path, size_t column, unsigned lineNumber)
{
    error.Assign(path);
    error.Append(" - invalid row, column ");
    error.AppendUnsigned(static_cast<unsigned>(column + 1));
    error.Append(" referenced in the header, but not found at line ");
    error.AppendUnsigned(lineNumber);
}

void InvalidData(EString &error, const char *path, size_t column, unsigned lineNumber, const EString &field)
{
    error.Assign(path);
    error.Append(" - invalid data, column ");
    error.AppendUnsigned(static_cast<unsigned>(column + 1));
    error.Append(" line ");
    error.AppendUnsigned(lineNumber);
    error.Append(" not a valid number: ");
    error.Append(field.c_str());
}

} // namespace

bool FilesIdentical(const char *pathA, const char *pathB)
{
    if (!pathA || !pathB || !platform::FileExists(pathA) || !platform::FileExists(pathB))
        return false;
    File a(pathA);
    File b(pathB);
    if (!a.get() || !b.get())
        return false;
    const int64_t length = platform::FileSize(pathA);
    if (length < 0 || length != platform::FileSize(pathB))
        return false;

    std::vector<char> blockA(kBlockSize);
    std::vector<char> blockB(kBlockSize);
    uint64_t left = static_cast<uint64_t>(length);
    // Full blocks, then one last block of the remainder (possibly empty).
    for (;;) {
        const size_t size = left >= kBlockSize ? kBlockSize : static_cast<size_t>(left);
        if (std::fread(blockA.data(), 1, size, a.get()) != size ||
            std::fread(blockB.data(), 1, size, b.get()) != size)
            return false;
        if (std::memcmp(blockA.data(), blockB.data(), size) != 0)
            return false;
        left -= size;
        if (size < kBlockSize)
            return true;
    }
}

bool CompareColumnFiles(const char *pathA, const char *pathB, const std::vector<EString> &names,
                        int32_t &valueCount, std::vector<double> &maxDifferences, EString &error)
{
    error.Assign("");
    valueCount = 0;
    maxDifferences.assign(names.size(), 0.0);

    if (!pathA || !pathB || !platform::FileExists(pathA) || !platform::FileExists(pathB)) {
        error.Assign("File does not exist: ");
        return false;
    }
    File a(pathA);
    if (!a.get()) {
        error.Assign("Can't open file: ");
        error.Append(pathA);
        return false;
    }
    File b(pathB);
    if (!b.get()) {
        error.Assign("Can't open file: ");
        error.Append(pathB);
        return false;
    }

    std::vector<size_t> columnsA(names.size(), 0);
    std::vector<size_t> columnsB(names.size(), 0);
    unsigned lineA = 0;
    unsigned lineB = 0;
    if (!FindHeader(a.get(), pathA, names, columnsA, lineA, error) ||
        !FindHeader(b.get(), pathB, names, columnsB, lineB, error))
        return false;

    std::string line;
    std::vector<EString> fieldsA;
    std::vector<EString> fieldsB;
    for (;;) {
        if (!ReadLine(a.get(), line))
            break;
        const size_t countA = static_cast<size_t>(SplitIntoVector(line.c_str(), fieldsA, '\t'));
        if (!ReadLine(b.get(), line))
            break;
        const size_t countB = static_cast<size_t>(SplitIntoVector(line.c_str(), fieldsB, '\t'));
        ++lineA;
        ++lineB;
        for (size_t i = 0; i < names.size(); ++i) {
            const size_t ia = columnsA[i];
            const size_t ib = columnsB[i];
            double valueA = 0.0;
            double valueB = 0.0;
            if (countA < ia + 1) {
                InvalidRow(error, pathA, ia, lineA);
                break;
            }
            if (countB < ib + 1) {
                InvalidRow(error, pathB, ib, lineB);
                break;
            }
            if (!ReadNumber(fieldsA[ia], valueA)) {
                InvalidData(error, pathA, ia, lineA, fieldsA[ia]);
                break;
            }
            if (!ReadNumber(fieldsB[ib], valueB)) {
                InvalidData(error, pathB, ib, lineB, fieldsB[ib]);
                break;
            }
            const double difference = std::fabs(valueA - valueB);
            if (difference > maxDifferences[i])
                maxDifferences[i] = difference;
            ++valueCount;
        }
        if (error.IsNonEmpty())
            break;
    }
    return !error.IsNonEmpty();
}
