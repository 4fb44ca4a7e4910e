#pragma once
// Everything after the voice sum, one sample at a time: ensemble, phaser, output level,
// reverb, channel gains and the store into the caller's buffers. The stages' state lives
// in locals (their kernels) for a run of samples and goes back into the stages when the
// chain ends; a stage that is off keeps its state exactly as it was.
#include <cstdint>

#include "Ensemble.h"
#include "Phaser.h"
#include "Reverb.h"
#include "Rounding.h"

namespace vl {

enum class OutputMode { Add, Replace, Interleaved16 };

struct OutputCursor {
    float* left;
    float* right;
    int16_t* frames16;
};

// One output frame (l and r with the channel gains applied): added, stored, or as the
// nearest integers to (value * 32767.5 - 0.5) limited to -32767 .. 32767.
template <OutputMode mode>
[[gnu::always_inline]] inline void storeFrame(float*& left, float*& right, int16_t*& frames16, float l, float r) {
    if constexpr (mode == OutputMode::Add) {
        *left++ += l;
        *right++ += r;
    } else if constexpr (mode == OutputMode::Replace) {
        *left++ = l;
        *right++ = r;
    } else {
        float yl = l * 32767.5f - 0.5f;
        float yr = r * 32767.5f - 0.5f;
        // Clamp before converting so that overloads cannot overflow the integer
        // conversion; the result is then limited to -32767 .. 32767.
        if (!(yl >= -40000.0f)) yl = -40000.0f;
        if (yl > 40000.0f) yl = 40000.0f;
        if (!(yr >= -40000.0f)) yr = -40000.0f;
        if (yr > 40000.0f) yr = 40000.0f;
        int32_t il = roundToEven(yl);
        int32_t ir = roundToEven(yr);
        il = il < -32767 ? -32767 : (il > 32767 ? 32767 : il);
        ir = ir < -32767 ? -32767 : (ir > 32767 ? 32767 : ir);
        *frames16++ = static_cast<int16_t>(il);
        *frames16++ = static_cast<int16_t>(ir);
    }
}

template <OutputMode mode>
class SampleChain {
public:
    SampleChain(Ensemble& ensemble, Phaser& phaser, Reverb& reverb, float level, float antiDenormal, float leftGain,
                float rightGain, OutputCursor& cursor)
        : ensembleKernel(ensemble), phaserKernel(phaser), reverbKernel(reverb), cursor(cursor), left(cursor.left),
          right(cursor.right), frames16(cursor.frames16), level(level), ad(antiDenormal), leftGain(leftGain),
          rightGain(rightGain), ensembleOn(ensemble.active()), phaserOn(phaser.active()), reverbOn(reverb.active()) {}
    ~SampleChain() {
        cursor.left = left;
        cursor.right = right;
        cursor.frames16 = frames16;
    }
    SampleChain(const SampleChain&) = delete;
    SampleChain& operator=(const SampleChain&) = delete;

    // A run of voice sums through the whole chain, every stage sample by sample in one
    // loop, in stretches in which no delay-line index reaches its line's end: the
    // ensemble of the next samples does not wait for the phaser's feedback path, so the
    // two overlap.
    void run(const float* sums, int32_t count) {
        while (count > 0) {
            int32_t n = count;
            if (ensembleOn && ensembleKernel.samplesBeforeWrap() < n) n = ensembleKernel.samplesBeforeWrap();
            if (reverbOn && reverbKernel.samplesBeforeWrap() < n) n = reverbKernel.samplesBeforeWrap();
            if (ensembleOn) {
                if (reverbOn) stretch<true, true>(sums, n);
                else stretch<true, false>(sums, n);
                ensembleKernel.advance(n);
            } else {
                if (reverbOn) stretch<false, true>(sums, n);
                else stretch<false, false>(sums, n);
            }
            if (reverbOn) reverbKernel.advance(n);
            sums += n;
            count -= n;
        }
    }

    // The control tick (Engine::renormalizePhasors) on the chain's copies of the three
    // oscillators, between two samples.
    void renormalizePhasors() {
        phaserKernel.renormalize();
        ensembleKernel.renormalize();
    }

private:
    Ensemble::Kernel ensembleKernel;
    Phaser::Kernel phaserKernel;
    Reverb::Kernel reverbKernel;
    OutputCursor& cursor;
    float* left;
    float* right;
    int16_t* frames16;
    const float level;
    const float ad;
    const float leftGain;
    const float rightGain;
    const bool ensembleOn;
    const bool phaserOn;
    const bool reverbOn;

    // One stretch; the stages that are on in every sample of it are known at compile time.
    template <bool withEnsemble, bool withReverb>
    void stretch(const float* sums, int32_t n) {
        for (int32_t t = 0; t < n; ++t) {
            float u = sums[t];
            if constexpr (withEnsemble) u = ensembleKernel.processAt(t, u, ad);
            if (phaserOn) u = phaserKernel.process(u, ad);
            const float x = u * level;
            float l = x, r = x;
            if constexpr (withReverb) reverbKernel.processAt(t, x, ad, l, r);
            storeFrame<mode>(left, right, frames16, l * leftGain, r * rightGain);
        }
    }
};

} // namespace vl
