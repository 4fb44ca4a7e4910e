#pragma once
#include "DelayLine.h"

namespace vl {

// Two networks of three cross-coupled lines; mono in, stereo out. Placeholder: passes
// its input to both sides until the effect is built.
class Reverb {
public:
    // Reallocates and clears the six lines; filter states are kept.
    bool setSampleRate(float sampleRate);
    void setLength(float v);  // parameter Reverb Length, 0..1
    void setMix(float v);     // parameter Reverb Mix, 0..1
    bool active() const { return false; }
    void process(float x, float /*antiDenormal*/, float& left, float& right) { left = x; right = x; }
    void clear(); // zeroes the six lines and the six filter states (suspend)
};

} // namespace vl
