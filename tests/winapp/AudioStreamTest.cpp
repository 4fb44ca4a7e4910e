// The DirectSound stream on a real device under wine (ALSA's null device behind it):
// block and ring sizes for every rate and latency, the block callback's pace, stopping.
#include <gtest/gtest.h>

#include <windows.h>
#include <mmsystem.h>
#include <dsound.h>

#include <atomic>
#include <cstring>
#include <vector>

#include "standalone/AudioBlocks.h"
#include "standalone/StandaloneApp.h"
#include "standalone/win32/AudioOutputStream.h"

namespace {

std::atomic<int> blocks{0};
std::atomic<int> lastFrames{0};
std::atomic<int> wrongFrames{0};
std::atomic<int> expectedFrames{0};

void countingCallback(std::int16_t* samples, std::int32_t frames) {
    if (frames != expectedFrames.load()) wrongFrames.fetch_add(1);
    lastFrames.store(frames);
    std::memset(samples, 0, static_cast<std::size_t>(frames) * 4);
    blocks.fetch_add(1);
}

// Frames per second that the device plays, from the play cursor of a looping buffer of
// its own, over durationMs of wall time. Under wine on ALSA's null device this is not
// real time (the null device takes data as fast as it comes), so the stream's pace is
// compared with the device's own clock.
double measureDeviceRate(int rate, DWORD durationMs) {
    IDirectSound* device = nullptr;
    if (FAILED(DirectSoundCreate(nullptr, &device, nullptr))) return 0;
    device->SetCooperativeLevel(GetDesktopWindow(), DSSCL_PRIORITY);
    WAVEFORMATEX format{};
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = 2;
    format.nSamplesPerSec = rate;
    format.nAvgBytesPerSec = rate * 4;
    format.nBlockAlign = 4;
    format.wBitsPerSample = 16;
    DSBUFFERDESC description{};
    description.dwSize = sizeof description;
    description.dwFlags = DSBCAPS_GETCURRENTPOSITION2 | DSBCAPS_GLOBALFOCUS;
    description.dwBufferBytes = rate * 4; // one second
    description.lpwfxFormat = &format;
    IDirectSoundBuffer* buffer = nullptr;
    double framesPerSecond = 0;
    if (SUCCEEDED(device->CreateSoundBuffer(&description, &buffer, nullptr))) {
        buffer->Play(0, 0, DSBPLAY_LOOPING);
        DWORD previous = 0, write = 0;
        buffer->GetCurrentPosition(&previous, &write);
        std::uint64_t advanced = 0;
        const DWORD begin = GetTickCount();
        while (GetTickCount() - begin < durationMs) {
            Sleep(1);
            DWORD position = 0;
            buffer->GetCurrentPosition(&position, &write);
            advanced += (position + description.dwBufferBytes - previous) % description.dwBufferBytes;
            previous = position;
        }
        framesPerSecond = advanced / 4.0 / ((GetTickCount() - begin) / 1000.0);
        buffer->Stop();
        buffer->Release();
    }
    device->Release();
    return framesPerSecond;
}

TEST(AudioStream, WineListsThePrimarySoundDriverFirst) {
    const std::vector<std::string> devices = vl::listAudioDevices();
    ASSERT_FALSE(devices.empty());
    EXPECT_EQ(devices[0], "Primary Sound Driver");
}

struct StreamCase {
    int rate;
    int latencyMs;
    std::uint32_t blockBytes;
};

// Rates the setup dialog offers, against latencies that give whole and fractional
// frames: the block is rounded down to whole frames.
const StreamCase kStreamCases[] = {
    {44100, 50, 8820}, {44100, 25, 4408},  {44100, 10, 1764}, {48000, 50, 9600}, {48000, 25, 4800},
    {64000, 30, 7680}, {88200, 50, 17640}, {88200, 15, 5292}, {96000, 20, 7680}, {96000, 50, 19200},
};

TEST(AudioStream, RunsAtTheBlockRateForEveryRateAndLatency) {
    HWND window = GetDesktopWindow();
    for (const StreamCase& c : kStreamCases) {
        SCOPED_TRACE(testing::Message() << c.rate << " Hz, " << c.latencyMs << " ms");
        EXPECT_EQ(vl::blockBytesFor(c.rate, c.latencyMs), c.blockBytes);
        vl::AudioOutputStream stream(window, 0, c.latencyMs, false, c.rate);
        ASSERT_TRUE(stream.hasThread());
        EXPECT_EQ(stream.getBlockBytes(), c.blockBytes);
        EXPECT_EQ(stream.getRingBytes(), 5 * c.blockBytes);
        EXPECT_EQ(stream.blockFrames(), static_cast<int>(c.blockBytes / 4));
        EXPECT_EQ(stream.sampleRate(), c.rate);

        blocks.store(0);
        wrongFrames.store(0);
        expectedFrames.store(stream.blockFrames());
        stream.startStream(countingCallback);
        Sleep(200); // past the first lap, which fills the ring ahead
        const int before = blocks.load();
        const double deviceRate = measureDeviceRate(c.rate, 1500);
        const int counted = blocks.load() - before;
        const DWORD stopBegin = GetTickCount();
        stream.stopStream();
        const DWORD stopTime = GetTickCount() - stopBegin;

        // One block per block the device plays.
        ASSERT_GT(deviceRate, 0.0);
        const double expected = 1.5 * deviceRate / stream.blockFrames();
        EXPECT_GT(counted, expected * 0.8 - 2) << "blocks " << counted << " expected about " << expected;
        EXPECT_LT(counted, expected * 1.2 + 2) << "blocks " << counted << " expected about " << expected;
        RecordProperty("deviceRate" + std::to_string(c.rate) + "_" + std::to_string(c.latencyMs),
                       std::to_string(deviceRate));
        EXPECT_EQ(wrongFrames.load(), 0);
        EXPECT_EQ(stream.getExitCode(), vl::AudioOutputStream::kExitStopped);
        EXPECT_LT(stopTime, 1000u);
    }
}

TEST(AudioStream, ZeroLatencyHasNoThreadAndAnUnknownDeviceIsTheDefault) {
    HWND window = GetDesktopWindow();
    {
        vl::AudioOutputStream silent(window, 0, 0, false, 44100);
        EXPECT_FALSE(silent.hasThread());
        EXPECT_EQ(silent.getBlockBytes(), 0u);
        EXPECT_FALSE(silent.start());
    }
    vl::AudioOutputStream fallback(window, 99, 50, false, 44100);
    EXPECT_TRUE(fallback.hasThread());
    EXPECT_EQ(fallback.getBlockBytes(), 8820u);
    // Stopped without ever being started: the thread still ends at once.
    const DWORD begin = GetTickCount();
    fallback.stopStream();
    EXPECT_LT(GetTickCount() - begin, 1000u);
    EXPECT_EQ(fallback.getExitCode(), vl::AudioOutputStream::kExitStopped);
}

TEST(AudioStream, PrimaryModeBlockIsAtMostHalfTheRing) {
    vl::AudioOutputStream stream(GetDesktopWindow(), 0, 2000, true, 44100);
    if (!stream.hasThread()) GTEST_SKIP() << "the device gives no primary buffer to write";
    EXPECT_TRUE(stream.isPrimaryMode());
    EXPECT_GT(stream.getRingBytes(), 0u);
    EXPECT_LE(stream.getBlockBytes(), stream.getRingBytes() / 2);
    EXPECT_EQ(stream.getBlockBytes() % 4, 0u);
    blocks.store(0);
    wrongFrames.store(0);
    expectedFrames.store(stream.blockFrames());
    stream.startStream(countingCallback);
    Sleep(1000);
    stream.stopStream();
    EXPECT_GT(blocks.load(), 1);
    EXPECT_EQ(wrongFrames.load(), 0);
}

TEST(AudioStream, RenderBlockIsSilentBeforeTheApplicationIsPublished) {
    ASSERT_EQ(vl::theApp.load(), nullptr);
    std::vector<std::int16_t> samples(2 * 512, 0x1234);
    vl::renderBlock(samples.data(), 512);
    for (std::int16_t s : samples) ASSERT_EQ(s, 0);
}

} // namespace
