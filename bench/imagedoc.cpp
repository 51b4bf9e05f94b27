// Opening a 2448 x 2048 16-bit PNG as a document, next to a bare any-depth read of the same file.
// The document adds a readability check, a signature check for undecodable files and its own
// bookkeeping; the ratio to the bare read is what this reports.
#include "app/ImageDoc.h"

#include <benchmark/benchmark.h>
#include <opencv2/imgcodecs.hpp>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

const std::string &FramePath()
{
    static const std::string path = [] {
        const std::filesystem::path file =
            std::filesystem::temp_directory_path() / "vantelis-bench-imagedoc.png";
        cv::Mat frame(2048, 2448, CV_16UC1);
        // Camera-like content: a smooth field with fine texture, so the PNG compresses as a real one.
        for (int r = 0; r < frame.rows; ++r) {
            uint16_t *row = frame.ptr<uint16_t>(r);
            for (int c = 0; c < frame.cols; ++c)
                row[c] = static_cast<uint16_t>(2000 + (r * 7 + c * 3) % 900 + ((r * 31 + c * 17) & 63));
        }
        std::vector<uchar> bytes;
        cv::imencode(".png", frame, bytes);
        std::ofstream(file, std::ios::binary)
            .write(reinterpret_cast<const char *>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        return file.string();
    }();
    return path;
}

// The floor, measured once in this run: seconds per bare read.
double ImreadSeconds()
{
    static const double seconds = [] {
        const int reads = 5;
        const auto start = std::chrono::steady_clock::now();
        for (int k = 0; k < reads; ++k) {
            cv::Mat image = cv::imread(FramePath(), cv::IMREAD_ANYDEPTH);
            benchmark::DoNotOptimize(image.data);
        }
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() / reads;
    }();
    return seconds;
}

void BM_ImreadAnyDepth(benchmark::State &state)
{
    const std::string &path = FramePath();
    for (auto _ : state) {
        cv::Mat image = cv::imread(path, cv::IMREAD_ANYDEPTH);
        benchmark::DoNotOptimize(image.data);
    }
}

void BM_ImageDocOpen(benchmark::State &state)
{
    const std::string &path = FramePath();
    const double floor = ImreadSeconds();
    double total = 0.0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        CImageDoc doc;
        if (!doc.OnOpenDocument(path.c_str()) || !doc.HasImage()) {
            state.SkipWithError("the frame did not open");
            break;
        }
        benchmark::DoNotOptimize(doc.GetImage()->data);
        total += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    if (state.iterations() > 0 && floor > 0.0)
        state.counters["ratio_to_imread"] = total / static_cast<double>(state.iterations()) / floor;
}

BENCHMARK(BM_ImreadAnyDepth)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ImageDocOpen)->Unit(benchmark::kMillisecond);

} // namespace
