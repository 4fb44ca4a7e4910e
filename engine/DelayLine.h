#pragma once
#include <cstdint>

#include "Rounding.h"

namespace vl {

// Float ring buffer used by the ensemble and the reverb.
struct DelayLine {
    int32_t size = 0;
    int32_t writeIndex = 0;
    int32_t readIndex = 0;
    float* samples = nullptr;

    DelayLine() = default;
    DelayLine(const DelayLine&) = delete;
    DelayLine& operator=(const DelayLine&) = delete;
    DelayLine(DelayLine&& other) noexcept;
    DelayLine& operator=(DelayLine&& other) noexcept;
    ~DelayLine();

    // Number of samples a line of `seconds` holds at `sampleRate`: the product of the two
    // single-precision values, formed exactly (in double) and truncated toward zero.
    // 0 when the product is not a usable size (below 1, too large, or not a number).
    static int32_t sizeFor(float seconds, float sampleRate);

    // Frees any previous array, size = sizeFor(seconds, sampleRate), zeroed array,
    // writeIndex 0, readIndex 1 (0 for a one-sample line). Returns false and leaves no
    // array (size 0) when the size is unusable or the allocation fails.
    bool allocate(float seconds, float sampleRate);
    // Zeroes the samples, keeps both indices.
    void clear();
    void release();
    bool allocated() const { return samples != nullptr; }
};

} // namespace vl
