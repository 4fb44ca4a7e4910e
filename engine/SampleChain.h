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
        : ensembleKernel(ensemble), phaserKernel(phaser), reverbKernel(reverb), cursor(cursor),
          left(cursor.left), right(cursor.right), frames16(cursor.frames16), level(level), ad(antiDenormal),
          leftGain(leftGain), rightGain(rightGain), ensembleOn(ensemble.active()), phaserOn(phaser.active()),
          reverbOn(reverb.active()) {}
    ~SampleChain() {
        cursor.left = left;
        cursor.right = right;
        cursor.frames16 = frames16;
    }
    SampleChain(const SampleChain&) = delete;
    SampleChain& operator=(const SampleChain&) = delete;

    bool ensembleActive() const { return ensembleOn; }

    // The ensemble alone over a run of voice sums, in place. It depends on nothing after
    // it, so running it first keeps its work from queueing behind the phaser's
    // sample-to-sample feedback chain.
    void ensembleRun(float* sums, int32_t count) {
        if (!ensembleOn) return;
        while (count > 0) {
            const int32_t wrapIn = ensembleKernel.samplesBeforeWrap();
            const int32_t n = count < wrapIn ? count : wrapIn;
            for (int32_t t = 0; t < n; ++t) sums[t] = ensembleKernel.processAt(t, sums[t], ad);
            ensembleKernel.advance(n);
            sums += n;
            count -= n;
        }
    }

    // A run of samples that have been through the ensemble already.
    void afterEnsembleRun(const float* in, int32_t count) {
        if (!reverbOn) {
            for (int32_t t = 0; t < count; ++t) afterEnsemble(in[t]);
            return;
        }
        while (count > 0) {
            const int32_t wrapIn = reverbKernel.samplesBeforeWrap();
            const int32_t n = count < wrapIn ? count : wrapIn;
            for (int32_t t = 0; t < n; ++t) {
                const float x = beforeReverb(in[t]);
                float l, r;
                reverbKernel.processAt(t, x, ad, l, r);
                store(l, r);
            }
            reverbKernel.advance(n);
            in += n;
            count -= n;
        }
    }

    // A run of voice sums through the whole chain, every stage sample by sample in one
    // loop: the ensemble of the next samples does not wait for the phaser's feedback
    // path, so the two overlap.
    void run(const float* sums, int32_t count) {
        if (!ensembleOn) {
            afterEnsembleRun(sums, count);
            return;
        }
        while (count > 0) {
            int32_t n = count;
            if (ensembleKernel.samplesBeforeWrap() < n) n = ensembleKernel.samplesBeforeWrap();
            if (reverbOn && reverbKernel.samplesBeforeWrap() < n) n = reverbKernel.samplesBeforeWrap();
            if (reverbOn) {
                for (int32_t t = 0; t < n; ++t) {
                    const float x = beforeReverb(ensembleKernel.processAt(t, sums[t], ad));
                    float l, r;
                    reverbKernel.processAt(t, x, ad, l, r);
                    store(l, r);
                }
                reverbKernel.advance(n);
            } else {
                for (int32_t t = 0; t < n; ++t) {
                    const float x = beforeReverb(ensembleKernel.processAt(t, sums[t], ad));
                    store(x, x);
                }
            }
            ensembleKernel.advance(n);
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

    // One voice sum through the whole chain.
    [[gnu::always_inline]] void process(float sum) {
        if (ensembleOn) sum = ensembleKernel.process(sum, ad);
        afterEnsemble(sum);
    }

    // One sample that has been through the ensemble already.
    [[gnu::always_inline]] void afterEnsemble(float u) {
        const float x = beforeReverb(u);
        float l, r;
        if (reverbOn) {
            reverbKernel.process(x, ad, l, r);
        } else {
            l = x;
            r = x;
        }
        store(l, r);
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

    // Phaser and output level.
    [[gnu::always_inline]] float beforeReverb(float u) {
        if (phaserOn) u = phaserKernel.process(u, ad);
        return u * level;
    }

    [[gnu::always_inline]] void store(float l, float r) {
        storeFrame<mode>(left, right, frames16, l * leftGain, r * rightGain);
    }
};

} // namespace vl
