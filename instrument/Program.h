#pragma once
// Program records, the factory presets and the chunk records handed to the host.
// All records are plain data in native little-endian layout; the chunk formats and the
// patch and bank files embed them byte for byte.
#include <array>
#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "instrument/Parameters.h"

namespace vl {

inline constexpr int kNumPrograms = 8;
inline constexpr int kProgramNameSize = 28; // 27 characters and a NUL
inline constexpr int kHostProgramNameMax = 23; // names given to the host: 23 characters and a NUL

struct Program {
    char name[kProgramNameSize];
    float values[kNumParameters];
};
static_assert(sizeof(Program) == 80);
static_assert(offsetof(Program, values) == 28);
static_assert(std::is_standard_layout_v<Program> && std::is_trivially_copyable_v<Program>);

// "VLMR" packed with the first character in the most significant byte; stored
// little-endian it reads R, M, L, V.
inline constexpr std::int32_t kChunkId = ('V' << 24) | ('L' << 16) | ('M' << 8) | 'R';
inline constexpr std::uint32_t kChunkVersion = 1;

struct ProgramChunk {
    std::int32_t id;
    std::uint32_t version;
    Program program;
};
static_assert(sizeof(ProgramChunk) == 88);
static_assert(offsetof(ProgramChunk, program) == 8);

struct BankChunk {
    std::int32_t id;
    std::uint32_t version;
    Program programs[kNumPrograms];
    std::int32_t current;
};
static_assert(sizeof(BankChunk) == 652);
static_assert(offsetof(BankChunk, programs) == 8);
static_assert(offsetof(BankChunk, current) == 648);
static_assert(std::is_trivially_copyable_v<ProgramChunk> && std::is_trivially_copyable_v<BankChunk>);

// A freshly initialised program: 24 capital W and every parameter's default value.
Program freshProgram();

// The eight factory programs in bank order.
extern const std::array<Program, kNumPrograms> factoryPrograms;

// Copies a name of at most 27 characters into a 28-byte field; the source is read no
// further than 27 bytes or its NUL, the rest of the field is zeroed.
void copyProgramName(char (&field)[kProgramNameSize], const char* source);

// Makes a program read from outside (a chunk or file) safe to use: the name is
// terminated within its 28 bytes and every value is kept inside 0..1 (NaN becomes 0).
void sanitizeProgram(Program& program);

} // namespace vl
