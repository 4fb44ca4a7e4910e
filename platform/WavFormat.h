#pragma once
// The WAV files the programs write (the renderer's output, the standalone program's
// recordings): 16-bit stereo PCM with the classic 44-byte header, or 32-bit float stereo
// (format tag 3) with an 18-byte fmt chunk (cbSize 0) and a fact chunk holding the frame
// count, which makes a 58-byte header. All fields little-endian.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace vl {

enum class SampleFormat { Pcm16, Float32 };

constexpr std::size_t kPcm16HeaderSize = 44;
constexpr std::size_t kFloat32HeaderSize = 58;

std::size_t wavHeaderSize(SampleFormat format);
std::size_t bytesPerFrame(SampleFormat format); // stereo: 4 or 8

// Largest frame count whose RIFF size still fits the 32-bit size field.
uint64_t maxWavFrames(SampleFormat format);

// The complete header for a stereo file of the given frame count (which must not
// exceed maxWavFrames), written to out (room for kFloat32HeaderSize bytes); answers its
// size.
std::size_t writeWavHeader(uint8_t* out, SampleFormat format, uint32_t sampleRate, uint32_t frames);
std::vector<uint8_t> wavHeader(SampleFormat format, uint32_t sampleRate, uint32_t frames);

// Little-endian sample encoding into out (4 bytes per 16-bit frame, 8 per float frame).
void encodePcm16(const int16_t* interleaved, std::size_t frames, uint8_t* out);
void encodeFloat32(const float* left, const float* right, std::size_t frames, uint8_t* out);

} // namespace vl
