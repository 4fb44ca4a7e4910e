#include <gtest/gtest.h>

#include <cstring>

#include "platform/WavFormat.h"

namespace vl::render {
namespace {

TEST(WavFormat, Pcm16HeaderBytes) {
    const std::vector<uint8_t> h = wavHeader(SampleFormat::Pcm16, 44100, 10);
    // clang-format off
    const std::vector<uint8_t> expected = {
        'R', 'I', 'F', 'F', 76, 0, 0, 0,          // 36 + 40 data bytes
        'W', 'A', 'V', 'E', 'f', 'm', 't', ' ',
        16, 0, 0, 0, 1, 0, 2, 0,                  // PCM, stereo
        0x44, 0xAC, 0, 0,                         // 44100
        0x10, 0xB1, 0x02, 0,                      // 176400 bytes per second
        4, 0, 16, 0,                              // block align 4, 16 bits
        'd', 'a', 't', 'a', 40, 0, 0, 0};
    // clang-format on
    EXPECT_EQ(h, expected);
    EXPECT_EQ(h.size(), kPcm16HeaderSize);
}

TEST(WavFormat, Float32HeaderHasFormat3AndFactChunk) {
    const std::vector<uint8_t> h = wavHeader(SampleFormat::Float32, 48000, 0x01020304);
    const uint32_t data = 0x01020304u * 8u; // 0x08101820
    // clang-format off
    const std::vector<uint8_t> expected = {
        'R', 'I', 'F', 'F', 0x52, 0x18, 0x10, 0x08,   // 50 + data bytes
        'W', 'A', 'V', 'E', 'f', 'm', 't', ' ',
        18, 0, 0, 0, 3, 0, 2, 0,                  // IEEE float, stereo
        0x80, 0xBB, 0, 0,                         // 48000
        0x00, 0xDC, 0x05, 0,                      // 384000 bytes per second
        8, 0, 32, 0,                              // block align 8, 32 bits
        0, 0,                                     // cbSize
        'f', 'a', 'c', 't', 4, 0, 0, 0, 0x04, 0x03, 0x02, 0x01,
        'd', 'a', 't', 'a', 0x20, 0x18, 0x10, 0x08};
    // clang-format on
    EXPECT_EQ(data, 0x08101820u);
    EXPECT_EQ(h, expected);
    EXPECT_EQ(h.size(), kFloat32HeaderSize);
}

TEST(WavFormat, SizeLimits) {
    // RIFF size = header - 8 + frames x block align must fit 32 bits.
    EXPECT_EQ(maxWavFrames(SampleFormat::Pcm16), (0xFFFFFFFFull - 36) / 4);
    EXPECT_EQ(maxWavFrames(SampleFormat::Float32), (0xFFFFFFFFull - 50) / 8);
    const auto h = wavHeader(SampleFormat::Pcm16, 8000, uint32_t(maxWavFrames(SampleFormat::Pcm16)));
    const uint32_t riff = h[4] | (h[5] << 8) | (h[6] << 16) | (uint32_t(h[7]) << 24);
    EXPECT_EQ(riff, 36u + 4u * uint32_t(maxWavFrames(SampleFormat::Pcm16)));
}

TEST(WavFormat, SampleEncodingIsLittleEndian) {
    const int16_t pcm[4] = {1, -1, 32767, -32767};
    uint8_t out16[8];
    encodePcm16(pcm, 2, out16);
    const uint8_t expected16[8] = {0x01, 0x00, 0xFF, 0xFF, 0xFF, 0x7F, 0x01, 0x80};
    EXPECT_EQ(0, std::memcmp(out16, expected16, 8));

    const float left[2] = {1.0f, -0.5f};
    const float right[2] = {0.0f, 1e-24f};
    uint8_t outF[16];
    encodeFloat32(left, right, 2, outF);
    const uint8_t expectedF[16] = {0x00, 0x00, 0x80, 0x3F, 0x00, 0x00, 0x00, 0x00, // 1.0, 0.0
                                   0x00, 0x00, 0x00, 0xBF, 0x15, 0xBE, 0x9A, 0x17}; // -0.5, 1e-24
    EXPECT_EQ(0, std::memcmp(outF, expectedF, 16));
}

} // namespace
} // namespace vl::render
