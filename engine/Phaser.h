#pragma once
#include <cmath>

#include "Phasor.h"

namespace vl {

// Six identical first-order all-passes whose common coefficient follows |cos| of a slow
// oscillator, with feedback from the last stage into the first; the chain output is added
// to the dry signal.
class Phaser {
public:
    static constexpr int kStages = 6;

    void setSampleRate(float halfInvSampleRate); // recomputes the rotation from the stored rate
    void setRate(float v); // parameter Phaser Rate, 0..1: 0.05 .. 0.5 Hz
    void setDepth(float v); // parameter Phaser Depth, 0..1
    void setFeedback(float v); // parameter Phaser Feedback, 0..1: 0.8 * v
    bool active() const { return depth != 0.0f; }
    void resetModulators(); // phasor to theta = 0, the twelve all-pass memories to 0
    void renormalize(); // control tick

    // The per-sample arithmetic with the sweep and the twelve memories held in locals for
    // a run of samples (see Ensemble::Kernel); written back when the kernel ends.
    class Kernel {
    public:
        explicit Kernel(Phaser& stage)
            : owner(stage), phasor(stage.phasor), depth(stage.depth), feedback(stage.feedback) {
            for (int k = 0; k < kStages; ++k) {
                prevIn[k] = stage.prevIn[k];
                prevOut[k] = stage.prevOut[k];
            }
        }
        ~Kernel() {
            owner.phasor = phasor;
            for (int k = 0; k < kStages; ++k) {
                owner.prevIn[k] = prevIn[k];
                owner.prevOut[k] = prevOut[k];
            }
        }
        Kernel(const Kernel&) = delete;
        Kernel& operator=(const Kernel&) = delete;

        [[gnu::always_inline]] float process(float u, float antiDenormal) {
            phasor.step();
            const float a = -0.5f - std::fabs(phasor.x) * 0.4f;
            float in = u + feedback * prevOut[kStages - 1] + antiDenormal;
            for (int k = 0; k < kStages; ++k) {
                const float y = a * (in - prevOut[k]) + prevIn[k];
                prevIn[k] = in;
                prevOut[k] = y;
                in = y;
            }
            return u + depth * prevOut[kStages - 1];
        }
        // Control tick on the kernel's copy of the oscillator.
        void renormalize() { phasor.renormalize(); }

    private:
        Phaser& owner;
        Phasor phasor;
        float prevIn[kStages];
        float prevOut[kStages];
        const float depth;
        const float feedback;
    };

    float process(float u, float antiDenormal) { return Kernel(*this).process(u, antiDenormal); }

    // Read access for tests and diagnostics.
    const Phasor& sweep() const { return phasor; }
    float stageInput(int k) const { return prevIn[k]; }
    float stageOutput(int k) const { return prevOut[k]; }
    // Coefficient the next sample will use (advances a copy of the phasor).
    float nextCoefficient() const {
        Phasor p = phasor;
        p.step();
        return -0.5f - std::fabs(p.x) * 0.4f;
    }

private:
    Phasor phasor;
    float prevIn[kStages] = {};
    float prevOut[kStages] = {};
    float depth = 0.0f;
    float feedback = 0.0f;
    float rateValue = 0.0f;
    float halfInvRate = 0.5f / 44100.0f;
};

} // namespace vl
