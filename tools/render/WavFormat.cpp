#include "tools/render/WavFormat.h"

#include <cstring>

namespace vl::render {
namespace {

void put16(std::vector<uint8_t>& v, uint32_t x) {
    v.push_back(uint8_t(x));
    v.push_back(uint8_t(x >> 8));
}
void put32(std::vector<uint8_t>& v, uint32_t x) {
    for (int i = 0; i < 4; ++i) v.push_back(uint8_t(x >> (8 * i)));
}
void putTag(std::vector<uint8_t>& v, const char* tag) {
    for (int i = 0; i < 4; ++i) v.push_back(uint8_t(tag[i]));
}
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

std::vector<uint8_t> wavHeader(SampleFormat format, uint32_t sampleRate, uint32_t frames) {
    const bool pcm = format == SampleFormat::Pcm16;
    const uint32_t block = uint32_t(bytesPerFrame(format));
    const uint32_t dataBytes = frames * block;
    std::vector<uint8_t> h;
    h.reserve(wavHeaderSize(format));
    putTag(h, "RIFF");
    put32(h, uint32_t(wavHeaderSize(format) - 8) + dataBytes);
    putTag(h, "WAVE");
    putTag(h, "fmt ");
    put32(h, pcm ? 16 : 18);
    put16(h, pcm ? 1 : 3);          // format tag: PCM or IEEE float
    put16(h, 2);                    // channels
    put32(h, sampleRate);
    put32(h, sampleRate * block);   // bytes per second
    put16(h, block);                // block align
    put16(h, pcm ? 16 : 32);        // bits per sample
    if (!pcm) {
        put16(h, 0);                // cbSize: no extension
        putTag(h, "fact");
        put32(h, 4);
        put32(h, frames);           // sample frames per channel
    }
    putTag(h, "data");
    put32(h, dataBytes);
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

} // namespace vl::render
