#pragma once
#include <cstdint>

#include "DelayLine.h"
#include "Phasor.h"

namespace vl {

// Three-tap modulated chorus: one short line read at three interpolated taps whose delays
// follow a slow and a fast oscillator in three phase positions; the averaged taps are the
// output and are fed back (negated) into the line.
class Ensemble {
public:
    static constexpr float kLineSeconds = 0.033f;
    static constexpr float kCentreDelay = 0.012f; // seconds

    // Position of one tap inside the line: sample i and its neighbour j (both in
    // 0 .. size - 1) and the interpolation fraction f.
    struct Tap {
        int32_t i;
        int32_t j;
        float f;
    };

    // Reallocates the 0.033 s line (cleared, writeIndex 0), recomputes the rotations from
    // the stored speed value and sets both phasors to theta = 0. Returns false when the
    // line cannot be allocated; the stage then stays inactive.
    bool setSampleRate(float sampleRate, float halfInvSampleRate);
    void setSpeed(float v); // parameter Ensemble Speed, 0..1
    void setAmount(float v); // parameter Ensemble Amount, 0..1: 0.00025 * v seconds
    void setFeedback(float v); // parameter Ensemble Feedback, 0..1: -0.8 * v
    bool active() const { return amount != 0.0f && line.samples != nullptr; }
    void clear(); // zeroes the line (suspend)
    void resetModulators(); // both phasors back to theta = 0
    void renormalize(); // control tick

    // Where a tap of `delay` seconds reads when the write position is `writeIndex`:
    // p = w - delay * rate, i = nearest integer to (p - 0.5) ties to even, f = p - i, and i
    // and i + 1 brought into the line by adding or subtracting its size once. Delays stay
    // within 0.012 +- 0.00125 s, which is shorter than the line at any rate of 1000 Hz or
    // more, so one correction always suffices.
    static Tap tapAt(int32_t writeIndex, float delay, float sampleRate, int32_t size) {
        const float p = static_cast<float>(writeIndex) - delay * sampleRate;
        int32_t i = roundToEven(p - 0.5f);
        const float f = p - static_cast<float>(i);
        if (i < 0) i += size;
        else if (i >= size) i -= size;
        int32_t j = i + 1;
        if (j >= size) j -= size;
        return {i, j, f};
    }

    // The per-sample arithmetic with the stage's state held in locals for a run of
    // samples: nothing the line writes can alias the oscillators or the write index, so
    // they stay in registers. The state goes back into the stage when the kernel ends;
    // nothing else may touch the stage meanwhile.
    class Kernel {
    public:
        explicit Kernel(Ensemble& stage)
            : owner(stage), s(stage.line.samples), size(stage.line.size), w(stage.line.writeIndex), slow(stage.slow),
              fast(stage.fast), amount(stage.amount), feedback(stage.feedback), rate(stage.rate) {}
        ~Kernel() {
            owner.line.writeIndex = w;
            owner.slow = slow;
            owner.fast = fast;
        }
        Kernel(const Kernel&) = delete;
        Kernel& operator=(const Kernel&) = delete;

        // One sample: input u (the voice sum), returns the chorus output E alone. Always
        // inlined, so that the render loops keep the state in registers.
        [[gnu::always_inline]] float process(float u, float antiDenormal) {
            const float e = processAt(0, u, antiDenormal);
            advance(1);
            return e;
        }

        // Samples from the current position on before the write index reaches the end.
        int32_t samplesBeforeWrap() const { return size - w; }
        // Sample t of a stretch of at most samplesBeforeWrap() samples: written at w + t.
        [[gnu::always_inline]] float processAt(int32_t t, float u, float antiDenormal) {
            slow.step();
            const float x1 = slow.x;
            const float y1 = slow.y;
            constexpr float k = 0.8660254f; // sqrt(0.75)
            constexpr float k4 = 4.0f * k;
            const float a1 = y1;
            const float b1 = 0.5f * x1 + k * y1;
            const float c1 = k * y1 - 0.5f * x1;
            fast.step();
            const float x2 = fast.x;
            const float y2 = fast.y;
            const float a2 = 4.0f * y2;
            const float b2 = 2.0f * x2 + k4 * y2;
            const float c2 = k4 * y2 - 2.0f * x2;
            const float da = amount * (a1 + a2) + kCentreDelay;
            const float db = amount * (b1 + b2) + kCentreDelay;
            const float dc = amount * (c1 + c2) + kCentreDelay;
            const int32_t at = w + t;
            const float ta = read(s, tapAt(at, da, rate, size));
            const float tb = read(s, tapAt(at, db, rate, size));
            const float tc = read(s, tapAt(at, dc, rate, size));
            const float e = (ta + tb + tc) * 0.3333f;
            s[at] = u + e * feedback + antiDenormal;
            return e;
        }
        // Ends a stretch of n samples.
        void advance(int32_t n) {
            w += n;
            if (w == size) w = 0;
        }
        // Control tick on the kernel's copies of the oscillators.
        void renormalize() {
            slow.renormalize();
            fast.renormalize();
        }

    private:
        Ensemble& owner;
        float* const s;
        const int32_t size;
        int32_t w;
        Phasor slow;
        Phasor fast;
        const float amount;
        const float feedback;
        const float rate;
    };

    // One sample: input u (the voice sum), returns the chorus output E alone.
    float process(float u, float antiDenormal) { return Kernel(*this).process(u, antiDenormal); }

    // Read access for tests and diagnostics.
    const DelayLine& delayLine() const { return line; }
    const Phasor& slowPhasor() const { return slow; }
    const Phasor& fastPhasor() const { return fast; }
    float amountSeconds() const { return amount; }
    float feedbackGain() const { return feedback; }

private:
    static float read(const float* s, Tap t) { return s[t.i] + (s[t.j] - s[t.i]) * t.f; }
    void updateRotations();

    DelayLine line;
    Phasor slow;
    Phasor fast;
    float amount = 0.0f;
    float feedback = 0.0f;
    float speedValue = 0.0f;
    float rate = 44100.0f;
    float halfInvRate = 0.5f / 44100.0f;
};

} // namespace vl
