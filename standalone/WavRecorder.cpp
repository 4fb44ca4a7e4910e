#include "standalone/WavRecorder.h"

#include <algorithm>
#include <bit>
#include <chrono>
#include <cstring>

#include "engine/Engine.h"

namespace vl {

// Samples go to the file as they are in memory: every target is little-endian.
static_assert(std::endian::native == std::endian::little);

namespace {
// How long the writer sleeps when the ring is empty: a tenth of the ring's length would
// do; this keeps the file close behind the audio.
constexpr auto kWriterPause = std::chrono::milliseconds(5);
} // namespace

WavRecorder::WavRecorder(const std::string& path, std::uint32_t sampleRate, std::uint32_t maxFrames)
    : WavRecorder(path, sampleRate, RecorderOptions{SampleFormat::Pcm16, maxFrames, 0, {}}) {}

WavRecorder::WavRecorder(const std::string& path, std::uint32_t sampleRate, RecorderOptions options)
    : rate(sampleRate), sampleFormat(options.format), frameBytes(std::uint32_t(bytesPerFrame(options.format))),
      maxFrames(std::min(options.maxFrames, maxWavFrames(options.format))),
      beforeWrite(std::move(options.beforeWrite)) {
    ringFrames = options.ringFrames ? options.ringFrames
                                    : std::uint64_t(std::max<std::uint32_t>(sampleRate, 1)) * kRecorderRingSeconds;
    // Value-initialised: the pages are touched here, not by the audio thread.
    ring.reset(new unsigned char[ringFrames * frameBytes]());
    file = std::fopen(path.c_str(), "wb+");
    if (!file) return;
    std::uint8_t header[kFloat32HeaderSize];
    const std::size_t size = writeWavHeader(header, sampleFormat, rate, 0);
    headerOk = std::fwrite(header, 1, size, file) == size && std::fflush(file) == 0;
    if (!headerOk) writeFailed.store(true);
    writer = std::thread([this] { writerLoop(); });
}

WavRecorder::~WavRecorder() {
    stopWriter();
    if (file) std::fclose(file);
}

void WavRecorder::stopWriter() {
    {
        std::lock_guard<std::mutex> guard(pauseLock);
        stopping.store(true, std::memory_order_release);
    }
    pauseEnd.notify_all();
    if (writer.joinable()) writer.join();
}

std::int32_t WavRecorder::room(std::int32_t frames) {
    if (!file || frames <= 0 || writeFailed.load(std::memory_order_relaxed)) return 0;
    const std::uint64_t done = taken.load(std::memory_order_relaxed);
    const std::uint64_t capped = std::min<std::uint64_t>(std::uint64_t(frames), maxFrames - std::min(done, maxFrames));
    const std::uint64_t used = writePos.load(std::memory_order_relaxed) - readPos.load(std::memory_order_acquire);
    // Frames the cap refuses are the recording's end, not a loss. A block the ring has no
    // room for is lost whole, so that the file holds whole blocks.
    if (capped > ringFrames - used) {
        lost.fetch_add(capped, std::memory_order_release);
        return 0;
    }
    return std::int32_t(capped);
}

void WavRecorder::commit(std::uint64_t at, std::int32_t count) {
    writePos.store(at + std::uint64_t(count), std::memory_order_release);
    taken.fetch_add(std::uint64_t(count), std::memory_order_release);
}

std::int32_t WavRecorder::append(const std::int16_t* samples, std::int32_t frames) {
    if (!samples) return 0;
    const std::int32_t count = room(frames);
    const std::uint64_t at = writePos.load(std::memory_order_relaxed);
    for (std::int32_t i = 0; i < count; ++i) {
        unsigned char* out = slot(at + std::uint64_t(i));
        if (sampleFormat == SampleFormat::Pcm16) {
            std::memcpy(out, samples + 2 * i, 4);
        } else {
            const float pair[2] = {float(samples[2 * i]) / 32768.0f, float(samples[2 * i + 1]) / 32768.0f};
            std::memcpy(out, pair, 8);
        }
    }
    commit(at, count);
    return count;
}

std::int32_t WavRecorder::append(const float* left, const float* right, std::int32_t frames) {
    if (!left || !right) return 0;
    const std::int32_t count = room(frames);
    const std::uint64_t at = writePos.load(std::memory_order_relaxed);
    // In at most two stretches: up to the ring's end, then from its start.
    std::int32_t done = 0;
    while (done < count) {
        const std::uint64_t position = at + std::uint64_t(done);
        const std::int32_t stretch = std::int32_t(
            std::min<std::uint64_t>(std::uint64_t(count - done), ringFrames - position % ringFrames));
        unsigned char* out = slot(position);
        if (sampleFormat == SampleFormat::Pcm16) {
            interleavePcm16(left + done, right + done, reinterpret_cast<std::int16_t*>(out), stretch);
        } else {
            auto* pairs = reinterpret_cast<float*>(out);
            for (std::int32_t i = 0; i < stretch; ++i) {
                pairs[2 * i] = left[done + i];
                pairs[2 * i + 1] = right[done + i];
            }
        }
        done += stretch;
    }
    commit(at, count);
    return count;
}

void WavRecorder::writerLoop() {
    for (;;) {
        const bool last = stopping.load(std::memory_order_acquire);
        const std::uint64_t end = writePos.load(std::memory_order_acquire);
        std::uint64_t start = readPos.load(std::memory_order_relaxed);
        if (start == end) {
            if (last) return;
            // The audio thread does not wake the writer (that would be a system call);
            // finish() does.
            std::unique_lock<std::mutex> pause(pauseLock);
            pauseEnd.wait_for(pause, kWriterPause, [this] { return stopping.load(std::memory_order_acquire); });
            continue;
        }
        while (start < end) {
            const std::uint64_t stretch = std::min(end - start, ringFrames - start % ringFrames);
            if (!writeFailed.load(std::memory_order_relaxed)) {
                if (beforeWrite) beforeWrite();
                const std::size_t n = std::fwrite(slot(start), frameBytes, std::size_t(stretch), file);
                written += n;
                if (n < stretch) writeFailed.store(true, std::memory_order_relaxed);
            }
            start += stretch;
            readPos.store(start, std::memory_order_release);
        }
    }
}

bool WavRecorder::finish() {
    stopWriter();
    if (!file) return false;
    bool ok = !writeFailed.load();
    taken.store(written, std::memory_order_release);
    std::uint8_t header[kFloat32HeaderSize];
    const std::size_t size = writeWavHeader(header, sampleFormat, rate, std::uint32_t(written));
    if (std::fflush(file) != 0) ok = false;
    if (std::fseek(file, 0, SEEK_SET) != 0) ok = false;
    else if (std::fwrite(header, 1, size, file) != size) ok = false;
    if (std::fflush(file) != 0) ok = false;
    if (std::fclose(file) != 0) ok = false;
    file = nullptr;
    return ok;
}

RecorderSlot::~RecorderSlot() { delete current.exchange(nullptr); }

template <typename Append>
void RecorderSlot::use(Append append) {
    // Busy first, then the pointer: exchange() either sees the mark or hands over a
    // pointer this thread no longer loads.
    appending.store(true, std::memory_order_seq_cst);
    if (WavRecorder* recorder = current.load(std::memory_order_seq_cst)) {
        if (recorder->isOpen()) append(*recorder);
    }
    appending.store(false, std::memory_order_release);
}

void RecorderSlot::append(const std::int16_t* samples, std::int32_t frames) {
    use([&](WavRecorder& r) { r.append(samples, frames); });
}

void RecorderSlot::append(const float* left, const float* right, std::int32_t frames) {
    use([&](WavRecorder& r) { r.append(left, right, frames); });
}

std::unique_ptr<WavRecorder> RecorderSlot::exchange(std::unique_ptr<WavRecorder> next) {
    std::unique_ptr<WavRecorder> previous(current.exchange(next.release(), std::memory_order_seq_cst));
    while (appending.load(std::memory_order_seq_cst)) std::this_thread::yield();
    return previous;
}

std::uint32_t RecorderSlot::frameCount() const {
    const WavRecorder* recorder = current.load(std::memory_order_acquire);
    return recorder ? recorder->frameCount() : 0;
}

} // namespace vl
