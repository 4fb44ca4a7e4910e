#include "standalone/AudioBlocks.h"

namespace vl {

std::uint32_t blockBytesFor(std::uint32_t sampleRate, std::uint32_t latencyMs) {
    const std::uint32_t raw = (kBytesPerFrame * sampleRate) * latencyMs / 1000u;
    return raw - raw % kBytesPerFrame;
}

std::uint32_t normalRingBytes(std::uint32_t blockBytes) { return kRingBlocks * blockBytes; }

std::uint32_t primaryBlockBytes(std::uint32_t blockBytes, std::uint32_t ringBytes) {
    std::uint32_t half = ringBytes / 2;
    half -= half % kBytesPerFrame;
    return blockBytes > half ? half : blockBytes;
}

} // namespace vl
