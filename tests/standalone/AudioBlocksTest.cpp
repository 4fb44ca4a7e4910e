// Block and ring sizes of the audio output.
#include <gtest/gtest.h>

#include "standalone/AudioBlocks.h"

namespace vl {
namespace {

TEST(AudioBlocks, BlockBytesAreWholeFrames) {
    struct Row {
        std::uint32_t rate, latency, bytes;
    };
    // clang-format off
    const Row rows[] = {
        {44100, 50, 8820},  // 2205 frames, exact
        {44100, 25, 4408},  // 4410 bytes would be 1102.5 frames
        {44100, 5, 880},    // 882 bytes would be 220.5 frames
        {44100, 10, 1764},  // 441 frames, exact
        {44100, 0, 0},      // no block, no stream
        {48000, 25, 4800},
        {48000, 1, 192},
        {96000, 50, 19200},
        {88200, 7, 2468},   // 2469.6 bytes
    };
    // clang-format on
    for (const Row& r : rows) {
        SCOPED_TRACE(testing::Message() << r.rate << " Hz, " << r.latency << " ms");
        const std::uint32_t bytes = blockBytesFor(r.rate, r.latency);
        EXPECT_EQ(bytes, r.bytes);
        EXPECT_EQ(bytes % 4, 0u);
        EXPECT_EQ(normalRingBytes(bytes), 5 * r.bytes);
    }
    EXPECT_EQ(framesInBytes(8820), 2205);
}

TEST(AudioBlocks, PrimaryModeBlockIsAtMostHalfTheRing) {
    struct Row {
        std::uint32_t block, ring, expected;
    };
    // clang-format off
    const Row rows[] = {
        {8820, 65536, 8820},  // fits
        {8820, 16384, 8192},  // half of the ring
        {8820, 17640, 8820},  // exactly half
        {8820, 17642, 8820},
        {8820, 4098, 2048},   // half is 2049 bytes: rounded down to whole frames
        {8820, 6, 0},
        {8820, 0, 0},         // capabilities unknown
    };
    // clang-format on
    for (const Row& r : rows) {
        SCOPED_TRACE(testing::Message() << r.block << " in " << r.ring);
        EXPECT_EQ(primaryBlockBytes(r.block, r.ring), r.expected);
    }
}

} // namespace
} // namespace vl
