#pragma once
// Little-endian numbers read from the bytes of files and chunks the tests inspect.
#include <cstddef>
#include <cstdint>

namespace vltest {

inline std::uint32_t le32(const void* at) {
    const auto* p = static_cast<const unsigned char*>(at);
    return p[0] | p[1] << 8 | p[2] << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

// The same at an offset of a byte container (std::string, std::vector<char> or of
// unsigned char, ...).
template <typename Bytes>
std::uint32_t le32(const Bytes& bytes, std::size_t offset) {
    return le32(bytes.data() + offset);
}

} // namespace vltest
