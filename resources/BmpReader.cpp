#include "resources/BmpReader.h"

#include <cstring>

namespace vl {

namespace {

std::uint32_t le32(const unsigned char* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

std::uint16_t le16(const unsigned char* p) { return static_cast<std::uint16_t>(p[0] | p[1] << 8); }

constexpr std::size_t kFileHeaderSize = 14;
constexpr std::size_t kInfoHeaderSize = 40;

bool decode(const unsigned char* data, std::size_t size, BmpImage& image) {
    // Whole file or packed bitmap: the file header, when present, says where the pixels are.
    std::size_t info = 0;
    bool haveFileHeader = false;
    std::uint64_t pixelOffset = 0;
    if (size >= 2 && data[0] == 'B' && data[1] == 'M') {
        if (size < kFileHeaderSize + kInfoHeaderSize) return false;
        haveFileHeader = true;
        pixelOffset = le32(data + 10);
        info = kFileHeaderSize;
    }
    if (size - info < kInfoHeaderSize) return false;
    const unsigned char* h = data + info;
    const std::uint32_t headerSize = le32(h);
    // BITMAPINFOHEADER and its later extensions (V2..V5); the core header is not supported.
    if (headerSize < kInfoHeaderSize || headerSize > 1024) return false;
    if (headerSize > size - info) return false;

    const std::int32_t width = static_cast<std::int32_t>(le32(h + 4));
    const std::int32_t rawHeight = static_cast<std::int32_t>(le32(h + 8));
    const std::uint16_t planes = le16(h + 12);
    const std::uint16_t bits = le16(h + 14);
    const std::uint32_t compression = le32(h + 16);
    const std::uint32_t colorsUsed = le32(h + 32);

    if (planes != 1) return false;
    if (bits != 8 && bits != 24) return false;
    if (compression != 0) return false; // BI_RGB only
    if (width <= 0 || width > kMaxBmpDimension) return false;
    if (rawHeight == 0 || rawHeight < -kMaxBmpDimension || rawHeight > kMaxBmpDimension) return false;
    const bool topDown = rawHeight < 0;
    const int height = topDown ? -rawHeight : rawHeight;

    // Palette right after the header.
    std::size_t paletteCount = 0;
    if (bits == 8) {
        paletteCount = colorsUsed == 0 ? 256 : colorsUsed;
        if (paletteCount > 256) return false;
    } else if (colorsUsed > 256) {
        return false;
    }
    const std::uint64_t paletteStart = static_cast<std::uint64_t>(info) + headerSize;
    const std::uint64_t paletteBytes = static_cast<std::uint64_t>(bits == 8 ? paletteCount : colorsUsed) * 4;
    if (paletteStart + paletteBytes > size) return false;

    const std::uint64_t stride = (static_cast<std::uint64_t>(width) * bits + 31) / 32 * 4;
    if (!haveFileHeader) pixelOffset = paletteStart + paletteBytes;
    if (pixelOffset < paletteStart + (bits == 8 ? paletteBytes : 0)) return false;
    if (pixelOffset > size || stride * static_cast<std::uint64_t>(height) > size - pixelOffset) {
        return false;
    }

    image.width = width;
    image.height = height;
    image.bitsPerPixel = bits;
    image.palette.clear();
    if (bits == 8) {
        image.palette.resize(paletteCount);
        const unsigned char* p = data + paletteStart;
        for (std::size_t i = 0; i < paletteCount; ++i, p += 4) {
            image.palette[i] = static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[1]) << 8 | p[0];
        }
    }
    image.pixels.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
    for (int y = 0; y < height; ++y) {
        const int storedRow = topDown ? y : height - 1 - y;
        const unsigned char* row = data + pixelOffset + stride * static_cast<std::uint64_t>(storedRow);
        std::uint32_t* out = image.pixels.data() + static_cast<std::size_t>(y) * width;
        if (bits == 8) {
            for (int x = 0; x < width; ++x) {
                const unsigned index = row[x];
                if (index >= paletteCount) return false;
                out[x] = image.palette[index];
            }
        } else {
            for (int x = 0; x < width; ++x) {
                const unsigned char* p = row + 3 * x;
                out[x] = static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[1]) << 8 | p[0];
            }
        }
    }
    return true;
}

} // namespace

bool readBmp(const unsigned char* data, std::size_t size, BmpImage& image) {
    image = BmpImage{};
    if (data == nullptr) return false;
    bool ok = false;
    try {
        ok = decode(data, size, image);
    } catch (...) {
        ok = false; // allocation failure
    }
    if (!ok) image = BmpImage{};
    return ok;
}

} // namespace vl
