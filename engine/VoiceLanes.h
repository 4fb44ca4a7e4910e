#pragma once
// Work area of the vectorised voice sum, shared by the SSE2 and the AVX2 kernels: the
// voices of the list side by side (structure of arrays, in list order) and one block's
// output over the current run.
#include <cstdint>

#include "Engine.h"
#include "Voice.h"

#if defined(__x86_64__) || defined(_M_X64)
#define VL_HAVE_AVX2_KERNEL 1
#endif

namespace vl {

namespace lanes {
constexpr int32_t kChunk = 128; // samples per voice-sum pass
constexpr int kBlockVoices = 32; // voices rendered together by one block of registers
} // namespace lanes

// Over-aligned, so that new uses the aligned allocation: the default allocator of 32-bit
// Windows only guarantees 8 bytes.
struct alignas(64) VoiceLanes {
    alignas(32) float level[Engine::kPoolSize];
    alignas(32) float rate[Engine::kPoolSize];
    alignas(32) float phase[Engine::kPoolSize];
    alignas(32) float increment[Engine::kPoolSize]; // already multiplied by the pitch bend
    alignas(32) float lastOutput[Engine::kPoolSize];
    alignas(32) float feedback[Engine::kPoolSize];
    alignas(32) int32_t wrapAt[Engine::kPoolSize]; // sample of the run (mod 64) where the phase wraps
    // One block's output: out[(register * kChunk + sample) * width + lane], width 4 (SSE2)
    // or 8 (AVX2), kBlockVoices voices per block.
    alignas(64) float out[lanes::kBlockVoices * lanes::kChunk];
    StringVoice* voice[Engine::kPoolSize];
};

} // namespace vl
