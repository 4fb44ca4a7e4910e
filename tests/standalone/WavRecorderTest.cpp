// The WAV recorder: header bytes, sizes, the 4 GiB cap, write failures, and recordings
// started and stopped while an audio thread writes.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "standalone/WavRecorder.h"
#include "tests/support/Bytes.h"

namespace vl {
namespace {

namespace fs = std::filesystem;

std::vector<unsigned char> readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<unsigned char>(std::istreambuf_iterator<char>(in), {});
}

using vltest::le32;

class WavRecorderTest : public testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() / ("vl-wav-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
                                           "-" + testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }
    fs::path dir;
};

TEST_F(WavRecorderTest, HeaderBytesAt44100And48000) {
    struct Row {
        std::uint32_t rate;
        std::vector<unsigned char> bytes;
    };
    const Row rows[] = {
        {44100, {'R', 'I', 'F', 'F', 36, 0, 0, 0, 'W', 'A', 'V', 'E', 'f', 'm', 't', ' ', 16, 0, 0, 0, 1, 0, 2, 0,
                 0x44, 0xAC, 0, 0, 0x10, 0xB1, 0x02, 0, 4, 0, 16, 0, 'd', 'a', 't', 'a', 0, 0, 0, 0}},
        {48000, {'R', 'I', 'F', 'F', 36, 0, 0, 0, 'W', 'A', 'V', 'E', 'f', 'm', 't', ' ', 16, 0, 0, 0, 1, 0, 2, 0,
                 0x80, 0xBB, 0, 0, 0x00, 0xEE, 0x02, 0, 4, 0, 16, 0, 'd', 'a', 't', 'a', 0, 0, 0, 0}},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.rate);
        const fs::path path = dir / "h.wav";
        {
            WavRecorder rec(path.string(), r.rate);
            ASSERT_TRUE(rec.isOpen());
            EXPECT_TRUE(rec.headerWritten());
            EXPECT_EQ(readFile(path), r.bytes); // the provisional header is on disk at once
            EXPECT_TRUE(rec.finish());
        }
        EXPECT_EQ(readFile(path), r.bytes); // nothing recorded: the same header
    }
}

TEST_F(WavRecorderTest, SizesAfterOneBlockAndMany) {
    struct Row {
        int blocks, frames;
    };
    const Row rows[] = {{1, 2205}, {37, 2205}, {100, 256}, {3, 1}};
    for (const Row& r : rows) {
        SCOPED_TRACE(testing::Message() << r.blocks << " x " << r.frames);
        const fs::path path = dir / "s.wav";
        std::vector<std::int16_t> block(std::size_t(r.frames) * 2);
        WavRecorder rec(path.string(), 48000);
        for (int b = 0; b < r.blocks; ++b) {
            for (std::size_t i = 0; i < block.size(); ++i) block[i] = std::int16_t(b * 7 + int(i));
            EXPECT_EQ(rec.append(block.data(), r.frames), r.frames);
        }
        EXPECT_EQ(rec.frameCount(), std::uint32_t(r.blocks * r.frames));
        ASSERT_TRUE(rec.finish());
        const auto bytes = readFile(path);
        const std::uint32_t data = std::uint32_t(r.blocks * r.frames * 4);
        ASSERT_EQ(bytes.size(), 44 + data);
        EXPECT_EQ(le32(bytes, 4), 36 + data);
        EXPECT_EQ(le32(bytes, 24), 48000u);
        EXPECT_EQ(le32(bytes, 40), data);
        // The last block's first sample, little-endian.
        const std::size_t last = 44 + std::size_t(r.blocks - 1) * std::size_t(r.frames) * 4;
        EXPECT_EQ(std::int16_t(bytes[last] | bytes[last + 1] << 8), std::int16_t((r.blocks - 1) * 7));
    }
}

TEST_F(WavRecorderTest, AppendingStopsAtTheHeaderLimit) {
    // The real limit: the largest frame count whose RIFF size still fits 32 bits.
    EXPECT_LE(36ull + 4ull * kWavMaxFrames, 0xFFFFFFFFull);
    EXPECT_GT(36ull + 4ull * (kWavMaxFrames + 1ull), 0xFFFFFFFFull);
    unsigned char header[kWavHeaderSize];
    buildWavHeader(header, 44100, kWavMaxFrames * 4u);
    const std::vector<unsigned char> h(header, header + kWavHeaderSize);
    EXPECT_EQ(le32(h, 4), 0xFFFFFFFFu - 3u); // 36 + 4294967256
    EXPECT_EQ(le32(h, 40), kWavMaxFrames * 4u);

    // The same rule with a small cap, so that no 4 GiB file is written.
    const fs::path path = dir / "cap.wav";
    std::vector<std::int16_t> block(600 * 2, 1000);
    WavRecorder rec(path.string(), 44100, 1000);
    EXPECT_EQ(rec.append(block.data(), 600), 600);
    EXPECT_FALSE(rec.full());
    EXPECT_EQ(rec.append(block.data(), 600), 400);
    EXPECT_TRUE(rec.full());
    EXPECT_EQ(rec.append(block.data(), 600), 0);
    EXPECT_EQ(rec.frameCount(), 1000u);
    ASSERT_TRUE(rec.finish());
    const auto bytes = readFile(path);
    ASSERT_EQ(bytes.size(), 44u + 4000u);
    EXPECT_EQ(le32(bytes, 40), 4000u);
    EXPECT_EQ(le32(bytes, 4), 4036u);
}

TEST_F(WavRecorderTest, FailuresAreReported) {
    // A folder cannot be opened as a file.
    WavRecorder folder(dir.string(), 44100);
    EXPECT_FALSE(folder.isOpen());
    EXPECT_FALSE(folder.finish());
    EXPECT_EQ(folder.append(nullptr, 10), 0);

    // A full disk: the provisional header, the blocks and the final header all fail, and
    // frames that did not reach the file are not counted.
    if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
    WavRecorder full("/dev/full", 44100);
    ASSERT_TRUE(full.isOpen());
    EXPECT_FALSE(full.headerWritten());
    std::vector<std::int16_t> block(512, 3);
    EXPECT_EQ(full.append(block.data(), 256), 0);
    EXPECT_EQ(full.frameCount(), 0u);
    EXPECT_FALSE(full.finish());
}

// The audio thread writes numbered blocks through the slot while the user-interface thread
// starts and stops 200 recordings. Every file must be complete and consistent: a header
// that matches its length, and whole blocks in the order they were rendered.
TEST_F(WavRecorderTest, StartAndStopWhileTheAudioThreadWrites) {
    constexpr int kFrames = 64;
    RecorderSlot slot;
    std::atomic<bool> stop{false};
    std::atomic<long> blocksRendered{0};
    std::thread audio([&] {
        std::vector<std::int16_t> block(kFrames * 2);
        std::int16_t serial = 0;
        while (!stop.load()) {
            ++serial;
            for (int i = 0; i < kFrames; ++i) {
                block[std::size_t(2 * i)] = serial;
                block[std::size_t(2 * i + 1)] = std::int16_t(i);
            }
            slot.append(block.data(), kFrames);
            blocksRendered.fetch_add(1);
            if (serial % 8 == 0) std::this_thread::yield();
        }
    });
    int finished = 0;
    std::uint64_t totalFrames = 0;
    for (int run = 0; run < 200; ++run) {
        const fs::path path = dir / (std::to_string(run % 4) + ".wav");
        auto rec = std::make_unique<WavRecorder>(path.string(), 44100);
        ASSERT_TRUE(rec->isOpen());
        EXPECT_EQ(slot.exchange(std::move(rec)), nullptr);
        EXPECT_TRUE(slot.recording());
        const long until = blocksRendered.load() + 1 + run % 5;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (blocksRendered.load() < until && std::chrono::steady_clock::now() < deadline) std::this_thread::yield();
        std::unique_ptr<WavRecorder> done = slot.exchange(nullptr);
        ASSERT_NE(done, nullptr);
        const std::uint32_t frames = done->frameCount();
        ASSERT_TRUE(done->finish());
        ++finished;
        totalFrames += frames;

        const auto bytes = readFile(path);
        ASSERT_EQ(bytes.size(), 44u + 4u * frames);
        ASSERT_EQ(le32(bytes, 40), 4u * frames);
        ASSERT_EQ(le32(bytes, 4), 36u + 4u * frames);
        ASSERT_EQ(frames % kFrames, 0u) << "a block was cut";
        std::int16_t previous = 0;
        for (std::uint32_t b = 0; b < frames / kFrames; ++b) {
            const std::size_t at = 44 + std::size_t(b) * kFrames * 4;
            const std::int16_t serial = std::int16_t(bytes[at] | bytes[at + 1] << 8);
            if (b > 0) {
                ASSERT_EQ(std::int16_t(previous + 1), serial) << "blocks out of order";
            }
            previous = serial;
            for (int i = 0; i < kFrames; ++i) {
                const std::size_t f = at + std::size_t(i) * 4;
                ASSERT_EQ(std::int16_t(bytes[f] | bytes[f + 1] << 8), serial);
                ASSERT_EQ(std::int16_t(bytes[f + 2] | bytes[f + 3] << 8), i);
            }
        }
    }
    stop.store(true);
    audio.join();
    EXPECT_EQ(finished, 200);
    EXPECT_GT(totalFrames, 0u);
    EXPECT_FALSE(slot.recording());
}

} // namespace
} // namespace vl
