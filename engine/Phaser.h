#pragma once
#include "Phasor.h"

namespace vl {

// Six first-order all-passes swept by a slow oscillator. Placeholder: passes its input
// through until the effect is built.
class Phaser {
public:
    void setSampleRate(float halfInvSampleRate); // recomputes the rotation from the stored rate
    void setRate(float v);      // parameter Phaser Rate, 0..1
    void setDepth(float v);     // parameter Phaser Depth, 0..1
    void setFeedback(float v);  // parameter Phaser Feedback, 0..1
    bool active() const { return false; }
    float process(float u, float /*antiDenormal*/) { return u; }
    void resetModulators(); // phasor to theta = 0, the twelve all-pass memories to 0
    void renormalize();     // control tick

private:
    float rateValue = 0.0f;
};

} // namespace vl
