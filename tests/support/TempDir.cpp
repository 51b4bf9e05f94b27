#include "TempDir.h"

#include <atomic>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <unistd.h>

namespace vantelis::test {

TempDir::TempDir()
{
    static std::atomic<int> counter{0};
    auto base = std::filesystem::temp_directory_path();
    for (;;) {
        auto candidate = base / ("vantelis-test-" + std::to_string(getpid()) + "-" + std::to_string(counter++));
        std::error_code ec;
        if (std::filesystem::create_directory(candidate, ec)) {
            m_path = candidate;
            return;
        }
        if (ec)
            throw std::runtime_error("cannot create temporary folder " + candidate.string());
    }
}

TempDir::~TempDir()
{
    std::error_code ec;
    std::filesystem::permissions(m_path, std::filesystem::perms::owner_all, std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(m_path, ec);
}

void WriteFileBytes(const std::string &path, const std::string &bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out)
        throw std::runtime_error("cannot write " + path);
}

std::string ReadFileBytes(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

} // namespace vantelis::test
