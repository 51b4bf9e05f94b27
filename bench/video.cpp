// Writing the monochrome and the colour video of 135 generated 16-bit frames, next to decoding
// the same frames (reading the PNG files) in the same run. Each iteration decodes the frames and
// then writes the video, so both see the same load of the machine. The counters give frames per
// second; "x_decode" is the time writing adds to the decoding of the same frames, over that
// decoding time.
#include "Ostravo/VideoWriter.h"

#include <benchmark/benchmark.h>
#include <opencv2/imgcodecs.hpp>

#include <chrono>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kFrames = 135;

struct Folder
{
    std::filesystem::path dir;
    Ostravo::ImageNameList bf, red, green, blue;
    Folder()
    {
        dir = std::filesystem::temp_directory_path() / ("vantelis_bench_video_" + std::to_string(::getpid()));
        std::filesystem::create_directories(dir);
        cv::RNG rng(7);
        for (int i = 0; i < kFrames; ++i) {
            for (const char *channel : {"BF", "Red", "Green", "Blue"}) {
                cv::Mat image(480, 640, CV_16UC1);
                rng.fill(image, cv::RNG::NORMAL, 3000 + 20 * i, 600);
                const std::string name = std::string("b_") + channel + "_" + std::to_string(i) + ".png";
                cv::imwrite((dir / name).string(), image);
                Ostravo::ImageNameList &list = channel[0] == 'B' && channel[1] == 'F' ? bf
                                               : channel[0] == 'R'                    ? red
                                               : channel[0] == 'G'                    ? green
                                                                                      : blue;
                list.Add(new EString(name.c_str()));
            }
        }
    }
    ~Folder()
    {
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
    }
};

Folder &TheFolder()
{
    static Folder folder;
    return folder;
}

// Seconds to read the given number of channel images of every frame.
double DecodeSeconds(int channels)
{
    Folder &f = TheFolder();
    const Ostravo::ImageNameList *lists[4] = {&f.bf, &f.red, &f.green, &f.blue};
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < kFrames; ++i)
        for (int c = 0; c < channels; ++c)
            benchmark::DoNotOptimize(
                cv::imread((f.dir / lists[c]->GetAt(i)->c_str()).string(), cv::IMREAD_UNCHANGED));
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void Report(benchmark::State &state, double total, double decode)
{
    const double runs = static_cast<double>(state.iterations());
    state.counters["fps"] = kFrames * runs / total;
    state.counters["decode_fps"] = kFrames * runs / decode;
    // Writing alone: the run minus the decoding it does itself.
    state.counters["x_decode"] = (total - decode) / decode;
}

void BM_CreateVideo(benchmark::State &state)
{
    Folder &f = TheFolder();
    const std::string out = (f.dir / "mono.avi").string();
    double total = 0, decode = 0;
    for (auto _ : state) {
        decode += DecodeSeconds(1);
        EString error;
        const auto start = std::chrono::steady_clock::now();
        if (!Ostravo::CreateVideo(out.c_str(), f.dir.string().c_str(), f.bf, 5.0, nullptr, nullptr, error, 0,
                                  65535))
            state.SkipWithError(error.c_str());
        total += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    Report(state, total, decode);
}
BENCHMARK(BM_CreateVideo)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_CreateVideo4Chan(benchmark::State &state)
{
    Folder &f = TheFolder();
    const std::string out = (f.dir / "colour.avi").string();
    const std::vector<int32_t> windows = {1000, 5000, 1000, 5000, 1000, 5000, 1000, 5000};
    double total = 0, decode = 0;
    for (auto _ : state) {
        decode += DecodeSeconds(4);
        EString error;
        const auto start = std::chrono::steady_clock::now();
        if (!Ostravo::CreateVideo4Chan(out.c_str(), f.dir.string().c_str(), f.bf, f.red, f.green, f.blue, 5.0,
                                       nullptr, nullptr, error, &windows))
            state.SkipWithError(error.c_str());
        total += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    Report(state, total, decode);
}
BENCHMARK(BM_CreateVideo4Chan)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace
