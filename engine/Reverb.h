#pragma once
#include <bit>
#include <cstdint>

#include "DelayLine.h"

namespace vl {

// Two networks of three cross-coupled lines with a one-pole low-pass at each line's
// output; mono in, stereo out: the left network is added to the left side, the right
// network subtracted from the right side.
class Reverb {
public:
    // Line lengths in seconds, lines A, B, C (left network) and D, E, F (right network).
    // B, D and E sit one unit in the last place above the floats nearest to 0.154, 0.061
    // and 0.152, so that e.g. B gets 7392 samples at 48000 Hz rather than 7391.
    static constexpr float kLineSeconds[6] = {
        0.068f,
        std::bit_cast<float>(uint32_t{0x3E1DB22E}),
        0.273f,
        std::bit_cast<float>(uint32_t{0x3D79DB24}),
        std::bit_cast<float>(uint32_t{0x3E1BA5E4}),
        0.277f,
    };
    // Damping factors of lines A..F relative to a = 0.8 * length + 0.1.
    static constexpr float kDampingScale[6] = {0.83f, 0.73f, 0.78f, 1.0f, 0.6f, 0.8f};

    // Reallocates and clears the six lines; filter states are kept. Returns false when a
    // line cannot be allocated; the stage then stays inactive.
    bool setSampleRate(float sampleRate);
    void setLength(float v);  // parameter Reverb Length, 0..1
    void setMix(float v);     // parameter Reverb Mix, 0..1
    bool active() const { return mix != 0.0f && ready; }
    void clear(); // zeroes the six lines and the six filter states (suspend)

    void process(float x, float antiDenormal, float& left, float& right) {
        network(lines[0], lines[1], lines[2], state[0], state[1], state[2], damping[0], damping[1],
                damping[2], x, antiDenormal);
        network(lines[3], lines[4], lines[5], state[3], state[4], state[5], damping[3], damping[4],
                damping[5], x, antiDenormal);
        left = x + mix * (state[0] + state[1] + state[2]);
        right = x - mix * (state[3] + state[4] + state[5]);
    }

    // Read access for tests and diagnostics (k = 0..5 for A..F).
    const DelayLine& line(int k) const { return lines[k]; }
    float filterState(int k) const { return state[k]; }
    float dampingOf(int k) const { return damping[k]; }
    float feedbackGain() const { return gain; }
    float mixAmount() const { return mix; }

private:
    static void advance(int32_t& index, int32_t size) {
        if (++index == size) index = 0;
    }
    void network(DelayLine& la, DelayLine& lb, DelayLine& lc, float& ya, float& yb, float& yc,
                 float da, float db, float dc, float x, float ad) {
        const float g = gain;
        la.samples[la.writeIndex] = ((ya - yb) - yc) * g + ad + x;
        lb.samples[lb.writeIndex] = ((yb - ya) - yc) * g + ad + x;
        lc.samples[lc.writeIndex] = (yc - (ya + yb)) * g + ad + x;
        advance(la.writeIndex, la.size);
        advance(lb.writeIndex, lb.size);
        advance(lc.writeIndex, lc.size);
        ya = ya + (la.samples[la.readIndex] - ya) * da;
        yb = yb + (lb.samples[lb.readIndex] - yb) * db;
        yc = yc + (lc.samples[lc.readIndex] - yc) * dc;
        advance(la.readIndex, la.size);
        advance(lb.readIndex, lb.size);
        advance(lc.readIndex, lc.size);
    }

    DelayLine lines[6];
    float state[6] = {};
    float damping[6] = {};
    float gain = 0.0f;
    float mix = 0.0f;
    bool ready = false;
};

} // namespace vl
