// Reading one key from a 2,000-line profile file and writing one key into it, plain and enciphered;
// removing the repeated sections of a large file.
// Reads are reported as a ratio ("x_read") to reading the same file whole, writes as a ratio
// ("x_replace") to replacing the same file atomically with the same bytes, both measured in the
// same run: the floors that any whole-file profile layer pays.
#include "Ostravo/Profile.h"
#include "Ostravo/EString.h"
#include "Ostravo/ProfileEncryption.h"
#include "platform/Files.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kSections = 20;
constexpr int kItemsPerSection = 99; // with the headers, 2,000 lines

const std::string &Folder()
{
    static const std::string folder = [] {
        auto path = std::filesystem::temp_directory_path() / ("bench_profile_" + std::to_string(getpid()));
        std::filesystem::create_directories(path);
        return path.string();
    }();
    return folder;
}

struct RemoveFolder
{
    // Making the folder name first makes it outlive this object.
    RemoveFolder() { Folder(); }
    ~RemoveFolder() { std::filesystem::remove_all(Folder()); }
} removeFolder;

std::string ProfileText()
{
    std::string text;
    for (int s = 0; s < kSections; ++s) {
        text += "[Section" + std::to_string(s) + "]\r\n";
        for (int i = 0; i < kItemsPerSection; ++i)
            text += "Item" + std::to_string(i) + "=" + std::to_string(s * 1000 + i) + " some text\r\n";
    }
    return text;
}

// The profile file of one kind, made once. The enciphered one is registered, so writes keep it so.
const std::string &ProfilePath(bool enciphered)
{
    static const std::string plain = [] {
        const std::string path = Folder() + "/plain.ini";
        platform::AtomicReplace(path, ProfileText());
        return path;
    }();
    static const std::string secret = [] {
        std::mt19937 random(7);
        std::string pool(64000, '\0');
        for (char &c : pool)
            c = static_cast<char>(random());
        const std::string randPath = Folder() + "/rand.bin";
        platform::AtomicReplace(randPath, pool);
        EString message;
        if (!Ostravo::E_LoadRandomFile(randPath.c_str(), message))
            std::fprintf(stderr, "%s\n", message.c_str());
        const std::string path = Folder() + "/secret.ini";
        platform::AtomicReplace(path, ProfileText());
        if (!Ostravo::E_EncryptFile(path.c_str(), message))
            std::fprintf(stderr, "%s\n", message.c_str());
        RegisterEncryptedProfile("secret.ini");
        return path;
    }();
    return enciphered ? secret : plain;
}

template <typename Work> double BestSeconds(int rounds, Work work)
{
    double best = 1e9;
    for (int k = 0; k < rounds; ++k) {
        const auto start = std::chrono::steady_clock::now();
        work();
        best =
            std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    return best;
}

double ReadFloorSeconds(const std::string &path)
{
    std::string bytes;
    return BestSeconds(50, [&] {
        platform::ReadWholeFile(path, bytes);
        benchmark::DoNotOptimize(bytes.data());
    });
}

double ReplaceFloorSeconds(const std::string &path)
{
    std::string bytes;
    platform::ReadWholeFile(path, bytes);
    return BestSeconds(10, [&] { platform::AtomicReplace(path, bytes); });
}

void ReadKey(benchmark::State &state, bool enciphered)
{
    const std::string &path = ProfilePath(enciphered);
    const double floor = ReadFloorSeconds(path);
    char buffer[256];
    double total = 0.0;
    int64_t reads = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        // A key of the last section: the whole text is searched.
        Ostravo::E_GetPrivateProfileString("Section19", "Item98", "", buffer, sizeof buffer, path.c_str());
        benchmark::DoNotOptimize(buffer);
        total += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        ++reads;
    }
    if (std::string(buffer) != "19098 some text")
        state.SkipWithError("the key was not read");
    state.counters["x_read"] = reads > 0 ? (total / reads) / floor : 0.0;
    state.counters["read_us"] = floor * 1e6;
}

void WriteKey(benchmark::State &state, bool enciphered)
{
    const std::string &path = ProfilePath(enciphered);
    const double floor = ReplaceFloorSeconds(path);
    double total = 0.0;
    int64_t writes = 0;
    bool ok = true;
    for (auto _ : state) {
        // A new value each time, so that the text really changes.
        const std::string value = std::to_string(writes);
        const auto start = std::chrono::steady_clock::now();
        ok = Ostravo::E_WritePrivateProfileString("Section10", "Item50", value.c_str(), path.c_str()) && ok;
        total += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        ++writes;
    }
    if (!ok)
        state.SkipWithError("a write failed");
    state.counters["x_replace"] = writes > 0 ? (total / writes) / floor : 0.0;
    state.counters["replace_us"] = floor * 1e6;
}

void BM_ReadKeyPlain(benchmark::State &state)
{
    ReadKey(state, false);
}
void BM_ReadKeyEnciphered(benchmark::State &state)
{
    ReadKey(state, true);
}
void BM_WriteKeyPlain(benchmark::State &state)
{
    WriteKey(state, false);
}
void BM_WriteKeyEnciphered(benchmark::State &state)
{
    WriteKey(state, true);
}

// Start-up's removal of repeated sections on a file of 200,000 small sections, half of them
// repeats (about 3 MB): the work must grow with the file, not with its square.
void BM_RemoveRedundantSections(benchmark::State &state)
{
    const int sections = static_cast<int>(state.range(0));
    std::string text;
    for (int s = 0; s < sections; ++s)
        text += "[S" + std::to_string(s % (sections / 2)) + "]\r\na=" + std::to_string(s) + "\r\n";
    const std::string path = Folder() + "/repeated.ini";
    bool ok = true;
    for (auto _ : state) {
        state.PauseTiming();
        platform::AtomicReplace(path, text);
        state.ResumeTiming();
        ok = Ostravo::E_RemoveRedundantSections(path.c_str()) && ok;
    }
    if (!ok)
        state.SkipWithError("the cleanup failed");
    state.counters["file_mb"] = static_cast<double>(text.size()) / 1e6;
}

} // namespace

BENCHMARK(BM_RemoveRedundantSections)->Arg(20000)->Arg(200000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadKeyPlain)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ReadKeyEnciphered)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_WriteKeyPlain)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_WriteKeyEnciphered)->Unit(benchmark::kMicrosecond);
