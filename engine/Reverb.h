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
    void setLength(float v); // parameter Reverb Length, 0..1
    void setMix(float v); // parameter Reverb Mix, 0..1
    bool active() const { return mix != 0.0f && ready; }
    void clear(); // zeroes the six lines and the six filter states (suspend)

    // The per-sample arithmetic with indices and filter states held in locals for a run of
    // samples (see Ensemble::Kernel); written back when the kernel ends. Within a stretch
    // in which no index reaches its line's end (samplesBeforeWrap), sample t of the
    // stretch writes and reads at fixed offsets from the stretch's start, so the loop
    // carries no index arithmetic; advance ends the stretch.
    class Kernel {
    public:
        explicit Kernel(Reverb& stage) : owner(stage), gain(stage.gain), mix(stage.mix) {
            for (int k = 0; k < 6; ++k) {
                samples[k] = stage.lines[k].samples;
                size[k] = stage.lines[k].size;
                writeIndex[k] = stage.lines[k].writeIndex;
                readIndex[k] = stage.lines[k].readIndex;
                state[k] = stage.state[k];
                damping[k] = stage.damping[k];
            }
            locate();
        }
        ~Kernel() {
            for (int k = 0; k < 6; ++k) {
                owner.lines[k].writeIndex = writeIndex[k];
                owner.lines[k].readIndex = readIndex[k];
                owner.state[k] = state[k];
            }
        }
        Kernel(const Kernel&) = delete;
        Kernel& operator=(const Kernel&) = delete;

        [[gnu::always_inline]] void process(float x, float antiDenormal, float& left, float& right) {
            processAt(0, x, antiDenormal, left, right);
            advance(1);
        }

        // Samples from the current position on before some index reaches its line's end
        // (at least 1).
        int32_t samplesBeforeWrap() const {
            int32_t n = size[0] - writeIndex[0];
            for (int k = 0; k < 6; ++k) {
                if (size[k] - writeIndex[k] < n) n = size[k] - writeIndex[k];
                if (size[k] - readIndex[k] < n) n = size[k] - readIndex[k];
            }
            return n;
        }
        // Sample t of a stretch of at most samplesBeforeWrap() samples.
        [[gnu::always_inline]] void processAt(int32_t t, float x, float antiDenormal, float& left, float& right) {
            network<0>(t, x, antiDenormal);
            network<3>(t, x, antiDenormal);
            left = x + mix * (state[0] + state[1] + state[2]);
            right = x - mix * (state[3] + state[4] + state[5]);
        }
        // Ends a stretch of n samples: every index moves on by n, back to 0 at the end.
        void advance(int32_t n) {
            for (int k = 0; k < 6; ++k) {
                writeIndex[k] += n;
                if (writeIndex[k] == size[k]) writeIndex[k] = 0;
                readIndex[k] += n;
                if (readIndex[k] == size[k]) readIndex[k] = 0;
            }
            locate();
        }

    private:
        void locate() {
            for (int k = 0; k < 6; ++k) {
                writeAt[k] = samples[k] + writeIndex[k];
                readAt[k] = samples[k] + readIndex[k];
            }
        }
        // Lines a, b, c = first .. first + 2: writes from the previous filter states, then
        // the low-passed reads.
        template <int first>
        [[gnu::always_inline]] void network(int32_t t, float x, float ad) {
            constexpr int a = first, b = first + 1, c = first + 2;
            float& ya = state[a];
            float& yb = state[b];
            float& yc = state[c];
            writeAt[a][t] = ((ya - yb) - yc) * gain + ad + x;
            writeAt[b][t] = ((yb - ya) - yc) * gain + ad + x;
            writeAt[c][t] = (yc - (ya + yb)) * gain + ad + x;
            ya = ya + (readAt[a][t] - ya) * damping[a];
            yb = yb + (readAt[b][t] - yb) * damping[b];
            yc = yc + (readAt[c][t] - yc) * damping[c];
        }

        Reverb& owner;
        float* samples[6];
        float* writeAt[6];
        float* readAt[6];
        int32_t size[6];
        int32_t writeIndex[6];
        int32_t readIndex[6];
        float state[6];
        float damping[6];
        const float gain;
        const float mix;
    };

    void process(float x, float antiDenormal, float& left, float& right) {
        Kernel(*this).process(x, antiDenormal, left, right);
    }

    // Read access for tests and diagnostics (k = 0..5 for A..F).
    const DelayLine& line(int k) const { return lines[k]; }
    float filterState(int k) const { return state[k]; }
    float dampingOf(int k) const { return damping[k]; }
    float feedbackGain() const { return gain; }
    float mixAmount() const { return mix; }

private:
    DelayLine lines[6];
    float state[6] = {};
    float damping[6] = {};
    float gain = 0.0f;
    float mix = 0.0f;
    bool ready = false;
};

} // namespace vl
