// Script interpreter speed: loading (which validates every statement) and running a 2,000-line
// script of int, double and string work, reported as statements per second. The floor reads the
// same file line by line, so the ratio holds on a busy machine.
#include "script/Script.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

namespace {

// 2,000 lines in blocks of ten: declarations, compound assignments, a copy and a true if block.
std::string MakeScript()
{
    std::string text;
    for (int b = 0; b < 200; ++b) {
        const std::string n = std::to_string(b);
        text += "int i" + n + " = " + std::to_string(b * 3) + ";\n";
        text += "double d" + n + " = 1.5E" + std::to_string(b % 5) + ";\n";
        text += "STRING s" + n + " = \"item\";\n";
        text += "i" + n + " *= 7;\n";
        text += "d" + n + " /= 3.25;\n";
        text += "s" + n + " += i" + n + ";\n";
        text += "if (i" + n + " >= 0)\n";
        text += "{\n";
        text += "  i" + n + " -= 1;\n";
        text += "}\n";
    }
    return text;
}

class ScriptFile
{
  public:
    ScriptFile()
    {
        m_path =
            (std::filesystem::temp_directory_path() / ("bench_script_" + std::to_string(::getpid()) + ".scr"))
                .string();
        std::ofstream(m_path, std::ios::binary) << MakeScript();
    }
    ~ScriptFile() { std::filesystem::remove(m_path); }
    const std::string &path() const { return m_path; }

  private:
    std::string m_path;
};

const ScriptFile &File()
{
    static ScriptFile file;
    return file;
}

void BM_ReadLinesFloor(benchmark::State &state)
{
    int64_t lines = 0;
    for (auto _ : state) {
        FILE *f = std::fopen(File().path().c_str(), "rb");
        std::string line;
        while (ReadScriptLine(f, line)) {
            StripComment(line);
            benchmark::DoNotOptimize(TrimmedLine(line));
            ++lines;
        }
        std::fclose(f);
    }
    state.counters["lines/s"] = benchmark::Counter(static_cast<double>(lines), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_ReadLinesFloor)->Unit(benchmark::kMillisecond);

void BM_LoadScript(benchmark::State &state)
{
    int64_t statements = 0;
    for (auto _ : state) {
        Script instance;
        FILE *f = std::fopen(File().path().c_str(), "rb");
        EString error;
        if (!LoadScript(instance.m_main, instance, f, File().path().c_str(), 0, error, false))
            state.SkipWithError(error.c_str());
        std::fclose(f);
        statements += static_cast<int64_t>(instance.m_main.m_lines.size());
    }
    state.counters["statements/s"] =
        benchmark::Counter(static_cast<double>(statements), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_LoadScript)->Unit(benchmark::kMillisecond);

void BM_RunScript(benchmark::State &state)
{
    Script instance;
    FILE *f = std::fopen(File().path().c_str(), "rb");
    EString error;
    if (!LoadScript(instance.m_main, instance, f, File().path().c_str(), 0, error, false))
        state.SkipWithError(error.c_str());
    std::fclose(f);
    int64_t statements = 0;
    for (auto _ : state) {
        instance.m_running = true;
        VariableList variables;
        if (!ExecuteCodeUnit(instance.m_main, instance, variables, error, "bench.scr"))
            state.SkipWithError(error.c_str());
        // Straight-line code whose conditions are all true: every stored line runs once.
        statements += static_cast<int64_t>(instance.m_main.m_lines.size());
    }
    state.counters["statements/s"] =
        benchmark::Counter(static_cast<double>(statements), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_RunScript)->Unit(benchmark::kMillisecond);

} // namespace
