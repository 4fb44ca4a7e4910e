// The panel's bitmaps loaded as a host loads them on Windows (LoadBitmapA from the
// module's resources) and drawn through GDI: every pixel equals the picture as decoded
// from the resource's own bytes, and the keyed blit leaves out exactly the white ones.

#include <gtest/gtest.h>

#include <memory>

#include "tests/support/Win32TestSupport.h"
#include "gui/Platform.h"
#include "gui/win32/GdiSurface.h"
#include "resources/BitmapResources.h"
#include "resources/BmpReader.h"

namespace vl {
namespace {

using test::PixelGrid;

class PanelBitmapTest : public ::testing::TestWithParam<int> {};

TEST_P(PanelBitmapTest, DrawsEveryPixelOfThePicture) {
    const int id = GetParam();
    ASSERT_EQ(getBitmapSource(), nullptr) << "the module's own resources are used";
    std::size_t size = 0;
    const unsigned char* bytes = findBitmapResource(id, &size);
    ASSERT_NE(bytes, nullptr);
    BmpImage expected;
    ASSERT_TRUE(readBmp(bytes, size, expected));

    std::unique_ptr<PlatformImage> image(loadPlatformImage(id));
    ASSERT_NE(image, nullptr);
    ASSERT_EQ(image->width(), expected.width);
    ASSERT_EQ(image->height(), expected.height);

    const int w = expected.width, h = expected.height;
    std::unique_ptr<win32::GdiSurface> surface(win32::GdiSurface::createMemory(nullptr, 2 * w, h));
    ASSERT_NE(surface, nullptr);
    const Color magenta{255, 0, 255, 0};
    surface->setBrush(magenta);
    surface->fillRect(Rect{0, 0, 2 * w, h});
    surface->drawImage(*image, Rect{0, 0, w, h}, Point{0, 0}, false);
    surface->drawImage(*image, Rect{w, 0, 2 * w, h}, Point{0, 0}, true);
    PixelGrid grid(surface->dc(), 2 * w, h);
    int mismatches = 0;
    for (int v = 0; v < h; ++v) {
        for (int x = 0; x < w; ++x) {
            const uint32_t p = expected.at(x, v);
            const Color colour{uint8_t(p >> 16), uint8_t(p >> 8), uint8_t(p), 0};
            const bool isKey = p == 0xFFFFFF;
            if (!(grid.at(x, v) == colour) || !(grid.at(w + x, v) == (isKey ? magenta : colour))) {
                if (++mismatches <= 5) {
                    ADD_FAILURE() << "pixel " << x << "," << v << " of bitmap " << id;
                }
            }
        }
    }
    EXPECT_EQ(mismatches, 0);
}

INSTANTIATE_TEST_SUITE_P(Panel, PanelBitmapTest,
                         ::testing::Values(kBitmapBackground, kBitmapFileLoadPatch, kBitmapFileSavePatch,
                                           kBitmapSettings, kBitmapRecord, kBitmapFileLoadBank, kBitmapFileSaveBank,
                                           kBitmapProgram1, kBitmapProgram1 + 7, kBitmapLargeKnob, kBitmapSmallKnob,
                                           kBitmapDigits));

} // namespace
} // namespace vl
