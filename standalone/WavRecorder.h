#pragma once
// Records what the program plays into a stereo WAV file: 16-bit PCM (the 44-byte header)
// or 32-bit float (the renderer's float layout).
//
// The audio thread never waits for the disk. The recorder writes a provisional header
// when it is created and starts a writer thread; the audio thread copies every rendered
// block into a ring of at least ten seconds and goes on, and the writer thread takes the
// blocks from there to the file. When the disk is too slow and the ring is full, blocks
// that do not fit are dropped whole and their frames counted (lostFrames); the file stays
// a valid WAV of the frames that were written. finish() lets the writer empty the ring, then goes
// back to the start and writes the real sizes. The header's size fields are 32 bits wide,
// so a recording ends at 4 GiB: blocks beyond that are no longer taken.
//
// RecorderSlot is the one place the audio thread and the user-interface thread share a
// recorder, without a lock: the audio thread marks itself busy while it appends, and the
// user-interface thread, after exchanging the recorder, waits until that mark is gone
// before it finishes the old one. The audio thread never waits for anything.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "platform/WavFormat.h"

namespace vl {

// Largest frame count a 16-bit header can describe: 36 + 4 x frames must fit 32 bits.
inline constexpr std::uint32_t kWavMaxFrames = (0xFFFFFFFFu - 36u) / 4u;
// The ring holds this many seconds of audio.
inline constexpr std::uint32_t kRecorderRingSeconds = 10;

struct RecorderOptions {
    SampleFormat format = SampleFormat::Pcm16;
    // Caps the recording (further limited by what the header can describe).
    std::uint64_t maxFrames = ~std::uint64_t(0);
    // Frames the ring holds; 0: kRecorderRingSeconds at the sample rate.
    std::uint32_t ringFrames = 0;
    // Called on the writer thread before every write to the file (tests slow or stop the
    // writer with it).
    std::function<void()> beforeWrite;
};

class WavRecorder {
public:
    // Opens path for binary writing (created or truncated), writes the provisional header
    // and starts the writer thread. maxFrames caps the recording (smaller in tests).
    WavRecorder(const std::string& path, std::uint32_t sampleRate, std::uint32_t maxFrames = kWavMaxFrames);
    WavRecorder(const std::string& path, std::uint32_t sampleRate, RecorderOptions options);
    // Stops the writer and closes the file without finishing it when finish() was not called.
    ~WavRecorder();
    WavRecorder(const WavRecorder&) = delete;
    WavRecorder& operator=(const WavRecorder&) = delete;

    bool isOpen() const { return file != nullptr; }
    // False when the provisional header did not reach the file (nothing is recorded then).
    bool headerWritten() const { return headerOk; }
    SampleFormat format() const { return sampleFormat; }

    // ---- Audio thread (one at a time) ----

    // Takes interleaved 16-bit stereo frames (a float recording holds them as value / 32768).
    // Answers the frames taken: fewer at the size limit, none when the ring has no room
    // for the block (its frames are counted as lost) or after a write error.
    std::int32_t append(const std::int16_t* samples, std::int32_t frames);
    // Takes float frames (a 16-bit recording holds what the 16-bit output would play).
    std::int32_t append(const float* left, const float* right, std::int32_t frames);

    // ---- Any thread ----

    // Frames taken so far (on the file or on their way); after finish(), the frames the
    // file holds.
    std::uint32_t frameCount() const { return static_cast<std::uint32_t>(taken.load(std::memory_order_acquire)); }
    // Frames dropped because the ring was full.
    std::uint64_t lostFrames() const { return lost.load(std::memory_order_acquire); }
    std::uint32_t sampleRate() const { return rate; }
    bool full() const { return frameCount() >= maxFrames; }

    // Lets the writer empty the ring, writes the final header and closes the file. False
    // when a write, the seek, the flush or the close failed (the file is closed in every case).
    bool finish();

private:
    std::int32_t room(std::int32_t frames);
    void commit(std::uint64_t at, std::int32_t count);
    void writerLoop();
    unsigned char* slot(std::uint64_t frame) { return ring.get() + (frame % ringFrames) * frameBytes; }
    void stopWriter();

    std::FILE* file = nullptr;
    std::uint32_t rate;
    SampleFormat sampleFormat;
    std::uint32_t frameBytes;
    std::uint64_t maxFrames;
    std::uint64_t ringFrames = 0;
    std::unique_ptr<unsigned char[]> ring;
    std::function<void()> beforeWrite;
    bool headerOk = false;

    // Frame positions in the ring: the audio thread advances writePos, the writer readPos.
    std::atomic<std::uint64_t> writePos{0};
    std::atomic<std::uint64_t> readPos{0};
    std::atomic<std::uint64_t> taken{0};
    std::atomic<std::uint64_t> lost{0};
    std::atomic<bool> writeFailed{false};
    std::atomic<bool> stopping{false};
    std::uint64_t written = 0; // writer thread; read after it ended
    // The writer's pause between looks at the ring, ended early by finish().
    std::mutex pauseLock;
    std::condition_variable pauseEnd;
    std::thread writer;
};

class RecorderSlot {
public:
    RecorderSlot() = default;
    ~RecorderSlot();
    RecorderSlot(const RecorderSlot&) = delete;
    RecorderSlot& operator=(const RecorderSlot&) = delete;

    // Audio thread: appends a block when a recorder with an open file is installed.
    void append(const std::int16_t* samples, std::int32_t frames);
    void append(const float* left, const float* right, std::int32_t frames);

    // User-interface thread: puts next in place and hands back the previous recorder
    // (null when there was none), once the audio thread no longer uses it.
    std::unique_ptr<WavRecorder> exchange(std::unique_ptr<WavRecorder> next);

    bool recording() const { return current.load(std::memory_order_acquire) != nullptr; }
    // Frames taken by the installed recorder (0 without one). User-interface thread.
    std::uint32_t frameCount() const;

private:
    template <typename Append>
    void use(Append append);

    std::atomic<WavRecorder*> current{nullptr};
    std::atomic<bool> appending{false};
};

} // namespace vl
