// The panel pictures as the library holds them: ids, sizes, depth, frame stacking, the
// fit of knobs, buttons and digits onto the background, and the transparent key colour.

#include "resources/BitmapResources.h"
#include "resources/BmpReader.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

struct PictureShape {
    int id;
    int width, height;
    int frames; // images stacked vertically
};

// clang-format off
const PictureShape kPictures[] = {
    {134, 727, 301, 1},                                         // background
    {166, 37, 2442, 66}, {165, 48, 3168, 66},                   // small and large knob
    {145, 43, 50, 2}, {146, 43, 50, 2}, {151, 43, 50, 2}, {152, 43, 50, 2},  // file buttons
    {157, 19, 36, 2}, {158, 19, 36, 2}, {159, 19, 36, 2}, {160, 19, 36, 2},
    {161, 19, 36, 2}, {162, 19, 36, 2}, {163, 19, 36, 2}, {164, 19, 36, 2},  // programs
    {168, 10, 110, 10},                                         // digits
    {149, 43, 50, 2}, {150, 43, 50, 2},                         // standalone buttons
};
// clang-format on

vl::BmpImage load(int id) {
    std::size_t size = 0;
    const unsigned char* data = vl::findBitmapResource(id, &size);
    vl::BmpImage image;
    EXPECT_NE(data, nullptr) << "bitmap " << id;
    if (data) {
        EXPECT_TRUE(vl::readBmp(data, size, image)) << "bitmap " << id;
    }
    return image;
}

bool sameRegion(const vl::BmpImage& a, int ay, const vl::BmpImage& b, int by, int w, int h) {
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            if (a.at(x, ay + y) != b.at(x, by + y)) return false;
    return true;
}

TEST(Pictures, EveryIdHasItsSizeDepthAndFrames) {
    for (const PictureShape& p : kPictures) {
        SCOPED_TRACE(p.id);
        std::size_t size = 0;
        const unsigned char* data = vl::findBitmapResource(p.id, &size);
        ASSERT_NE(data, nullptr);
        // the info header (after the file header where there is one) says 8 bits, no compression
        const std::size_t info = (data[0] == 'B' && data[1] == 'M') ? 14 : 0;
        ASSERT_GT(size, info + 40);
        EXPECT_EQ(data[info + 0], 40);
        EXPECT_EQ(data[info + 14], 8);
        EXPECT_EQ(data[info + 16], 0);
        vl::BmpImage image = load(p.id);
        EXPECT_EQ(image.width, p.width);
        EXPECT_EQ(image.height, p.height);
        EXPECT_EQ(image.bitsPerPixel, 8);
        EXPECT_LE(image.palette.size(), 256u);
        EXPECT_EQ(p.height % p.frames, 0);
    }
    EXPECT_EQ(vl::findBitmapResource(133, nullptr), nullptr);
    std::size_t size = 7;
    EXPECT_EQ(vl::findBitmapResource(0, &size), nullptr);
    EXPECT_EQ(size, 0u);
}

TEST(Pictures, EveryFrameDiffersFromItsNeighbours) {
    for (const PictureShape& p : kPictures) {
        if (p.frames < 2) continue;
        SCOPED_TRACE(p.id);
        const vl::BmpImage image = load(p.id);
        ASSERT_EQ(image.height, p.height);
        const int h = p.height / p.frames;
        for (int f = 0; f + 1 < p.frames; ++f) {
            EXPECT_FALSE(sameRegion(image, f * h, image, (f + 1) * h, p.width, h)) << "frame " << f;
        }
    }
    // the ten digits are ten different glyphs
    const vl::BmpImage digits = load(168);
    for (int a = 0; a < 10; ++a)
        for (int b = a + 1; b < 10; ++b)
            EXPECT_FALSE(sameRegion(digits, a * 11, digits, b * 11, 10, 11)) << a << " and " << b;
}

// The digit one must read as a one, not as a colon: its ink (pixels darker than halfway
// between the unlit segments and the ink) is one unbroken vertical stroke over at least
// eight of the eleven rows, all of it in the right half of the cell.
TEST(Pictures, DigitOneIsOneUnbrokenStrokeOnTheRight) {
    const vl::BmpImage digits = load(168);
    ASSERT_EQ(digits.height, 110);
    auto dark = [&](int x, int y) {
        const std::uint32_t c = digits.at(x, 11 + y);
        return ((c >> 16) & 0xFF) + ((c >> 8) & 0xFF) + (c & 0xFF) < 306;
    };
    int first = -1, last = -1, inkRows = 0;
    for (int y = 0; y < 11; ++y) {
        bool row = false;
        for (int x = 0; x < 10; ++x) {
            if (!dark(x, y)) continue;
            row = true;
            EXPECT_GE(x, 5) << "ink left of the middle at row " << y;
        }
        if (!row) continue;
        if (first < 0) first = y;
        last = y;
        ++inkRows;
    }
    EXPECT_GE(inkRows, 8);
    EXPECT_EQ(inkRows, last - first + 1) << "the stroke is broken (rows " << first << " to " << last << ")";
}

TEST(Pictures, KnobPointerTurnsClockwiseFromLowerLeft) {
    // The brightest pixels of a frame are the pointer's; their centre moves from the
    // lower left (frame 0) over the top (frame 32/33) to the lower right (frame 65).
    struct Case {
        int id, size;
    };
    for (Case c : {Case{166, 37}, Case{165, 48}}) {
        SCOPED_TRACE(c.id);
        const vl::BmpImage knob = load(c.id);
        auto pointer = [&](int frame, double& px, double& py) {
            double sx = 0, sy = 0, n = 0;
            for (int y = 0; y < c.size; ++y)
                for (int x = 0; x < c.size; ++x) {
                    const std::uint32_t p = knob.at(x, frame * c.size + y);
                    const int r = p >> 16, g = (p >> 8) & 0xFF, b = p & 0xFF;
                    if (r + g + b > 600) {
                        sx += x;
                        sy += y;
                        n += 1;
                    }
                }
            ASSERT_GT(n, 0) << "frame " << frame;
            px = sx / n - c.size / 2.0;
            py = sy / n - c.size / 2.0;
        };
        double x, y;
        pointer(0, x, y);
        EXPECT_LT(x, -2);
        EXPECT_GT(y, 2); // lower left
        pointer(33, x, y);
        EXPECT_LT(y, -4);
        EXPECT_LT(std::abs(x), 2.5); // up
        pointer(65, x, y);
        EXPECT_GT(x, 2);
        EXPECT_GT(y, 2); // lower right
    }
}

// Knobs, digits and buttons are drawn opaquely: their corners must carry the colour of
// the background where they sit, or the panel would show a seam around each one.
TEST(Pictures, OpaquePicturesMatchTheBackgroundWhereTheySit) {
    const vl::BmpImage background = load(134);
    ASSERT_EQ(background.width, 727);
    struct Place {
        int id, left, top, width, frameHeight;
    };
    std::vector<Place> places = {
        {165, 104, 78, 48, 48},
        {165, 104, 176, 48, 48},
    };
    const int smallLeft[11] = {191, 257, 323, 430, 496, 562, 190, 256, 322, 429, 495};
    const int smallTop[11] = {77, 77, 77, 77, 77, 77, 174, 174, 174, 174, 174};
    for (int i = 0; i < 11; ++i) places.push_back({166, smallLeft[i], smallTop[i], 37, 37});
    const int displayLeft[13] = {108, 108, 195, 261, 327, 434, 500, 566, 194, 260, 326, 433, 499};
    const int displayTop[13] = {134, 232, 131, 131, 131, 131, 131, 131, 228, 228, 228, 228, 228};
    for (int i = 0; i < 13; ++i)
        for (int d = 0; d < 3; ++d) places.push_back({168, displayLeft[i] + 10 * d, displayTop[i], 10, 11});
    for (int i = 0; i < 8; ++i) places.push_back({157 + i, 105 + 27 * i, 19, 19, 18});
    const int fileIds[4] = {145, 146, 151, 152};
    for (int i = 0; i < 4; ++i) places.push_back({fileIds[i], 514 + 52 * i, 16, 43, 25});

    for (const Place& p : places) {
        SCOPED_TRACE(testing::Message() << "bitmap " << p.id << " at " << p.left << "," << p.top);
        const vl::BmpImage picture = load(p.id);
        const int frames = picture.height / p.frameHeight;
        for (int f = 0; f < frames; ++f) {
            const int x1 = p.width - 1, y0 = f * p.frameHeight, y1 = y0 + p.frameHeight - 1;
            EXPECT_EQ(picture.at(0, y0), background.at(p.left, p.top));
            EXPECT_EQ(picture.at(x1, y0), background.at(p.left + x1, p.top));
            EXPECT_EQ(picture.at(0, y1), background.at(p.left, p.top + p.frameHeight - 1));
            EXPECT_EQ(picture.at(x1, y1), background.at(p.left + x1, p.top + p.frameHeight - 1));
        }
    }
}

// White (255, 255, 255) is the key colour of transparent blits; the panel draws every
// one of its pictures opaquely, so the colour has no business in any of them.
TEST(Pictures, KeyColourAppearsNowhere) {
    for (const PictureShape& p : kPictures) {
        SCOPED_TRACE(p.id);
        const vl::BmpImage image = load(p.id);
        int keyed = 0;
        for (std::uint32_t pixel : image.pixels) keyed += pixel == 0xFFFFFFu;
        EXPECT_EQ(keyed, 0);
    }
}

TEST(Pictures, NameWindowHasTheNameFieldsBackColour) {
    // The name field is transparent: its (126, 132, 91) text lands on the background,
    // which holds the field's back colour (186, 195, 137) over the whole field.
    const vl::BmpImage background = load(134);
    for (int y = 20; y < 36; ++y)
        for (int x = 334; x < 494; ++x) ASSERT_EQ(background.at(x, y), 0xBAC389u) << x << "," << y;
}

#if defined(VL_MAKE_ART) && defined(VL_RESOURCE_DIR)
std::vector<char> readFile(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return std::vector<char>(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

// The committed bitmaps are what the generator draws (when its cairo, FreeType and font
// files are the ones that drew them, as art-stamp.txt records).
TEST(Pictures, CommittedFilesEqualAFreshRunOfTheGenerator) {
    char dir[] = "/tmp/vl-art-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string out = dir;
    const std::string command = std::string("\"") + VL_MAKE_ART + "\" \"" + out + "\"";
    ASSERT_EQ(std::system(command.c_str()), 0);
    const std::string resources = VL_RESOURCE_DIR;
    if (readFile(out + "/art-stamp.txt") != readFile(resources + "/art-stamp.txt")) {
        std::system(("rm -rf \"" + out + "\"").c_str());
        GTEST_SKIP() << "cairo, FreeType or the fonts differ from those that drew the committed art";
    }
    std::ifstream rc(resources + "/velmorloom.rc");
    std::string line;
    int compared = 0;
    while (std::getline(rc, line)) {
        const auto q = line.find('"');
        if (line.find("BITMAP") == std::string::npos || q == std::string::npos) continue;
        const std::string file = line.substr(q + 1, line.find('"', q + 1) - q - 1);
        const std::vector<char> fresh = readFile(out + "/" + file);
        EXPECT_FALSE(fresh.empty()) << file;
        EXPECT_TRUE(fresh == readFile(resources + "/" + file)) << file << " differs";
        ++compared;
    }
    EXPECT_EQ(compared, 18);
    // the desktop icons, drawn by the same program from the panel's emblem
    ASSERT_EQ(std::system((command + " --icons \"" + out + "\"").c_str()), 0);
    for (const char* icon : {"velmorloom-48.png", "velmorloom-128.png", "velmorloom.svg"}) {
        const std::vector<char> fresh = readFile(out + "/" + icon);
        EXPECT_FALSE(fresh.empty()) << icon;
        EXPECT_TRUE(fresh == readFile(resources + "/icons/" + icon)) << icon << " differs";
    }
    std::system(("rm -rf \"" + out + "\"").c_str());
}
#endif

} // namespace
