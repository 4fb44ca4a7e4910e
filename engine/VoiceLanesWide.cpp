// The voice sum with eight voices per AVX2 register. Only the functions marked with the
// avx2 target use the wider instructions; the rest of the program stays on the baseline
// instruction set, and the engine calls this kernel only when the processor has AVX2.
// No FMA: every product and sum is rounded on its own, exactly as in the plain loop.
#include <cstring>

#include "Tables.h"
#include "Voice.h"
#include "VoiceLanes.h"

#ifdef VL_HAVE_AVX2_KERNEL
#include <immintrin.h>
#define VL_AVX2 __attribute__((target("avx2")))
#define VL_AVX2_INLINE __attribute__((target("avx2"), always_inline)) inline
#endif

namespace vl {

#ifdef VL_HAVE_AVX2_KERNEL

bool Engine::processorHasWideLanes() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2");
}

namespace {

constexpr int32_t kChunk = lanes::kChunk;
constexpr int kRegisters = lanes::kBlockVoices / 8; // AVX2 registers rendered together

struct Constants {
    __m256 offset, half, scale;
    __m256i mask;
};

// A table entry and its successor as the low two lanes, read without assuming 8-byte
// alignment of the float table.
VL_AVX2_INLINE __m128 loadPair(const float* entry) {
    double pair;
    std::memcpy(&pair, entry, sizeof pair);
    return _mm_castpd_ps(_mm_set_sd(pair));
}

// One register of eight voices for one sample: StringVoice::tickStep's arithmetic lane by
// lane, in the same order.
VL_AVX2_INLINE __m256 voiceStep(__m256& level, __m256 rate, __m256& phase, __m256 increment, __m256& lastOutput,
                                __m256 feedback, __m256i wrapAt, __m256i sample, const Constants& k,
                                const float* table) {
    // Envelope: level = (level + offset) * rate + level.
    level = _mm256_add_ps(_mm256_mul_ps(_mm256_add_ps(level, k.offset), rate), level);
    // Phase wrap where the 64-sample countdown runs out (each voice once in 64 samples).
    // Without a branch: which voices wrap follows no pattern a branch predictor could
    // learn, and a mispredicted branch would flush the overlapped effect chain.
    const __m256i due = _mm256_cmpeq_epi32(wrapAt, sample);
    const __m256 wrapped = _mm256_sub_ps(phase, _mm256_cvtepi32_ps(_mm256_cvtps_epi32(_mm256_sub_ps(phase, k.half))));
    phase = _mm256_blendv_ps(phase, wrapped, _mm256_castsi256_ps(due));
    // Oscillator.
    phase = _mm256_add_ps(phase, increment);
    const __m256 x = _mm256_mul_ps(_mm256_add_ps(phase, _mm256_mul_ps(feedback, lastOutput)), k.scale);
    const __m256i i = _mm256_cvtps_epi32(_mm256_sub_ps(x, k.half));
    const __m256 f = _mm256_sub_ps(x, _mm256_cvtepi32_ps(i));
    const __m256i index = _mm256_and_si256(i, k.mask);
    // Entry and successor in one 8-byte read each (the table's guard entry covers 8191);
    // plain loads have a shorter latency than the gather instruction on the processors
    // measured, and the lookup lies on each voice's sample-to-sample feedback path.
    // Two indices per 64-bit move out of the vector register (the indices are 0 .. 8191).
    const __m128i lowIndex = _mm256_castsi256_si128(index);
    const __m128i highIndex = _mm256_extracti128_si256(index, 1);
    const uint64_t q0 = static_cast<uint64_t>(_mm_cvtsi128_si64(lowIndex));
    const uint64_t q1 = static_cast<uint64_t>(_mm_extract_epi64(lowIndex, 1));
    const uint64_t q2 = static_cast<uint64_t>(_mm_cvtsi128_si64(highIndex));
    const uint64_t q3 = static_cast<uint64_t>(_mm_extract_epi64(highIndex, 1));
    const __m128 p0 = loadPair(table + static_cast<uint32_t>(q0));
    const __m128 p1 = loadPair(table + (q0 >> 32));
    const __m128 p2 = loadPair(table + static_cast<uint32_t>(q1));
    const __m128 p3 = loadPair(table + (q1 >> 32));
    const __m128 p4 = loadPair(table + static_cast<uint32_t>(q2));
    const __m128 p5 = loadPair(table + (q2 >> 32));
    const __m128 p6 = loadPair(table + static_cast<uint32_t>(q3));
    const __m128 p7 = loadPair(table + (q3 >> 32));
    const __m128 lo0 = _mm_unpacklo_ps(p0, p1); // a0 a1 b0 b1
    const __m128 hi0 = _mm_unpacklo_ps(p2, p3); // a2 a3 b2 b3
    const __m128 lo1 = _mm_unpacklo_ps(p4, p5);
    const __m128 hi1 = _mm_unpacklo_ps(p6, p7);
    const __m256 a = _mm256_set_m128(_mm_movelh_ps(lo1, hi1), _mm_movelh_ps(lo0, hi0));
    const __m256 b = _mm256_set_m128(_mm_movehl_ps(hi1, lo1), _mm_movehl_ps(hi0, lo0));
    const __m256 s = _mm256_add_ps(a, _mm256_mul_ps(_mm256_sub_ps(b, a), f));
    lastOutput = s;
    return _mm256_mul_ps(s, level);
}

// Eight samples of eight voices become eight voices of eight samples.
VL_AVX2_INLINE void transpose8(__m256 (&r)[8]) {
    const __m256 t0 = _mm256_unpacklo_ps(r[0], r[1]);
    const __m256 t1 = _mm256_unpackhi_ps(r[0], r[1]);
    const __m256 t2 = _mm256_unpacklo_ps(r[2], r[3]);
    const __m256 t3 = _mm256_unpackhi_ps(r[2], r[3]);
    const __m256 t4 = _mm256_unpacklo_ps(r[4], r[5]);
    const __m256 t5 = _mm256_unpackhi_ps(r[4], r[5]);
    const __m256 t6 = _mm256_unpacklo_ps(r[6], r[7]);
    const __m256 t7 = _mm256_unpackhi_ps(r[6], r[7]);
    const __m256 u0 = _mm256_shuffle_ps(t0, t2, 0x44);
    const __m256 u1 = _mm256_shuffle_ps(t0, t2, 0xEE);
    const __m256 u2 = _mm256_shuffle_ps(t1, t3, 0x44);
    const __m256 u3 = _mm256_shuffle_ps(t1, t3, 0xEE);
    const __m256 u4 = _mm256_shuffle_ps(t4, t6, 0x44);
    const __m256 u5 = _mm256_shuffle_ps(t4, t6, 0xEE);
    const __m256 u6 = _mm256_shuffle_ps(t5, t7, 0x44);
    const __m256 u7 = _mm256_shuffle_ps(t5, t7, 0xEE);
    r[0] = _mm256_permute2f128_ps(u0, u4, 0x20);
    r[1] = _mm256_permute2f128_ps(u1, u5, 0x20);
    r[2] = _mm256_permute2f128_ps(u2, u6, 0x20);
    r[3] = _mm256_permute2f128_ps(u3, u7, 0x20);
    r[4] = _mm256_permute2f128_ps(u0, u4, 0x31);
    r[5] = _mm256_permute2f128_ps(u1, u5, 0x31);
    r[6] = _mm256_permute2f128_ps(u2, u6, 0x31);
    r[7] = _mm256_permute2f128_ps(u3, u7, 0x31);
}

// Adds the voices of `registers` registers' outputs (register r's sample k at
// out + (r * kChunk + k) * 8; the last register with only `lastValid` voices in use) to
// sums[k], voice after voice in lane order, or stores that sum when `first` (the sum then
// starts from 0 as the per-sample loop's does).
VL_AVX2 void addWideLanes(const float* out, int registers, int lastValid, int32_t count, float* sums, bool first) {
    int32_t k = 0;
    for (; k + 8 <= count; k += 8) {
        __m256 acc = first ? _mm256_setzero_ps() : _mm256_loadu_ps(sums + k);
        for (int r = 0; r < registers; ++r) {
            const float* o = out + (r * kChunk + k) * 8;
            __m256 v[8];
            for (int j = 0; j < 8; ++j) v[j] = _mm256_load_ps(o + 8 * j);
            transpose8(v);
            const int valid = r + 1 < registers ? 8 : lastValid;
            for (int j = 0; j < valid; ++j) acc = _mm256_add_ps(acc, v[j]);
        }
        _mm256_storeu_ps(sums + k, acc);
    }
    for (; k < count; ++k) {
        float acc = first ? 0.0f : sums[k];
        for (int r = 0; r < registers; ++r) {
            const float* lane = out + (r * kChunk + k) * 8;
            const int valid = r + 1 < registers ? 8 : lastValid;
            for (int v = 0; v < valid; ++v) acc = acc + lane[v];
        }
        sums[k] = acc;
    }
}

// G registers (8 G voices) from lane g on, their state in registers for the run of
// `count` samples; the outputs go to out.
template <int G>
VL_AVX2_INLINE void renderRegisters(VoiceLanes& L, int g, int32_t count, const Constants& k, const float* table) {
    __m256 level[G], phase[G], last[G], rate[G], inc[G], fb[G];
    __m256i wrapAt[G];
#pragma GCC unroll 4
    for (int j = 0; j < G; ++j) {
        level[j] = _mm256_load_ps(L.level + g + 8 * j);
        phase[j] = _mm256_load_ps(L.phase + g + 8 * j);
        last[j] = _mm256_load_ps(L.lastOutput + g + 8 * j);
        rate[j] = _mm256_load_ps(L.rate + g + 8 * j);
        inc[j] = _mm256_load_ps(L.increment + g + 8 * j);
        fb[j] = _mm256_load_ps(L.feedback + g + 8 * j);
        wrapAt[j] = _mm256_load_si256(reinterpret_cast<const __m256i*>(L.wrapAt + g + 8 * j));
    }
    const __m256i one = _mm256_set1_epi32(1);
    const __m256i mod64 = _mm256_set1_epi32(63);
    __m256i sample = _mm256_setzero_si256(); // k mod 64 in every lane
    for (int32_t t = 0; t < count; ++t) {
#pragma GCC unroll 4
        for (int j = 0; j < G; ++j)
            _mm256_store_ps(L.out + (j * kChunk + t) * 8, voiceStep(level[j], rate[j], phase[j], inc[j], last[j], fb[j],
                                                                    wrapAt[j], sample, k, table));
        sample = _mm256_and_si256(_mm256_add_epi32(sample, one), mod64);
    }
#pragma GCC unroll 4
    for (int j = 0; j < G; ++j) {
        _mm256_store_ps(L.level + g + 8 * j, level[j]);
        _mm256_store_ps(L.phase + g + 8 * j, phase[j]);
        _mm256_store_ps(L.lastOutput + g + 8 * j, last[j]);
    }
}

template <int G>
VL_AVX2 void renderWideBlock(VoiceLanes& L, int g, int voiceCount, int32_t count, float* sums, bool first) {
    Constants k;
    k.offset = _mm256_set1_ps(StringVoice::kEnvelopeOffset);
    k.half = _mm256_set1_ps(0.5f);
    k.scale = _mm256_set1_ps(8192.0f);
    k.mask = _mm256_set1_epi32(kSineTableMask);
    renderRegisters<G>(L, g, count, k, sineTable);
    const int lastValid = voiceCount - (g + 8 * (G - 1));
    addWideLanes(L.out, G, lastValid < 8 ? lastValid : 8, count, sums, first);
}

} // namespace

// As runVoiceLanes with eight voices per register: blocks of up to four registers (32
// voices) keep their state in registers for the whole run.
void Engine::runVoiceLanesWide(int voiceCount, int32_t count, float* sums) {
    VoiceLanes& L = *lanes;
    const int laneCount = (voiceCount + 7) & ~7;
    loadLanes(voiceCount, laneCount);
    bool first = true;
    for (int g = 0; g < laneCount; g += 8 * kRegisters) {
        switch ((laneCount - g) / 8) {
        case 1:
            renderWideBlock<1>(L, g, voiceCount, count, sums, first);
            break;
        case 2:
            renderWideBlock<2>(L, g, voiceCount, count, sums, first);
            break;
        case 3:
            renderWideBlock<3>(L, g, voiceCount, count, sums, first);
            break;
        default:
            renderWideBlock<kRegisters>(L, g, voiceCount, count, sums, first);
            break;
        }
        first = false;
    }
    storeLanes(voiceCount, count);
}

#else

bool Engine::processorHasWideLanes() { return false; }

void Engine::runVoiceLanesWide(int voiceCount, int32_t count, float* sums) { runVoiceLanes(voiceCount, count, sums); }

#endif

} // namespace vl
