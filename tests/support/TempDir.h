#pragma once
#include <filesystem>
#include <string>

namespace vantelis::test {

// A fresh folder under the system temporary folder, removed with everything in it at the end.
class TempDir
{
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;

    const std::filesystem::path &path() const { return m_path; }
    std::string str() const { return m_path.string(); }
    // Path of a file or folder inside this folder.
    std::string file(const std::string &name) const { return (m_path / name).string(); }

private:
    std::filesystem::path m_path;
};

// Whole-file helpers for fixtures: bytes in, bytes out, no line-end translation.
void WriteFileBytes(const std::string &path, const std::string &bytes);
std::string ReadFileBytes(const std::string &path);

} // namespace vantelis::test
