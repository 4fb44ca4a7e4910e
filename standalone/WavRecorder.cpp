#include "standalone/WavRecorder.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace vl {

// Samples go to the file as they are in memory: every target is little-endian.
static_assert(std::endian::native == std::endian::little);

namespace {

void put16(unsigned char* p, std::uint32_t v) {
    p[0] = static_cast<unsigned char>(v);
    p[1] = static_cast<unsigned char>(v >> 8);
}

void put32(unsigned char* p, std::uint32_t v) {
    put16(p, v & 0xFFFFu);
    put16(p + 2, v >> 16);
}

} // namespace

void buildWavHeader(unsigned char out[kWavHeaderSize], std::uint32_t sampleRate, std::uint32_t dataBytes) {
    std::memcpy(out, "RIFF", 4);
    put32(out + 4, 36u + dataBytes);
    std::memcpy(out + 8, "WAVEfmt ", 8);
    put32(out + 16, 16);
    put16(out + 20, 1);  // PCM
    put16(out + 22, 2);  // channels
    put32(out + 24, sampleRate);
    put32(out + 28, sampleRate * 4u);
    put16(out + 32, 4);  // block align
    put16(out + 34, 16); // bits per sample
    std::memcpy(out + 36, "data", 4);
    put32(out + 40, dataBytes);
}

WavRecorder::WavRecorder(const std::string& path, std::uint32_t sampleRate, std::uint32_t maxFrames)
    : rate(sampleRate), maxFrames(std::min(maxFrames, kWavMaxFrames)) {
    file = std::fopen(path.c_str(), "wb+");
    if (!file) return;
    // Unbuffered: every block goes to the file in one write, and the count of frames
    // that fwrite reports is what really reached it.
    std::setvbuf(file, nullptr, _IONBF, 0);
    unsigned char header[kWavHeaderSize];
    buildWavHeader(header, rate, 0);
    headerOk = std::fwrite(header, 1, sizeof header, file) == sizeof header;
}

WavRecorder::~WavRecorder() {
    if (file) std::fclose(file);
}

std::int32_t WavRecorder::append(const std::int16_t* samples, std::int32_t count) {
    if (!file || !samples || count <= 0 || writeFailed) return 0;
    const std::uint32_t room = maxFrames - frames;
    const std::uint32_t want = std::min(static_cast<std::uint32_t>(count), room);
    if (want == 0) return 0;
    const std::size_t written = std::fwrite(samples, 2 * sizeof(std::int16_t), want, file);
    if (written < want) writeFailed = true;
    frames += static_cast<std::uint32_t>(written);
    return static_cast<std::int32_t>(written);
}

bool WavRecorder::finish() {
    if (!file) return false;
    bool ok = !writeFailed;
    unsigned char header[kWavHeaderSize];
    buildWavHeader(header, rate, frames * 4u);
    if (std::fseek(file, 0, SEEK_SET) != 0) ok = false;
    else if (std::fwrite(header, 1, sizeof header, file) != sizeof header) ok = false;
    if (std::fflush(file) != 0) ok = false;
    if (std::fclose(file) != 0) ok = false;
    file = nullptr;
    return ok;
}

void RecorderSlot::append(const std::int16_t* samples, std::int32_t frames) {
    std::lock_guard<std::mutex> guard(lock);
    if (recorder && recorder->isOpen()) recorder->append(samples, frames);
}

std::unique_ptr<WavRecorder> RecorderSlot::exchange(std::unique_ptr<WavRecorder> next) {
    std::lock_guard<std::mutex> guard(lock);
    recorder.swap(next);
    return next;
}

bool RecorderSlot::recording() const {
    std::lock_guard<std::mutex> guard(lock);
    return recorder != nullptr;
}

std::uint32_t RecorderSlot::frameCount() const {
    std::lock_guard<std::mutex> guard(lock);
    return recorder ? recorder->frameCount() : 0;
}

} // namespace vl
