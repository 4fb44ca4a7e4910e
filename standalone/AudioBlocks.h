#pragma once
// Block and ring sizes of the audio output. 16-bit stereo: 4 bytes per frame.
//
// The block length follows the latency setting. The raw byte count (4 x rate x latency
// / 1000, in 32-bit arithmetic as the output always computed it) is rounded down to a
// whole number of frames: at 44100 Hz most latencies would otherwise give a fraction of
// a frame (25 ms -> 4410 bytes, 1102.5 frames), and a block of half a frame shifts the
// two channels in the ring. 50 ms gives 8820 bytes, 2205 frames, unchanged.
#include <cstdint>

namespace vl {

inline constexpr std::uint32_t kBytesPerFrame = 4;
// The looping buffer of the normal mode holds this many blocks.
inline constexpr std::uint32_t kRingBlocks = 5;

// Bytes per block for a sample rate and latency (0 when the latency is 0).
std::uint32_t blockBytesFor(std::uint32_t sampleRate, std::uint32_t latencyMs);

// Normal mode: the ring holds kRingBlocks blocks.
std::uint32_t normalRingBytes(std::uint32_t blockBytes);

// Primary-buffer mode: the ring is the device's primary buffer. A block takes at most
// half of it (whole frames), so that one half is played while the other is written.
std::uint32_t primaryBlockBytes(std::uint32_t blockBytes, std::uint32_t ringBytes);

inline std::int32_t framesInBytes(std::uint32_t bytes) { return static_cast<std::int32_t>(bytes / kBytesPerFrame); }

} // namespace vl
