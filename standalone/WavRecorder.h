#pragma once
// Records what the program plays into a 16-bit stereo WAV file with the 44-byte header.
//
// The recorder writes a provisional header when it is created; the audio thread appends
// every rendered block; finish() goes back to the start and writes the real sizes. The
// header's size fields are 32 bits wide, so a recording ends at 4 GiB: blocks beyond
// that are no longer appended, and the file stays valid.
//
// RecorderSlot is the one place the audio thread and the user-interface thread share a
// recorder. Its small lock guards the pointer, the append and the frame count; the
// user-interface thread takes it only to install or detach a recorder and finishes a
// detached recorder outside it, so finishing never holds up the audio thread.
#include <cstdint>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>

namespace vl {

inline constexpr std::size_t kWavHeaderSize = 44;
// Largest frame count the header can describe: 36 + 4 x frames must fit 32 bits.
inline constexpr std::uint32_t kWavMaxFrames = (0xFFFFFFFFu - 36u) / 4u;

// The 44 header bytes for dataBytes of 16-bit stereo samples at sampleRate.
void buildWavHeader(unsigned char out[kWavHeaderSize], std::uint32_t sampleRate, std::uint32_t dataBytes);

class WavRecorder {
public:
    // Opens path for binary writing (created or truncated) and writes the provisional
    // header. maxFrames caps the recording (kWavMaxFrames; smaller in tests).
    WavRecorder(const std::string& path, std::uint32_t sampleRate, std::uint32_t maxFrames = kWavMaxFrames);
    // Closes the file without finishing it when finish() was not called.
    ~WavRecorder();
    WavRecorder(const WavRecorder&) = delete;
    WavRecorder& operator=(const WavRecorder&) = delete;

    bool isOpen() const { return file != nullptr; }
    // False when the provisional header did not reach the file (recording goes on).
    bool headerWritten() const { return headerOk; }

    // Appends interleaved stereo frames; answers the frames written (fewer at the size
    // limit or after a write error). Only written frames are counted.
    std::int32_t append(const std::int16_t* samples, std::int32_t frames);

    std::uint32_t frameCount() const { return frames; }
    std::uint32_t sampleRate() const { return rate; }
    bool full() const { return frames >= maxFrames; }

    // Writes the final header and closes the file. False when seeking, writing,
    // flushing or closing failed (the file is closed in every case).
    bool finish();

private:
    std::FILE* file = nullptr;
    std::uint32_t rate;
    std::uint32_t maxFrames;
    std::uint32_t frames = 0;
    bool headerOk = false;
    bool writeFailed = false;
};

class RecorderSlot {
public:
    // Audio thread: appends a block when a recorder with an open file is installed.
    void append(const std::int16_t* samples, std::int32_t frames);

    // User-interface thread: puts next in place and hands back the previous recorder
    // (null when there was none). The lock is held only for the exchange.
    std::unique_ptr<WavRecorder> exchange(std::unique_ptr<WavRecorder> next);

    bool recording() const;
    // Frames written by the installed recorder (0 without one).
    std::uint32_t frameCount() const;

private:
    mutable std::mutex lock;
    std::unique_ptr<WavRecorder> recorder;
};

} // namespace vl
