// The headless renderer end to end: the built-in demo phrase through a new instrument
// into a 16-bit WAV file, as a user runs it, with options parsing, timing, event feeding
// and file writing. range(0) is the block size, range(1) the engine's path: 0 the fastest
// the processor allows, 2 the plain per-sample, per-voice loop.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>
#include <vector>

#include "engine/Engine.h"
#include "tools/render/Render.h"

namespace {

constexpr double kRate = 44100.0;
constexpr long kWavHeader = 44;
constexpr long kBytesPerFrame = 4; // 16-bit stereo

long fileSize(const std::string& path) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return -1;
    std::fseek(f, 0, SEEK_END);
    const long size = std::ftell(f);
    std::fclose(f);
    return size;
}

void BM_RendererDemoPhrase(benchmark::State& state) {
    const std::string output = "bench_render_output.wav";
    const std::vector<std::string> args = {"-q", "--block", std::to_string(state.range(0)), "-o", output};
    vl::testhooks::renderPath = static_cast<int>(state.range(1));
    int64_t frames = 0;
    for (auto _ : state) {
        if (vl::render::runRenderer(args) != 0) {
            state.SkipWithError("the renderer failed");
            break;
        }
        frames += (fileSize(output) - kWavHeader) / kBytesPerFrame;
    }
    vl::testhooks::renderPath = 0;
    std::remove(output.c_str());
    state.counters["realtime_x"] = benchmark::Counter(static_cast<double>(frames) / kRate, benchmark::Counter::kIsRate);
    state.counters["ns_per_sample"] = benchmark::Counter(static_cast<double>(frames),
                                                         benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_RendererDemoPhrase)
    ->ArgNames({"block", "path"})
    ->ArgsProduct({{64, 512}, {0, 2}})
    ->Unit(benchmark::kMillisecond);

} // namespace
