#pragma once
// A small, bounds-checked reader of uncompressed Windows bitmaps: 8-bit palettised and
// 24-bit true-colour, bottom-up or top-down, given either as a whole .bmp file (starting
// with "BM") or as a packed device-independent bitmap (the info header first, as bitmap
// resources are stored in a Windows module). Anything truncated, compressed, oversized
// or otherwise malformed is refused without reading outside the given bytes.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vl {

struct BmpImage {
    int width = 0;
    int height = 0;
    int bitsPerPixel = 0; // 8 or 24, as stored in the file
    std::vector<std::uint32_t> palette; // 0xRRGGBB per entry (8-bit images only)
    std::vector<std::uint32_t> pixels; // 0xRRGGBB, row by row from the top, width * height

    std::uint32_t at(int x, int y) const { return pixels[static_cast<std::size_t>(y) * width + x]; }
};

// Largest width or height accepted; keeps garbage headers from asking for huge buffers.
inline constexpr int kMaxBmpDimension = 16384;

// Decodes data[0 .. size). Returns false (and leaves image empty) on any defect.
bool readBmp(const unsigned char* data, std::size_t size, BmpImage& image);

} // namespace vl
