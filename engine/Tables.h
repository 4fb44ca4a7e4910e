#pragma once
// Process-wide lookup tables read by every voice, and the note random generator.
// The tables are built by acquireSharedTables() (Engine.h) when the first instance
// appears and freed when the last one goes away.
#include <cstdint>

namespace vl {

constexpr int kSineTableSize = 8192;
constexpr int kSineTableMask = kSineTableSize - 1;

// Null while no instance holds the tables.
extern const float* sineTable; // 8192 entries, sin(2 pi i / 8192), plus [8192] = [0]
extern const float* noteFrequency; // 128 entries, twice the pitch of each key in Hz
extern const float* bendFactor; // 128 entries, pitch multiplier for each pitch-bend MSB

// Advances the process-wide 16-bit generator (seed * 15625 + 1 mod 65536) and returns
// the new value. Safe to call from any thread.
uint16_t nextNoiseSeed();

} // namespace vl
