#include "platform/WavFormat.h"

#include <cstring>

namespace vl {
namespace {

// Appends little-endian fields to a header being written.
struct HeaderWriter {
    uint8_t* p;
    void put16(uint32_t x) {
        *p++ = uint8_t(x);
        *p++ = uint8_t(x >> 8);
    }
    void put32(uint32_t x) {
        for (int i = 0; i < 4; ++i) *p++ = uint8_t(x >> (8 * i));
    }
    void putTag(const char* tag) {
        for (int i = 0; i < 4; ++i) *p++ = uint8_t(tag[i]);
    }
};

void store32(uint8_t* p, uint32_t x) {
    p[0] = uint8_t(x);
    p[1] = uint8_t(x >> 8);
    p[2] = uint8_t(x >> 16);
    p[3] = uint8_t(x >> 24);
}

} // namespace

std::size_t wavHeaderSize(SampleFormat format) {
    return format == SampleFormat::Pcm16 ? kPcm16HeaderSize : kFloat32HeaderSize;
}

std::size_t bytesPerFrame(SampleFormat format) { return format == SampleFormat::Pcm16 ? 4 : 8; }

uint64_t maxWavFrames(SampleFormat format) {
    // RIFF size = header - 8 + data bytes must fit in 32 bits.
    const uint64_t room = 0xFFFFFFFFull - (wavHeaderSize(format) - 8);
    return room / bytesPerFrame(format);
}

std::size_t writeWavHeader(uint8_t* out, SampleFormat format, uint32_t sampleRate, uint32_t frames) {
    const bool pcm = format == SampleFormat::Pcm16;
    const uint32_t block = uint32_t(bytesPerFrame(format));
    const uint32_t dataBytes = frames * block;
    HeaderWriter h{out};
    h.putTag("RIFF");
    h.put32(uint32_t(wavHeaderSize(format) - 8) + dataBytes);
    h.putTag("WAVE");
    h.putTag("fmt ");
    h.put32(pcm ? 16 : 18);
    h.put16(pcm ? 1 : 3); // format tag: PCM or IEEE float
    h.put16(2); // channels
    h.put32(sampleRate);
    h.put32(sampleRate * block); // bytes per second
    h.put16(block); // block align
    h.put16(pcm ? 16 : 32); // bits per sample
    if (!pcm) {
        h.put16(0); // cbSize: no extension
        h.putTag("fact");
        h.put32(4);
        h.put32(frames); // sample frames per channel
    }
    h.putTag("data");
    h.put32(dataBytes);
    return std::size_t(h.p - out);
}

std::vector<uint8_t> wavHeader(SampleFormat format, uint32_t sampleRate, uint32_t frames) {
    std::vector<uint8_t> h(wavHeaderSize(format));
    writeWavHeader(h.data(), format, sampleRate, frames);
    return h;
}

void encodePcm16(const int16_t* interleaved, std::size_t frames, uint8_t* out) {
    for (std::size_t i = 0; i < frames * 2; ++i) {
        const uint16_t u = uint16_t(interleaved[i]);
        out[2 * i] = uint8_t(u);
        out[2 * i + 1] = uint8_t(u >> 8);
    }
}

void encodeFloat32(const float* left, const float* right, std::size_t frames, uint8_t* out) {
    for (std::size_t i = 0; i < frames; ++i) {
        uint32_t l, r;
        std::memcpy(&l, &left[i], 4);
        std::memcpy(&r, &right[i], 4);
        store32(out + 8 * i, l);
        store32(out + 8 * i + 4, r);
    }
}

} // namespace vl
