// Canvas and picture drawing, read back from memory surfaces of the real backend.
#include <gtest/gtest.h>

#include "GuiTestSupport.h"

using namespace guitest;

namespace {

::testing::AssertionResult isColor(const Color& got, const Color& want) {
    if (got.sameRgb(want)) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "pixel (" << int(got.red) << "," << int(got.green) << "," << int(got.blue)
                                         << ") instead of (" << int(want.red) << "," << int(want.green) << ","
                                         << int(want.blue) << ")";
}

} // namespace

TEST(ValueTypes, HitTestsCountBothEdgesAsInside) {
    const Rect r{10, 20, 30, 40};
    const struct {
        Point p;
        bool inside;
    } cases[] = {
        {{10, 20}, true}, {{30, 40}, true},  {{30, 20}, true},  {{10, 40}, true},  {{20, 30}, true},
        {{9, 30}, false}, {{31, 30}, false}, {{20, 19}, false}, {{20, 41}, false}, {{31, 41}, false},
    };
    for (auto& c : cases) EXPECT_EQ(r.pointInside(c.p), c.inside) << c.p.h << "," << c.p.v;
}

TEST(ValueTypes, ColourConstantsAndWindowsValue) {
    EXPECT_EQ((Color{1, 2, 3, 0}).toWin32(), 0x030201u);
    const struct {
        Color c;
        uint8_t r, g, b;
    } table[] = {{kTransparentColor, 255, 255, 255},
                 {kBlackColor, 0, 0, 0},
                 {kWhiteColor, 255, 255, 255},
                 {kGreyColor, 127, 127, 127},
                 {kRedColor, 255, 0, 0},
                 {kGreenColor, 0, 255, 0},
                 {kBlueColor, 0, 0, 255},
                 {kYellowColor, 255, 255, 0},
                 {kMagentaColor, 255, 0, 255},
                 {kCyanColor, 0, 255, 255}};
    for (auto& t : table) {
        EXPECT_EQ(t.c.red, t.r);
        EXPECT_EQ(t.c.green, t.g);
        EXPECT_EQ(t.c.blue, t.b);
        EXPECT_EQ(t.c.reserved, 0);
    }
}

TEST(CanvasFonts, IdsOutsideTheTableAndSizeZeroUseTheTable) {
    OffscreenCanvas canvas(nullptr, 10, 10, kBlackColor);
    const struct {
        FontId id;
        int32_t size, stored;
        int32_t weight;
    } cases[] = {{9, 0, 12, 700}, {-1, 0, 12, 700}, {7, 0, 13, 400}, {3, 20, 20, 400}, {1, 0, 18, 400}, {6, 0, 9, 400}};
    for (auto& c : cases) {
        canvas.setFont(c.id, c.size);
        EXPECT_EQ(canvas.fontSize, c.stored) << c.id;
        EXPECT_EQ(fontEntry(c.id).weight, c.weight) << c.id;
    }
    EXPECT_STREQ(fontEntry(7).face, "Symbol");
    EXPECT_EQ(fontEntry(7).pitchAndFamily, 0x50);
    EXPECT_EQ(fontEntry(0).pitchAndFamily, 0x22);
}

TEST(CanvasDrawing, FillRectLeavesTheOutlineRowAndColumn) {
    OffscreenCanvas canvas(nullptr, 20, 20, kBlackColor);
    canvas.setFillColor(kWhiteColor);
    canvas.fillRect(Rect{0, 0, 10, 10});
    for (int32_t i = 0; i <= 10; ++i) {
        const Color expect = (i >= 1 && i <= 9) ? kWhiteColor : kBlackColor;
        EXPECT_TRUE(isColor(pixelOf(canvas, i, 5), expect)) << "h " << i;
        EXPECT_TRUE(isColor(pixelOf(canvas, 5, i), expect)) << "v " << i;
    }
    // With an offset the same pixels move.
    canvas.offset = Point{5, 5};
    canvas.setFillColor(kRedColor);
    canvas.fillRect(Rect{0, 0, 4, 4});
    EXPECT_TRUE(isColor(pixelOf(canvas, 6, 6), kRedColor));
    EXPECT_TRUE(isColor(pixelOf(canvas, 8, 8), kRedColor));
    EXPECT_TRUE(isColor(pixelOf(canvas, 9, 9), kWhiteColor));
    EXPECT_TRUE(isColor(pixelOf(canvas, 5, 5), kWhiteColor));
}

TEST(CanvasDrawing, DrawRectThenFillRectKeepsTheOutline) {
    OffscreenCanvas canvas(nullptr, 20, 20, kBlackColor);
    canvas.setFrameColor(kRedColor);
    canvas.drawRect(Rect{2, 2, 12, 12});
    canvas.setFillColor(kBlueColor);
    canvas.fillRect(Rect{2, 2, 12, 12});
    const struct {
        int32_t h, v;
        Color c;
    } cases[] = {{2, 2, kRedColor},  {12, 2, kRedColor},   {12, 12, kRedColor}, {2, 12, kRedColor},
                 {7, 2, kRedColor},  {2, 7, kRedColor},    {12, 7, kRedColor},  {7, 12, kRedColor},
                 {3, 3, kBlueColor}, {11, 11, kBlueColor}, {1, 1, kBlackColor}, {13, 13, kBlackColor}};
    for (auto& c : cases) EXPECT_TRUE(isColor(pixelOf(canvas, c.h, c.v), c.c)) << c.h << "," << c.v;
}

TEST(CanvasDrawing, LinesLeaveOutTheirEndPixel) {
    OffscreenCanvas canvas(nullptr, 20, 20, kBlackColor);
    canvas.setFrameColor(kGreenColor);
    canvas.moveTo(Point{2, 5});
    canvas.lineTo(Point{8, 5});
    EXPECT_TRUE(isColor(pixelOf(canvas, 2, 5), kGreenColor));
    EXPECT_TRUE(isColor(pixelOf(canvas, 7, 5), kGreenColor));
    EXPECT_TRUE(isColor(pixelOf(canvas, 8, 5), kBlackColor));
    // The pen continues from the end point.
    canvas.lineTo(Point{8, 9});
    EXPECT_TRUE(isColor(pixelOf(canvas, 8, 5), kGreenColor));
    EXPECT_TRUE(isColor(pixelOf(canvas, 8, 8), kGreenColor));
    EXPECT_TRUE(isColor(pixelOf(canvas, 8, 9), kBlackColor));
}

TEST(PictureDrawing, TransparentBlitLeavesOutExactlyTheKeyColour) {
    installTestPictures();
    PictureRef keyed(kKeyed);
    ASSERT_EQ(keyed->width, 4);
    OffscreenCanvas canvas(nullptr, 10, 3, kBlueColor);
    keyed->drawTransparent(canvas, Rect{2, 1, 6, 2});
    EXPECT_TRUE(isColor(pixelOf(canvas, 2, 1), kBlueColor)); // (255,255,255) left out
    EXPECT_TRUE(isColor(pixelOf(canvas, 3, 1), Color{254, 255, 255, 0}));
    EXPECT_TRUE(isColor(pixelOf(canvas, 4, 1), Color{0, 0, 0, 0}));
    EXPECT_TRUE(isColor(pixelOf(canvas, 5, 1), Color{255, 255, 254, 0}));
    // The opaque blit draws every pixel, the key colour too.
    keyed->draw(canvas, Rect{2, 2, 6, 3});
    EXPECT_TRUE(isColor(pixelOf(canvas, 2, 2), kWhiteColor));
    // Drawing again transparently gives the same result: the picture itself is unchanged.
    keyed->drawTransparent(canvas, Rect{6, 0, 10, 1});
    EXPECT_TRUE(isColor(pixelOf(canvas, 6, 0), kBlueColor));
    EXPECT_TRUE(isColor(pixelOf(canvas, 7, 0), Color{254, 255, 255, 0}));
}

TEST(PictureDrawing, SourcePointAndCanvasOffsetSelectThePixels) {
    installTestPictures();
    PictureRef backdrop(kBackdrop);
    OffscreenCanvas canvas(nullptr, 50, 50, kBlackColor);
    canvas.offset = Point{3, 4};
    backdrop->draw(canvas, Rect{10, 10, 30, 20}, Point{100, 50});
    // Destination (10..29, 10..19) plus the offset shows source (100.., 50..).
    EXPECT_TRUE(isColor(pixelOf(canvas, 13, 14), backdropColor(100, 50)));
    EXPECT_TRUE(isColor(pixelOf(canvas, 32, 23), backdropColor(119, 59)));
    EXPECT_TRUE(isColor(pixelOf(canvas, 33, 23), kBlackColor));
    EXPECT_TRUE(isColor(pixelOf(canvas, 32, 24), kBlackColor));
}

TEST(PictureLifetime, CountingAndFailedLoads) {
    installTestPictures();
    Picture* missing = new Picture(4242);
    EXPECT_EQ(missing->width, 0);
    EXPECT_EQ(missing->height, 0);
    EXPECT_EQ(missing->getHandle(), nullptr);
    OffscreenCanvas canvas(nullptr, 4, 4, kRedColor);
    missing->draw(canvas, Rect{0, 0, 4, 4});
    missing->drawTransparent(canvas, Rect{0, 0, 4, 4});
    EXPECT_TRUE(isColor(pixelOf(canvas, 1, 1), kRedColor));
    missing->release();

    Picture* p = new Picture(kToggle);
    EXPECT_EQ(p->width, 8);
    EXPECT_EQ(p->height, 16);
    EXPECT_EQ(p->getRefCount(), 1);
    p->retain();
    EXPECT_EQ(p->getRefCount(), 2);
    p->release();
    EXPECT_EQ(p->getRefCount(), 1);
    p->release(); // freed here
}

TEST(OffscreenCanvasTest, StartsWithTheBackgroundAndCopiesToATarget) {
    OffscreenCanvas source(nullptr, 8, 8, kCyanColor);
    for (int32_t h : {0, 7})
        for (int32_t v : {0, 7}) EXPECT_TRUE(isColor(pixelOf(source, h, v), kCyanColor));
    source.setFillColor(kYellowColor);
    source.fillRect(Rect{1, 1, 4, 4}); // pixels 2..3
    OffscreenCanvas target(nullptr, 20, 20, kBlackColor);
    target.offset = Point{1, 1};
    source.copyTo(target, Rect{5, 5, 9, 9}, Point{2, 2});
    EXPECT_TRUE(isColor(pixelOf(target, 6, 6), kYellowColor));
    EXPECT_TRUE(isColor(pixelOf(target, 7, 7), kYellowColor));
    EXPECT_TRUE(isColor(pixelOf(target, 8, 8), kCyanColor));
    EXPECT_TRUE(isColor(pixelOf(target, 10, 10), kBlackColor));
}

TEST(CanvasDrawing, LeftAlignedTextStartsOnePixelInAndRightAlignedEndsAtTheEdge) {
    OffscreenCanvas canvas(nullptr, 60, 20, kBlackColor);
    canvas.setFont(3, 0);
    canvas.setFontColor(kWhiteColor);
    canvas.setFillColor(kBlueColor); // the cell behind opaque text
    const Rect r{10, 2, 50, 18};
    // Opaque text paints its cell: where the cell starts shows where the text starts.
    canvas.drawString("M", r, true, 0);
    EXPECT_TRUE(isColor(pixelOf(canvas, 10, 10), kBlackColor)) << "the left edge stays free";
    EXPECT_FALSE(pixelOf(canvas, 11, 10).sameRgb(kBlackColor)) << "the text starts one pixel in";

    OffscreenCanvas right(nullptr, 60, 20, kBlackColor);
    right.setFont(3, 0);
    right.setFillColor(kBlueColor);
    right.drawString("M", r, true, 2);
    EXPECT_FALSE(pixelOf(right, 49, 10).sameRgb(kBlackColor)) << "right alignment is not moved";
    EXPECT_TRUE(isColor(pixelOf(right, 50, 10), kBlackColor));
    EXPECT_TRUE(isColor(pixelOf(right, 11, 10), kBlackColor));
}
