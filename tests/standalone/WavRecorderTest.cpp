// The WAV recorder: header bytes, sizes, the 4 GiB cap, write failures, recordings
// started and stopped while an audio thread writes, and a writer that cannot keep up.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstring>
#include <future>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "engine/Engine.h"
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
        dir = fs::temp_directory_path() /
              ("vl-wav-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
               testing::UnitTest::GetInstance()->current_test_info()->name());
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
        {44100,
         {'R', 'I', 'F',  'F',  36, 0, 0,    0,    'W',  'A', 'V', 'E', 'f', 'm', 't', ' ', 16,  0,   0, 0, 1, 0,
          2,   0,   0x44, 0xAC, 0,  0, 0x10, 0xB1, 0x02, 0,   4,   0,   16,  0,   'd', 'a', 't', 'a', 0, 0, 0, 0}},
        {48000,
         {'R', 'I', 'F',  'F',  36, 0, 0,    0,    'W',  'A', 'V', 'E', 'f', 'm', 't', ' ', 16,  0,   0, 0, 1, 0,
          2,   0,   0x80, 0xBB, 0,  0, 0x00, 0xEE, 0x02, 0,   4,   0,   16,  0,   'd', 'a', 't', 'a', 0, 0, 0, 0}},
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
    const std::vector<unsigned char> h = wavHeader(SampleFormat::Pcm16, 44100, kWavMaxFrames);
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
        // This audio thread does not keep a real-time pace: it can outrun the writer and
        // fill the ring. Blocks are then lost whole, and counted.
        const std::uint64_t lost = done->lostFrames();
        ++finished;
        totalFrames += frames;

        const auto bytes = readFile(path);
        ASSERT_EQ(bytes.size(), 44u + 4u * frames);
        ASSERT_EQ(le32(bytes, 40), 4u * frames);
        ASSERT_EQ(le32(bytes, 4), 36u + 4u * frames);
        ASSERT_EQ(frames % kFrames, 0u) << "a block was cut";
        std::int16_t previous = 0;
        std::uint64_t skipped = 0;
        for (std::uint32_t b = 0; b < frames / kFrames; ++b) {
            const std::size_t at = 44 + std::size_t(b) * kFrames * 4;
            const std::int16_t serial = std::int16_t(bytes[at] | bytes[at + 1] << 8);
            if (b > 0) {
                const std::uint16_t gap = std::uint16_t(serial - previous);
                ASSERT_GE(gap, 1u) << "blocks out of order";
                skipped += gap - 1u;
            }
            previous = serial;
            for (int i = 0; i < kFrames; ++i) {
                const std::size_t f = at + std::size_t(i) * 4;
                ASSERT_EQ(std::int16_t(bytes[f] | bytes[f + 1] << 8), serial);
                ASSERT_EQ(std::int16_t(bytes[f + 2] | bytes[f + 3] << 8), i);
            }
        }
        // Blocks missing between the first and the last written one were counted as lost
        // (more may have been lost before the first or after the last).
        ASSERT_LE(skipped * kFrames, lost);
        ASSERT_EQ(lost % kFrames, 0u);
    }
    stop.store(true);
    audio.join();
    EXPECT_EQ(finished, 200);
    EXPECT_GT(totalFrames, 0u);
    EXPECT_FALSE(slot.recording());
}

// The disk stops: the writer thread blocks in its first write until the test lets it go.
// The audio side goes on taking blocks without waiting (every call returns while the
// writer is still blocked), keeps what fits the ring, counts every frame of the blocks
// that did not fit, and the finished file is a valid WAV of exactly the frames kept, in
// the recording's format: 16-bit from 16-bit blocks, float (the renderer's float layout)
// from float blocks, and 16-bit from float blocks as the 16-bit output would play them.
TEST_F(WavRecorderTest, BlockedWriterLosesWholeBlocksAndCountsThem) {
    struct Row {
        const char* name;
        SampleFormat format;
        bool floatInput;
    };
    const Row rows[] = {{"pcm16", SampleFormat::Pcm16, false},
                        {"float", SampleFormat::Float32, true},
                        {"pcm16-from-float", SampleFormat::Pcm16, true}};
    constexpr int kRing = 1000, kBlock = 96, kBlocks = 40;
    constexpr int kKept = kRing / kBlock; // 10 blocks fit, 960 frames
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        const fs::path path = dir / (std::string(r.name) + ".wav");
        std::promise<void> diskBack;
        std::shared_future<void> disk = diskBack.get_future().share();
        std::atomic<int> writes{0};
        RecorderOptions options;
        options.format = r.format;
        options.ringFrames = kRing;
        options.beforeWrite = [&writes, disk] {
            writes.fetch_add(1);
            disk.wait();
        };
        WavRecorder rec(path.string(), 48000, options);
        ASSERT_TRUE(rec.isOpen());

        // Block b, frame i: left and right values that differ in every block and frame
        // and are not multiples of 1/32768.
        auto leftAt = [](int b, int i) { return std::sin(0.001f * float(b * kBlock + i) + 0.3f) * 0.7f; };
        auto rightAt = [](int b, int i) { return std::cos(0.0013f * float(b * kBlock + i)) * -0.6f; };
        std::vector<std::int16_t> expected16;
        std::vector<float> expectedFloat;
        std::promise<std::vector<int>> takenBack;
        auto takenFuture = takenBack.get_future();
        std::thread audio([&] {
            std::vector<int> taken;
            std::vector<float> left(kBlock), right(kBlock);
            std::vector<std::int16_t> pcm(2 * kBlock);
            for (int b = 0; b < kBlocks; ++b) {
                for (int i = 0; i < kBlock; ++i) {
                    left[std::size_t(i)] = leftAt(b, i);
                    right[std::size_t(i)] = rightAt(b, i);
                    pcm[2 * std::size_t(i)] = std::int16_t(b * 100 + i);
                    pcm[2 * std::size_t(i) + 1] = std::int16_t(-b * 100 - i);
                }
                const int n = r.floatInput ? rec.append(left.data(), right.data(), kBlock)
                                           : rec.append(pcm.data(), kBlock);
                taken.push_back(n);
                if (n > 0 && r.floatInput && r.format == SampleFormat::Pcm16) {
                    std::vector<std::int16_t> q(2 * kBlock);
                    interleavePcm16(left.data(), right.data(), q.data(), kBlock);
                    expected16.insert(expected16.end(), q.begin(), q.end());
                } else if (n > 0 && r.floatInput) {
                    for (int i = 0; i < kBlock; ++i) {
                        expectedFloat.push_back(left[std::size_t(i)]);
                        expectedFloat.push_back(right[std::size_t(i)]);
                    }
                } else if (n > 0) {
                    expected16.insert(expected16.end(), pcm.begin(), pcm.end());
                }
            }
            takenBack.set_value(taken);
        });
        // Every call returned while the disk was still stopped: a bounded wait here, not
        // a timing measurement (a recorder that waited for the disk never gets there).
        const bool done = takenFuture.wait_for(std::chrono::seconds(20)) == std::future_status::ready;
        diskBack.set_value();
        audio.join();
        ASSERT_TRUE(done) << "the audio side waited for the blocked writer";
        const std::vector<int> taken = takenFuture.get();
        for (int b = 0; b < kBlocks; ++b) EXPECT_EQ(taken[std::size_t(b)], b < kKept ? kBlock : 0) << "block " << b;
        EXPECT_EQ(rec.lostFrames(), std::uint64_t(kBlocks - kKept) * kBlock);

        ASSERT_TRUE(rec.finish());
        EXPECT_GE(writes.load(), 1) << "the file was written by the writer thread";
        EXPECT_EQ(rec.lostFrames(), std::uint64_t(kBlocks - kKept) * kBlock);
        EXPECT_EQ(rec.frameCount(), std::uint32_t(kKept * kBlock));
        const auto bytes = readFile(path);
        const std::vector<std::uint8_t> header = wavHeader(r.format, 48000, kKept * kBlock);
        const std::size_t frameBytes = r.format == SampleFormat::Pcm16 ? 4 : 8;
        ASSERT_EQ(bytes.size(), header.size() + frameBytes * kKept * kBlock);
        EXPECT_TRUE(std::equal(header.begin(), header.end(), bytes.begin())) << "header";
        if (r.format == SampleFormat::Pcm16) {
            ASSERT_EQ(expected16.size(), std::size_t(2 * kKept * kBlock));
            EXPECT_EQ(std::memcmp(bytes.data() + header.size(), expected16.data(), expected16.size() * 2), 0);
        } else {
            ASSERT_EQ(expectedFloat.size(), std::size_t(2 * kKept * kBlock));
            EXPECT_EQ(std::memcmp(bytes.data() + header.size(), expectedFloat.data(), expectedFloat.size() * 4), 0);
        }
    }
}

// Once the writer has caught up, blocks are taken again: the loss is a gap, not the end.
TEST_F(WavRecorderTest, RecordingGoesOnAfterTheWriterCaughtUp) {
    const fs::path path = dir / "gap.wav";
    std::promise<void> diskBack;
    std::shared_future<void> disk = diskBack.get_future().share();
    RecorderOptions options;
    options.ringFrames = 256;
    options.beforeWrite = [disk] { disk.wait(); };
    WavRecorder rec(path.string(), 44100, options);
    std::vector<std::int16_t> block(2 * 128, 5);
    EXPECT_EQ(rec.append(block.data(), 128), 128);
    EXPECT_EQ(rec.append(block.data(), 128), 128);
    EXPECT_EQ(rec.append(block.data(), 128), 0);
    diskBack.set_value();
    // Bounded wait for the writer to empty the ring.
    int taken = 0;
    for (int attempt = 0; attempt < 2000 && taken == 0; ++attempt) {
        taken = rec.append(block.data(), 128);
        if (taken == 0) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ASSERT_EQ(taken, 128) << "the ring was never emptied";
    const std::uint64_t lost = rec.lostFrames();
    EXPECT_EQ(lost % 128, 0u);
    EXPECT_GE(lost, 128u);
    ASSERT_TRUE(rec.finish());
    EXPECT_EQ(readFile(path).size(), 44u + 3u * 128u * 4u);
}

} // namespace
} // namespace vl
