// Render cost of the engine core: held notes at 44.1 kHz with every effect at 0, so the
// figures are the voices, the voice sum and the output stage. Three paths in one run: the
// fastest the processor allows (AVX2 voice lanes), the SSE2 lanes, and the plain
// per-sample, per-voice loop.
#include <benchmark/benchmark.h>

#include <vector>

#include "engine/Engine.h"

namespace {

struct NullClient final : vl::EngineClient {
    void midiControlChange(int, int) override {}
    void midiProgramChange(int) override {}
};

constexpr int kBlock = 512;

enum Path { kFastest = 0, kNarrowLanes = 1, kPlain = 2 };

void renderHeldVoices(benchmark::State& state, Path path) {
    const int voiceCount = static_cast<int>(state.range(0));
    if (!vl::acquireSharedTables()) {
        state.SkipWithError("tables");
        return;
    }
    {
        NullClient client;
        vl::Engine engine(&client);
        engine.setReferenceRendering(path == kPlain);
        engine.setWideLanesAllowed(path == kFastest);
        engine.centrePitchBend();
        engine.setSampleRate(44100.0f);
        engine.setLevel(0.5f);
        engine.setAttack(0.0f);
        engine.setRelease(0.3f);
        engine.setBrightness(0.4f);
        engine.rebuildPool(32);
        for (int i = 0; i < voiceCount; ++i) engine.appendEvent(1, i, 0x90, static_cast<uint8_t>(40 + i), 100);
        std::vector<float> left(kBlock), right(kBlock);
        engine.processReplacing(left.data(), right.data(), kBlock);
        if (engine.activeVoiceCount() != voiceCount) state.SkipWithError("voices not sounding");
        for (auto _ : state) {
            engine.processReplacing(left.data(), right.data(), kBlock);
            benchmark::DoNotOptimize(left.data());
            benchmark::ClobberMemory();
        }
        const double voiceSamples = static_cast<double>(state.iterations()) * kBlock * voiceCount;
        // Voice-samples per CPU second; ns per voice-sample is 1e9 divided by it.
        state.counters["voice_samples_per_s"] = benchmark::Counter(voiceSamples, benchmark::Counter::kIsRate);
        // Seconds of audio rendered per second of CPU time, and CPU time per output frame.
        const double frames = static_cast<double>(state.iterations()) * kBlock;
        state.counters["realtime_x"] = benchmark::Counter(frames / 44100.0, benchmark::Counter::kIsRate);
        state.counters["ns_per_sample"] = benchmark::Counter(frames,
                                                             benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    }
    vl::releaseSharedTables();
}

void BM_HeldVoices(benchmark::State& state) { renderHeldVoices(state, kFastest); }
void BM_HeldVoicesSse2Lanes(benchmark::State& state) { renderHeldVoices(state, kNarrowLanes); }
void BM_HeldVoicesPlainLoop(benchmark::State& state) { renderHeldVoices(state, kPlain); }

BENCHMARK(BM_HeldVoices)->Arg(1)->Arg(8)->Arg(16)->Arg(32);
BENCHMARK(BM_HeldVoicesSse2Lanes)->Arg(1)->Arg(8)->Arg(16)->Arg(32);
BENCHMARK(BM_HeldVoicesPlainLoop)->Arg(1)->Arg(8)->Arg(16)->Arg(32);

} // namespace
