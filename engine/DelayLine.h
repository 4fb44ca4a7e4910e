#pragma once
#include <cstdint>

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
    ~DelayLine();

    // Frees any previous array, size = trunc(seconds * sampleRate), zeroed array,
    // writeIndex 0, readIndex 1. Returns false (and leaves no array) when allocation fails.
    bool allocate(float seconds, float sampleRate);
    // Zeroes the samples, keeps both indices.
    void clear();
    void release();
};

} // namespace vl
