#pragma once
#include "DelayLine.h"
#include "Phasor.h"

namespace vl {

// Three-tap modulated chorus. Placeholder: passes its input through until the effect is built.
class Ensemble {
public:
    // Reallocates the 0.033 s line (cleared, writeIndex 0) and recomputes the rotations
    // from the stored speed value. Returns false when the line cannot be allocated.
    bool setSampleRate(float sampleRate, float halfInvSampleRate);
    void setSpeed(float v);     // parameter Ensemble Speed, 0..1
    void setAmount(float v);    // parameter Ensemble Amount, 0..1
    void setFeedback(float v);  // parameter Ensemble Feedback, 0..1
    bool active() const { return false; }
    float process(float u, float /*antiDenormal*/) { return u; }
    void clear();           // zeroes the line (suspend)
    void resetModulators(); // both phasors back to theta = 0
    void renormalize();     // control tick

private:
    float speedValue = 0.0f;
};

} // namespace vl
