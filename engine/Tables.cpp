#include "Tables.h"

#include <atomic>
#include <cmath>
#include <mutex>
#include <new>

#include "Engine.h"

namespace vl {

const float* sineTable = nullptr;
const float* noteFrequency = nullptr;
const float* bendFactor = nullptr;

namespace testhooks {
std::atomic<bool> failTableAllocation{false};
}

namespace {

// All three tables live in one block so that building either succeeds or leaves nothing.
// The sine table carries one guard entry (a copy of entry 0) so that an entry and its
// successor can be read as one pair.
constexpr int kSineFloats = kSineTableSize + 1;
constexpr int kTableFloats = kSineFloats + 128 + 128;

std::mutex& tableMutex() {
    static std::mutex m;
    return m;
}
float* tableBlock = nullptr;
int tableUsers = 0;

std::atomic<uint32_t> noiseSeed{1000};

void fillTables(float* block) {
    float* sine = block;
    float* notes = block + kSineFloats;
    float* bends = notes + 128;
    // One period over 8192 entries; the angle is evaluated in double precision and each
    // entry rounded to float once.
    for (int i = 0; i < kSineTableSize; ++i) sine[i] = static_cast<float>(std::sin(6.2831852 * i / 8192.0));
    sine[kSineTableSize] = sine[0];
    // 13.75 Hz (A at key -3) doubled per octave; the twelfth-of-an-octave step is the
    // single-precision 1/12, the power itself is evaluated in double.
    const float twelfth = 1.0f / 12.0f;
    for (int i = 0; i < 128; ++i)
        notes[i] = static_cast<float>(13.75 * std::pow(2.0, static_cast<double>(i + 3) * static_cast<double>(twelfth)));
    // Two semitones either way: c = 2^(1/6) held as a float, raised to -1 .. +63/64.
    const float sixth = 1.0f / 6.0f;
    const float c = static_cast<float>(std::pow(2.0, static_cast<double>(sixth)));
    for (int i = 0; i < 128; ++i) bends[i] = static_cast<float>(std::pow(static_cast<double>(c), i * 0.015625 - 1.0));
}

} // namespace

bool acquireSharedTables() {
    std::lock_guard<std::mutex> guard(tableMutex());
    if (tableUsers == 0) {
        float* block = testhooks::failTableAllocation.load() ? nullptr : new (std::nothrow) float[kTableFloats];
        if (!block) return false;
        fillTables(block);
        tableBlock = block;
        sineTable = block;
        noteFrequency = block + kSineFloats;
        bendFactor = block + kSineFloats + 128;
    }
    ++tableUsers;
    return true;
}

void releaseSharedTables() {
    std::lock_guard<std::mutex> guard(tableMutex());
    if (tableUsers <= 0) return; // unbalanced release: nothing to give back
    if (--tableUsers == 0) {
        sineTable = nullptr;
        noteFrequency = nullptr;
        bendFactor = nullptr;
        delete[] tableBlock;
        tableBlock = nullptr;
    }
}

int sharedTableUsers() {
    std::lock_guard<std::mutex> guard(tableMutex());
    return tableUsers;
}

bool sharedTablesBuilt() {
    std::lock_guard<std::mutex> guard(tableMutex());
    return tableBlock != nullptr;
}

uint16_t nextNoiseSeed() {
    uint32_t seed = noiseSeed.load(std::memory_order_relaxed);
    uint32_t next;
    do {
        next = (seed * 15625u + 1u) & 0xFFFFu;
    } while (!noiseSeed.compare_exchange_weak(seed, next, std::memory_order_relaxed));
    return static_cast<uint16_t>(next);
}

namespace testhooks {
uint16_t noiseSeedValue() { return static_cast<uint16_t>(noiseSeed.load(std::memory_order_relaxed)); }
void setNoiseSeed(uint16_t seed) { noiseSeed.store(seed, std::memory_order_relaxed); }
} // namespace testhooks

} // namespace vl
