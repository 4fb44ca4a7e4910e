// The bitmap reader: what it accepts, and that malformed input of every kind is refused
// without reading outside the buffer (the asan preset runs this under AddressSanitizer).

#include "resources/BitmapResources.h"
#include "resources/BmpReader.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;

void put16(Bytes& v, unsigned x) {
    v.push_back(x & 0xFF);
    v.push_back((x >> 8) & 0xFF);
}
void put32(Bytes& v, std::uint32_t x) {
    for (int i = 0; i < 4; ++i) v.push_back((x >> (8 * i)) & 0xFF);
}
void set32(Bytes& v, std::size_t at, std::uint32_t x) {
    for (int i = 0; i < 4; ++i) v[at + i] = (x >> (8 * i)) & 0xFF;
}
void set16(Bytes& v, std::size_t at, unsigned x) {
    v[at] = x & 0xFF;
    v[at + 1] = (x >> 8) & 0xFF;
}

// pixel(x, y) with y counted from the top: a palette index (8 bits) or 0xRRGGBB (24 bits).
std::uint32_t pattern(int x, int y, int bits) {
    return bits == 8 ? static_cast<std::uint32_t>((x * 7 + y * 3) % 16)
                     : static_cast<std::uint32_t>(x * 0x010203 + y * 0x300000) & 0xFFFFFFu;
}
std::uint32_t paletteColour(unsigned i) { return 0x102030u * i + 0x050403u; }

Bytes makeBmp(int w, int h, int bits, bool topDown, bool fileHeader, unsigned colours = 16) {
    const std::uint32_t stride = (static_cast<std::uint32_t>(w) * bits + 31) / 32 * 4;
    const std::uint32_t paletteBytes = bits == 8 ? colours * 4 : 0;
    Bytes v;
    if (fileHeader) {
        v.push_back('B');
        v.push_back('M');
        put32(v, 14 + 40 + paletteBytes + stride * h);
        put32(v, 0);
        put32(v, 14 + 40 + paletteBytes);
    }
    put32(v, 40);
    put32(v, static_cast<std::uint32_t>(w));
    put32(v, static_cast<std::uint32_t>(topDown ? -h : h));
    put16(v, 1);
    put16(v, bits);
    put32(v, 0);
    put32(v, stride * h);
    put32(v, 2835);
    put32(v, 2835);
    put32(v, bits == 8 ? colours : 0);
    put32(v, 0);
    for (unsigned i = 0; bits == 8 && i < colours; ++i) {
        const std::uint32_t c = paletteColour(i);
        v.push_back(c & 0xFF);
        v.push_back((c >> 8) & 0xFF);
        v.push_back((c >> 16) & 0xFF);
        v.push_back(0);
    }
    for (int row = 0; row < h; ++row) {
        const int y = topDown ? row : h - 1 - row;
        const std::size_t start = v.size();
        for (int x = 0; x < w; ++x) {
            const std::uint32_t p = pattern(x, y, bits);
            if (bits == 8) {
                v.push_back(static_cast<unsigned char>(p));
            } else {
                v.push_back(p & 0xFF);
                v.push_back((p >> 8) & 0xFF);
                v.push_back((p >> 16) & 0xFF);
            }
        }
        while (v.size() - start < stride) v.push_back(0);
    }
    return v;
}

TEST(BmpReader, ReadsEightAndTwentyFourBitPicturesInEveryLayout) {
    struct Case {
        int w, h, bits;
        bool topDown, fileHeader;
    };
    const Case cases[] = {
        {5, 3, 8, false, true},  {5, 3, 8, true, true},   {5, 3, 8, false, false}, {4, 4, 8, false, true},
        {3, 2, 24, false, true}, {3, 2, 24, true, false}, {1, 1, 24, false, true}, {7, 5, 24, false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.w << "x" << c.h << " " << c.bits << " bits, top-down " << c.topDown
                                        << ", file header " << c.fileHeader);
        const Bytes bytes = makeBmp(c.w, c.h, c.bits, c.topDown, c.fileHeader);
        vl::BmpImage image;
        ASSERT_TRUE(vl::readBmp(bytes.data(), bytes.size(), image));
        EXPECT_EQ(image.width, c.w);
        EXPECT_EQ(image.height, c.h);
        EXPECT_EQ(image.bitsPerPixel, c.bits);
        for (int y = 0; y < c.h; ++y)
            for (int x = 0; x < c.w; ++x) {
                const std::uint32_t p = pattern(x, y, c.bits);
                EXPECT_EQ(image.at(x, y), c.bits == 8 ? paletteColour(p) : p) << x << "," << y;
            }
    }
}

// A pixel offset that puts the last rows a few bytes past the end of the file is refused
// by value. A reader without that check reads just past the buffer here (which
// AddressSanitizer reports) and answers true, instead of crashing on a wild offset.
TEST(BmpReader, RefusesPixelsStartingTooLate) {
    const Bytes good = makeBmp(4, 3, 24, false, true); // rows of exactly 12 bytes, no padding
    const std::uint32_t offset = 14 + 40;
    ASSERT_EQ(good.size(), offset + 3 * 12u);
    struct Case {
        const char* what;
        std::uint32_t pixels;
    };
    const Case cases[] = {
        {"one byte late", offset + 1},
        {"one row late", offset + 12},
        {"at the last byte", static_cast<std::uint32_t>(good.size() - 1)},
        {"at the end", static_cast<std::uint32_t>(good.size())},
        {"one byte past the end", static_cast<std::uint32_t>(good.size() + 1)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Bytes bytes = good;
        set32(bytes, 10, c.pixels);
        vl::BmpImage image;
        EXPECT_FALSE(vl::readBmp(bytes.data(), bytes.size(), image));
        EXPECT_TRUE(image.pixels.empty());
    }
    vl::BmpImage image;
    EXPECT_TRUE(vl::readBmp(good.data(), good.size(), image));
}

TEST(BmpReader, RefusesMalformedHeaders) {
    // offsets into a file with a file header: info header at 14
    struct Case {
        const char* what;
        std::size_t at;
        int bytes;
        std::uint32_t value;
    };
    const Case cases[] = {
        {"info header size 12", 14, 4, 12},
        {"info header size huge", 14, 4, 0x7FFFFFFF},
        {"zero width", 18, 4, 0},
        {"negative width", 18, 4, 0xFFFFFFFB},
        {"width too large", 18, 4, 20000},
        {"zero height", 22, 4, 0},
        {"height too large", 22, 4, 0x7FFFFFFF},
        {"height too negative", 22, 4, 0x80000000},
        {"two planes", 26, 2, 2},
        {"4 bits", 28, 2, 4},
        {"32 bits", 28, 2, 32},
        {"0 bits", 28, 2, 0},
        {"run-length compressed", 30, 4, 1},
        {"bit fields", 30, 4, 3},
        {"300 palette colours", 46, 4, 300},
        {"palette past the end", 46, 4, 256},
        {"pixels past the end", 10, 4, 0x10000},
        {"pixels inside the palette", 10, 4, 20},
        {"pixels offset wraps", 10, 4, 0xFFFFFFFF},
        {"index beyond the palette", 46, 4, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Bytes bytes = makeBmp(5, 3, 8, false, true);
        if (c.bytes == 4) set32(bytes, c.at, c.value);
        else set16(bytes, c.at, c.value);
        vl::BmpImage image;
        EXPECT_FALSE(vl::readBmp(bytes.data(), bytes.size(), image));
        EXPECT_EQ(image.width, 0);
        EXPECT_TRUE(image.pixels.empty());
    }
    vl::BmpImage image;
    EXPECT_FALSE(vl::readBmp(nullptr, 100, image));
    const unsigned char bm[2] = {'B', 'M'};
    EXPECT_FALSE(vl::readBmp(bm, 2, image));
}

TEST(BmpReader, RefusesEveryTruncation) {
    for (bool fileHeader : {true, false}) {
        for (int bits : {8, 24}) {
            const Bytes bytes = makeBmp(6, 4, bits, false, fileHeader);
            for (std::size_t n = 0; n < bytes.size(); ++n) {
                // an exact-size copy, so that AddressSanitizer sees any read past the end
                const Bytes cut(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(n));
                vl::BmpImage image;
                EXPECT_FALSE(vl::readBmp(cut.data(), cut.size(), image)) << n << " of " << bytes.size();
            }
        }
    }
}

TEST(BmpReader, SurvivesThousandsOfMutations) {
    // Start from real art (the digits) and from a small 24-bit picture; change a few bytes,
    // mostly in the headers, and sometimes cut the end. Every answer must be consistent.
    std::size_t size = 0;
    const unsigned char* digits = vl::findBitmapResource(vl::kBitmapDigits, &size);
    ASSERT_NE(digits, nullptr);
    const std::vector<Bytes> seeds = {Bytes(digits, digits + size), makeBmp(9, 7, 24, true, true),
                                      makeBmp(9, 7, 8, false, false, 256)};
    std::mt19937 random(20261208);
    int accepted = 0;
    for (int round = 0; round < 6000; ++round) {
        Bytes bytes = seeds[static_cast<std::size_t>(round) % seeds.size()];
        const int changes = 1 + static_cast<int>(random() % 4);
        for (int i = 0; i < changes; ++i) {
            const std::size_t limit = (random() % 4 == 0) ? bytes.size() : std::min<std::size_t>(bytes.size(), 64);
            const std::size_t at = random() % limit;
            switch (random() % 3) {
            case 0:
                bytes[at] = static_cast<unsigned char>(random());
                break;
            case 1:
                bytes[at] ^= static_cast<unsigned char>(1u << (random() % 8));
                break;
            default:
                bytes[at] = (random() % 2) ? 0xFF : 0x00;
                break;
            }
        }
        if (random() % 5 == 0) bytes.resize(random() % bytes.size());
        const Bytes exact(bytes); // exact size, for AddressSanitizer
        vl::BmpImage image;
        if (vl::readBmp(exact.data(), exact.size(), image)) {
            ++accepted;
            ASSERT_GT(image.width, 0);
            ASSERT_GT(image.height, 0);
            ASSERT_LE(image.width, vl::kMaxBmpDimension);
            ASSERT_LE(image.height, vl::kMaxBmpDimension);
            ASSERT_EQ(image.pixels.size(), static_cast<std::size_t>(image.width) * image.height);
            ASSERT_TRUE(image.bitsPerPixel == 8 || image.bitsPerPixel == 24);
        } else {
            ASSERT_TRUE(image.pixels.empty());
        }
    }
    // mutations of pixel bytes and harmless header fields still decode
    EXPECT_GT(accepted, 100);
}

} // namespace
