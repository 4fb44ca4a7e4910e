// Cost of the effect stages, the full render chain's real-time factor (at blocks of 32, 64
// and 512 frames, on the fastest path the processor allows, the SSE2 voice lanes and the
// plain per-sample loop, all in one run), and the render time of a silent tail (a slowdown
// there would mean subnormal arithmetic).
#include <benchmark/benchmark.h>

#include <ctime>
#include <cstdint>
#include <memory>
#include <random>
#include <vector>

#include "engine/Engine.h"
#include "engine/Ensemble.h"
#include "engine/Phaser.h"
#include "engine/Reverb.h"

namespace {

constexpr float kRate = 44100.0f;

// Seconds of audio per second of CPU time, and CPU nanoseconds per output frame.
void reportRate(benchmark::State& state, double frames) {
    state.counters["realtime_x"] = benchmark::Counter(frames / kRate, benchmark::Counter::kIsRate);
    state.counters["ns_per_sample"] = benchmark::Counter(frames,
                                                         benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

// The three stages at 44.1 kHz with factory program 0's effect values.
struct Stages {
    vl::Ensemble ensemble;
    vl::Phaser phaser;
    vl::Reverb reverb;
    Stages() {
        ensemble.setSampleRate(kRate, 0.5f / kRate);
        phaser.setSampleRate(0.5f / kRate);
        reverb.setSampleRate(kRate);
        ensemble.setSpeed(0.3f);
        ensemble.setAmount(0.4f);
        ensemble.setFeedback(0.4f);
        phaser.setRate(0.25f);
        phaser.setDepth(0.6f);
        phaser.setFeedback(0.95f);
        reverb.setLength(0.35f);
        reverb.setMix(0.35f);
    }
};

// ---------------------------------------------------------------------------------------
// Effects alone: ensemble, phaser, level and reverb per sample, every stage on.

void BM_EffectsPerSample(benchmark::State& state) {
    Stages stages;
    vl::Ensemble& ensemble = stages.ensemble;
    vl::Phaser& phaser = stages.phaser;
    vl::Reverb& reverb = stages.reverb;

    std::vector<float> input(4096);
    std::mt19937 rng(1);
    std::uniform_real_distribution<float> noise(-1.0f, 1.0f);
    for (auto& v : input) v = noise(rng);
    std::vector<float> left(input.size()), right(input.size());
    float ad = 1e-24f;
    for (auto _ : state) {
        for (size_t n = 0; n < input.size(); ++n) {
            float u = input[n];
            if (ensemble.active()) u = ensemble.process(u, ad);
            if (phaser.active()) u = phaser.process(u, ad);
            const float x = u * 0.1f;
            reverb.process(x, ad, left[n], right[n]);
            if ((n & 63) == 63) {
                ad = -ad;
                ensemble.renormalize();
                phaser.renormalize();
            }
        }
        benchmark::DoNotOptimize(left.data());
        benchmark::DoNotOptimize(right.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(input.size()));
    reportRate(state, static_cast<double>(state.iterations() * input.size()));
}
BENCHMARK(BM_EffectsPerSample)->Unit(benchmark::kMicrosecond);

// Each stage alone, same values, to see where the time goes.
template <int stage>
void BM_StagePerSample(benchmark::State& state) {
    Stages stages;
    vl::Ensemble& ensemble = stages.ensemble;
    vl::Phaser& phaser = stages.phaser;
    vl::Reverb& reverb = stages.reverb;
    std::vector<float> input(4096), out(4096), out2(4096);
    std::mt19937 rng(2);
    std::uniform_real_distribution<float> noise(-1.0f, 1.0f);
    for (auto& v : input) v = noise(rng);
    for (auto _ : state) {
        for (size_t n = 0; n < input.size(); ++n) {
            if constexpr (stage == 0) out[n] = ensemble.process(input[n], 1e-24f);
            if constexpr (stage == 1) out[n] = phaser.process(input[n], 1e-24f);
            if constexpr (stage == 2) reverb.process(input[n], 1e-24f, out[n], out2[n]);
        }
        benchmark::DoNotOptimize(out.data());
        benchmark::DoNotOptimize(out2.data());
        benchmark::ClobberMemory();
    }
    reportRate(state, static_cast<double>(state.iterations() * input.size()));
}
BENCHMARK_TEMPLATE(BM_StagePerSample, 0)->Name("BM_EnsemblePerSample")->Unit(benchmark::kMicrosecond);
BENCHMARK_TEMPLATE(BM_StagePerSample, 1)->Name("BM_PhaserPerSample")->Unit(benchmark::kMicrosecond);
BENCHMARK_TEMPLATE(BM_StagePerSample, 2)->Name("BM_ReverbPerSample")->Unit(benchmark::kMicrosecond);

// ---------------------------------------------------------------------------------------
// The whole engine.

struct NullClient final : vl::EngineClient {
    void midiControlChange(int, int) override {}
    void midiProgramChange(int) override {}
};

// Factory program 0 ("String Ensemble") with Voices at 1.0 (32 voices).
constexpr float kProgram0[13] = {1.0f, 0.1f, 0.3f, 0.4f, 0.3f, 0.4f, 0.4f, 0.25f, 0.6f, 0.95f, 0.35f, 0.35f, 1.0f};

struct EngineSetup {
    NullClient client;
    std::unique_ptr<vl::Engine> engine;
    bool ok = false;

    explicit EngineSetup(const float* values) {
        if (!vl::acquireSharedTables()) return;
        engine = std::make_unique<vl::Engine>(&client);
        if (!engine->ok()) return;
        engine->centrePitchBend();
        if (!engine->setSampleRate(kRate)) return;
        engine->resetModulators();
        engine->setLevel(values[0]);
        engine->setAttack(values[1]);
        engine->setRelease(values[2]);
        engine->setBrightness(values[3]);
        engine->setEnsembleSpeed(values[4]);
        engine->setEnsembleAmount(values[5]);
        engine->setEnsembleFeedback(values[6]);
        engine->setPhaserRate(values[7]);
        engine->setPhaserDepth(values[8]);
        engine->setPhaserFeedback(values[9]);
        engine->setReverbLength(values[10]);
        engine->setReverbMix(values[11]);
        if (!engine->setVoices(values[12])) return;
        ok = true;
    }
    ~EngineSetup() {
        engine.reset();
        vl::releaseSharedTables();
    }
    void noteOns(int first, int count, int spacing) {
        for (int k = 0; k < count; ++k) engine->appendEvent(1, 0, 0x90, static_cast<uint8_t>(first + k * spacing), 100);
    }
};

// 32 held notes with program 0's values; range(0) is the block size, range(1) the path:
// 0 the fastest the processor allows, 1 the SSE2 voice lanes, 2 the plain per-sample loop.
void BM_FullChain32Voices(benchmark::State& state) {
    const int32_t block = static_cast<int32_t>(state.range(0));
    vl::testhooks::renderPath = static_cast<int>(state.range(1));
    EngineSetup setup(kProgram0);
    vl::testhooks::renderPath = 0;
    if (!setup.ok) {
        state.SkipWithError("engine could not be set up");
        return;
    }
    std::vector<float> left(static_cast<size_t>(block)), right(static_cast<size_t>(block));
    // 32 held notes, past their attack before timing starts.
    setup.noteOns(36, 32, 1);
    for (int k = 0; k < 200 * 512 / block; ++k) setup.engine->processReplacing(left.data(), right.data(), block);
    if (setup.engine->activeVoiceCount() != 32) {
        state.SkipWithError("not 32 voices sounding");
        return;
    }
    int64_t frames = 0;
    for (auto _ : state) {
        setup.engine->processReplacing(left.data(), right.data(), block);
        benchmark::DoNotOptimize(left.data());
        frames += block;
    }
    state.SetItemsProcessed(frames);
    reportRate(state, static_cast<double>(frames));
}
BENCHMARK(BM_FullChain32Voices)
    ->ArgNames({"block", "path"})
    ->ArgsProduct({{32, 64, 512}, {0, 1, 2}})
    ->Unit(benchmark::kMicrosecond);

// Each effect inside the engine: 32 held voices at block 512 with only the stages of
// range(0) on (bit 0 ensemble, bit 1 phaser, bit 2 reverb; 0 is the voices alone), on
// path range(1). An effect's cost is its figure less the voices-alone figure.
void BM_EngineEffects32Voices(benchmark::State& state) {
    const int mask = static_cast<int>(state.range(0));
    float values[13];
    for (int i = 0; i < 13; ++i) values[i] = kProgram0[i];
    if (!(mask & 1)) values[5] = 0.0f; // Ensemble Amount
    if (!(mask & 2)) values[8] = 0.0f; // Phaser Depth
    if (!(mask & 4)) values[11] = 0.0f; // Reverb Mix
    vl::testhooks::renderPath = static_cast<int>(state.range(1));
    EngineSetup setup(values);
    vl::testhooks::renderPath = 0;
    if (!setup.ok) {
        state.SkipWithError("engine could not be set up");
        return;
    }
    const int32_t block = 512;
    std::vector<float> left(block), right(block);
    setup.noteOns(36, 32, 1);
    for (int k = 0; k < 200; ++k) setup.engine->processReplacing(left.data(), right.data(), block);
    int64_t frames = 0;
    for (auto _ : state) {
        setup.engine->processReplacing(left.data(), right.data(), block);
        benchmark::DoNotOptimize(left.data());
        frames += block;
    }
    reportRate(state, static_cast<double>(frames));
}
BENCHMARK(BM_EngineEffects32Voices)
    ->ArgNames({"effects", "path"})
    ->ArgsProduct({{0, 1, 2, 4}, {0, 2}})
    ->Unit(benchmark::kMicrosecond);

// A loud chord (released at once), then 60 s of silence in blocks of 64 with every effect
// at its longest setting. Reports the render time of the last second over the first.
void BM_SilentTailLastOverFirstSecond(benchmark::State& state) {
    const float longest[13] = {1.0f, 0.0f, 0.0f, 1.0f, 1.0f, 1.0f, 1.0f, 1.0f, 1.0f, 1.0f, 1.0f, 1.0f, 1.0f};
    double ratioSum = 0, firstSum = 0, lastSum = 0;
    int runs = 0;
    for (auto _ : state) {
        state.PauseTiming();
        EngineSetup setup(longest);
        if (!setup.ok) {
            state.SkipWithError("engine could not be set up");
            return;
        }
        const int32_t block = 64;
        std::vector<float> left(block), right(block);
        setup.noteOns(40, 24, 2);
        for (int k = 0; k < 1000; ++k) setup.engine->processReplacing(left.data(), right.data(), block);
        for (int k = 0; k < 24; ++k) setup.engine->appendEvent(1, 0, 0x80, static_cast<uint8_t>(40 + 2 * k), 0);
        // Let the release finish so only the effect tails remain.
        for (int k = 0; k < 3000; ++k) setup.engine->processReplacing(left.data(), right.data(), block);
        state.ResumeTiming();
        const int blocksPerSecond = static_cast<int>(kRate) / block;
        double first = 0, last = 0;
        for (int s = 0; s < 60; ++s) {
            // Processor time, so that other load on the machine does not count.
            const std::clock_t t0 = std::clock();
            for (int k = 0; k < blocksPerSecond; ++k) {
                setup.engine->processReplacing(left.data(), right.data(), block);
                benchmark::DoNotOptimize(left.data());
            }
            const double dt = static_cast<double>(std::clock() - t0) / CLOCKS_PER_SEC;
            if (s == 0) first = dt;
            if (s == 59) last = dt;
        }
        ratioSum += last / first;
        firstSum += first;
        lastSum += last;
        ++runs;
    }
    if (runs > 0) {
        state.counters["first_s_ms"] = firstSum / runs * 1e3;
        state.counters["last_s_ms"] = lastSum / runs * 1e3;
        state.counters["last_over_first"] = ratioSum / runs;
    }
}
BENCHMARK(BM_SilentTailLastOverFirstSecond)->Unit(benchmark::kMillisecond)->Iterations(5);

} // namespace
