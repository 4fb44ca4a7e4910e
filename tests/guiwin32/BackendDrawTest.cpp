// GDI drawing of the toolkit's Windows backend, read back pixel by pixel.

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "tests/support/Win32TestSupport.h"
#include "gui/Platform.h"
#include "gui/win32/GdiPicture.h"
#include "gui/win32/GdiSurface.h"

namespace vl {
namespace {

using test::PixelGrid;
using win32::GdiSurface;

constexpr Color magenta{255, 0, 255, 0};
constexpr Color white{255, 255, 255, 0};
constexpr Color almostWhite{254, 255, 255, 0};
constexpr Color blue{0, 0, 255, 0};
constexpr Color dark{10, 20, 30, 0};
constexpr Color green{0, 255, 0, 0};
constexpr Color red{255, 0, 0, 0};

// The 4 x 2 test picture as compiled into the resources (keyed.bmp, id 501).
const Color keyedPixels[2][4] = {{white, almostWhite, blue, dark}, {white, white, green, red}};

std::vector<uint8_t> keyedRgb() {
    std::vector<uint8_t> rgb;
    for (const auto& row : keyedPixels) {
        for (const Color& c : row) rgb.insert(rgb.end(), {c.red, c.green, c.blue});
    }
    return rgb;
}

std::unique_ptr<GdiSurface> memorySurface(int width, int height, Color fill) {
    std::unique_ptr<GdiSurface> surface(GdiSurface::createMemory(nullptr, width, height));
    if (surface) {
        surface->setBrush(fill);
        surface->fillRect(Rect{0, 0, width, height});
    }
    return surface;
}

struct PictureSource {
    const char* name;
    bool fromResource;
};

class PictureTest : public ::testing::TestWithParam<PictureSource> {
protected:
    std::unique_ptr<PlatformImage> load() {
        if (GetParam().fromResource) return std::unique_ptr<PlatformImage>(loadPlatformImage(501));
        const std::vector<uint8_t> rgb = keyedRgb();
        return std::unique_ptr<PlatformImage>(createPlatformImage(4, 2, rgb.data()));
    }
};

TEST_P(PictureTest, OpaqueAndKeyedBlitsOverABackground) {
    auto image = load();
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->width(), 4);
    EXPECT_EQ(image->height(), 2);
    auto surface = memorySurface(48, 16, magenta);
    ASSERT_NE(surface, nullptr);

    surface->drawImage(*image, Rect{0, 0, 4, 2}, Point{0, 0}, false);
    surface->drawImage(*image, Rect{10, 0, 14, 2}, Point{0, 0}, true);
    // A part of the picture from a source point inside it.
    surface->drawImage(*image, Rect{20, 0, 22, 1}, Point{2, 1}, true);
    // A destination reaching past the picture: only the picture's part is drawn.
    surface->drawImage(*image, Rect{30, 0, 40, 8}, Point{3, 1}, true);
    // The keyed blit leaves the picture itself unchanged: an opaque copy after it still
    // has its white pixels.
    surface->drawImage(*image, Rect{0, 4, 4, 6}, Point{0, 0}, false);

    PixelGrid grid(surface->dc(), 48, 16);
    for (int v = 0; v < 2; ++v) {
        for (int h = 0; h < 4; ++h) {
            SCOPED_TRACE(testing::Message() << "picture pixel " << h << "," << v);
            EXPECT_EQ(grid.at(h, v), keyedPixels[v][h]);
            EXPECT_EQ(grid.at(h, v + 4), keyedPixels[v][h]);
            const Color& expected = keyedPixels[v][h] == white ? magenta : keyedPixels[v][h];
            EXPECT_EQ(grid.at(10 + h, v), expected);
        }
    }
    EXPECT_EQ(grid.at(20, 0), green);
    EXPECT_EQ(grid.at(21, 0), red);
    EXPECT_EQ(grid.at(22, 0), magenta);
    EXPECT_EQ(grid.at(20, 1), magenta);
    EXPECT_EQ(grid.at(30, 0), red);
    EXPECT_EQ(grid.at(31, 0), magenta);
    EXPECT_EQ(grid.at(30, 1), magenta);
    EXPECT_EQ(grid.at(39, 7), magenta);
}

INSTANTIATE_TEST_SUITE_P(Sources, PictureTest,
                         ::testing::Values(PictureSource{"resource", true}, PictureSource{"pixels", false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(GdiPictureTest, MissingResourceGivesNoImage) {
    EXPECT_EQ(loadPlatformImage(4321), nullptr);
    win32::GdiPicture missing(4321);
    EXPECT_EQ(missing.handle(), nullptr);
    EXPECT_EQ(missing.width(), 0);
    auto surface = memorySurface(4, 4, magenta);
    missing.drawTransparent(surface->dc(), 0, 0, 4, 4, 0, 0);
    missing.draw(surface->dc(), 0, 0, 4, 4, 0, 0);
    EXPECT_EQ(PixelGrid(surface->dc(), 4, 4).at(0, 0), magenta);
}

TEST(GdiSurfaceTest, FillCoversExactlyItsRectangleAndKeepsAnOutline) {
    auto surface = memorySurface(16, 16, magenta);
    ASSERT_NE(surface, nullptr);
    // The canvas outlines (0, 0, 10, 10) and fills it from (1, 1).
    surface->setPen(green, 1, 0);
    const Point outline[5] = {{0, 0}, {10, 0}, {10, 10}, {0, 10}, {0, 0}};
    surface->polyline(outline, 5);
    ASSERT_TRUE(surface->setBrush(blue));
    surface->fillRect(Rect{1, 1, 10, 10});
    PixelGrid grid(surface->dc(), 16, 16);
    for (int v = 0; v <= 11; ++v) {
        for (int h = 0; h <= 11; ++h) {
            SCOPED_TRACE(testing::Message() << h << "," << v);
            const bool onOutline = (h == 0 || h == 10) && v <= 10 ? true : (v == 0 || v == 10) && h <= 10;
            const bool inside = h >= 1 && h <= 9 && v >= 1 && v <= 9;
            EXPECT_EQ(grid.at(h, v), onOutline ? green : inside ? blue : magenta);
        }
    }
}

TEST(GdiSurfaceTest, LinesEndBeforeTheirEndPointAndDottedPensLeaveGaps) {
    auto surface = memorySurface(32, 8, magenta);
    surface->setPen(red, 1, 0);
    surface->moveTo(2, 2);
    surface->lineTo(12, 2);
    surface->setPen(red, 1, 1);
    surface->moveTo(2, 5);
    surface->lineTo(30, 5);
    PixelGrid grid(surface->dc(), 32, 8);
    EXPECT_EQ(grid.at(2, 2), red);
    EXPECT_EQ(grid.at(11, 2), red);
    EXPECT_EQ(grid.at(12, 2), magenta);
    int gaps = 0;
    for (int h = 2; h < 30; ++h) gaps += grid.at(h, 5) == magenta;
    EXPECT_GT(gaps, 4);
    EXPECT_LT(gaps, 24);
}

struct FontCase {
    FontId id;
    int size;
    const char* face;
    LONG weight;
    BYTE pitchAndFamily;
};

class FontTableTest : public ::testing::TestWithParam<FontCase> {};

TEST_P(FontTableTest, SelectsTheTableFont) {
    const FontCase& c = GetParam();
    auto surface = memorySurface(8, 8, magenta);
    surface->setFont(c.id, c.size);
    LOGFONTA font{};
    ASSERT_EQ(GetObjectA(GetCurrentObject(surface->dc(), OBJ_FONT), sizeof font, &font), int(sizeof font));
    EXPECT_EQ(font.lfHeight, -c.size);
    EXPECT_EQ(font.lfWeight, c.weight);
    EXPECT_EQ(font.lfPitchAndFamily, c.pitchAndFamily);
    EXPECT_STREQ(font.lfFaceName, c.face);
    EXPECT_EQ(font.lfOutPrecision, OUT_STRING_PRECIS);
    EXPECT_EQ(font.lfClipPrecision, CLIP_STROKE_PRECIS);
}

INSTANTIATE_TEST_SUITE_P(Table, FontTableTest,
                         ::testing::Values(FontCase{0, 12, "Arial", 700, 0x22}, FontCase{7, 13, "Symbol", 400, 0x50},
                                           FontCase{3, 20, "Arial", 400, 0x22}, FontCase{6, 9, "Arial", 400, 0x22},
                                           FontCase{42, 12, "Arial", 700, 0x22}));

// Columns of the text's ink in a row band of the surface.
std::pair<int, int> inkColumns(const PixelGrid& grid, Color background) {
    int first = -1, last = -1;
    for (int h = 0; h < grid.width(); ++h) {
        for (int v = 0; v < grid.height(); ++v) {
            if (!(grid.at(h, v) == background)) {
                if (first < 0) first = h;
                last = h;
                break;
            }
        }
    }
    return {first, last};
}

TEST(GdiSurfaceTest, TextAlignsLeftCentreAndRightAndOpaqueTextPaintsItsCell) {
    for (int alignment = 0; alignment < 3; ++alignment) {
        SCOPED_TRACE(alignment);
        auto surface = memorySurface(120, 20, magenta);
        surface->setFont(2, 14);
        surface->setTextColor(white);
        surface->drawText("IIII", Rect{0, 0, 120, 20}, false, alignment);
        const auto [first, last] = inkColumns(PixelGrid(surface->dc(), 120, 20), magenta);
        ASSERT_GE(first, 0) << "no text drawn";
        if (alignment == 0) {
            EXPECT_LE(first, 3);
        } else if (alignment == 1) {
            EXPECT_NEAR((first + last) / 2.0, 59.5, 2.5);
        } else {
            EXPECT_GE(last, 116);
        }
    }
    auto surface = memorySurface(60, 20, magenta);
    surface->setFont(2, 14);
    surface->setTextColor(white);
    surface->setTextBackground(blue);
    surface->drawText("I", Rect{0, 0, 60, 20}, true, 1);
    PixelGrid grid(surface->dc(), 60, 20);
    int cell = 0;
    for (int h = 0; h < 60; ++h) cell += grid.at(h, 10) == blue;
    EXPECT_GT(cell, 0) << "opaque text paints its cell";
    EXPECT_EQ(grid.at(0, 10), magenta) << "only the cell, not the rectangle";
    // The background mode is transparent again afterwards.
    EXPECT_EQ(GetBkMode(surface->dc()), TRANSPARENT);
}

TEST(GdiSurfaceTest, OffscreenCopyGoesToTheDestination) {
    auto source = memorySurface(8, 8, blue);
    auto target = memorySurface(16, 16, magenta);
    target->copyFrom(*source, Rect{4, 4, 8, 6}, Point{2, 2});
    PixelGrid grid(target->dc(), 16, 16);
    EXPECT_EQ(grid.at(4, 4), blue);
    EXPECT_EQ(grid.at(7, 5), blue);
    EXPECT_EQ(grid.at(8, 5), magenta);
    EXPECT_EQ(grid.at(4, 6), magenta);
    Color pixel;
    ASSERT_TRUE(target->readPixel(5, 5, &pixel));
    EXPECT_EQ(pixel, blue);
}

// Everything a canvas does on every idle pass, thousands of times: the process must hold
// exactly the GDI objects it held before, and drawing must still work at the end.
TEST(GdiSurfaceTest, ThousandsOfDrawsLeakNoGdiObject) {
    auto image = std::unique_ptr<PlatformImage>(loadPlatformImage(501));
    ASSERT_NE(image, nullptr);
    test::TopWindow window(200, 100);
    HWND hwnd = window.handle();
    auto pass = [&](int i) {
        std::unique_ptr<DrawSurface> offscreen(GdiSurface::createMemory(hwnd, 40, 20));
        HDC dc = GetDC(hwnd);
        GdiSurface screen(dc, GdiSurface::Context::WindowDc, hwnd);
        for (DrawSurface* s : {offscreen.get(), static_cast<DrawSurface*>(&screen)}) {
            s->setPen(Color{uint8_t(i), 0, 0, 0}, 1, i & 1);
            s->setBrush(Color{0, uint8_t(i), 0, 0});
            s->setTextColor(white);
            s->setTextBackground(blue);
            s->setFont(i & 7, 10 + (i & 3));
            s->fillRect(Rect{0, 0, 20, 10});
            const Point path[3] = {{0, 0}, {5, 5}, {9, 0}};
            s->polyline(path, 3);
            s->drawText("ab", Rect{0, 0, 30, 12}, (i & 1) != 0, i % 3);
            s->drawImage(*image, Rect{1, 1, 5, 3}, Point{0, 0}, true);
            s->drawImage(*image, Rect{6, 1, 10, 3}, Point{0, 0}, false);
        }
        screen.copyFrom(*offscreen, Rect{50, 0, 90, 20}, Point{0, 0});
    };
    pass(0); // the mask is made once, on the first keyed blit
    const long before = test::gdiObjectCount();
    ASSERT_GT(before, 0) << "GDI objects cannot be counted here";
    {
        // The count sees a single object more.
        HBRUSH extra = CreateSolidBrush(RGB(1, 1, 1));
        EXPECT_EQ(test::gdiObjectCount(), before + 1);
        DeleteObject(extra);
    }
    for (int i = 1; i <= 3000; ++i) pass(i);
    const long after = test::gdiObjectCount();
    EXPECT_EQ(after, before);

    auto surface = memorySurface(8, 4, magenta);
    surface->drawImage(*image, Rect{0, 0, 4, 2}, Point{0, 0}, true);
    PixelGrid grid(surface->dc(), 8, 4);
    EXPECT_EQ(grid.at(0, 0), magenta);
    EXPECT_EQ(grid.at(1, 0), almostWhite);
    EXPECT_EQ(grid.at(3, 1), red);
}

} // namespace
} // namespace vl
