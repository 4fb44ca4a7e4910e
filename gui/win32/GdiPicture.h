#pragma once
// A bitmap from the module's resources, drawn opaquely or with white (255, 255, 255) left
// out. The one-bit mask of the white pixels is made on the first transparent draw and
// kept with the bitmap.

#include <windows.h>

#include "gui/Platform.h"

namespace vl::win32 {

// The module whose resources hold the bitmaps: the plug-in library's instance when it
// was loaded as one, else the program's own module.
HINSTANCE resourceModule();

class GdiPicture final : public PlatformImage {
public:
    // LoadBitmapA of the resource module with the id as an integer resource name (low
    // 16 bits). A bitmap that does not load leaves the picture empty (0 × 0).
    explicit GdiPicture(int resourceId);
    // Takes over a bitmap made elsewhere (owned from then on); null makes an empty picture.
    explicit GdiPicture(HBITMAP bitmap);
    // A bitmap compatible with the screen made from width × height RGB pixels (rows top
    // to bottom, 3 bytes each); empty when it cannot be made.
    GdiPicture(int width, int height, const uint8_t* rgb);
    ~GdiPicture() override;
    GdiPicture(const GdiPicture&) = delete;
    GdiPicture& operator=(const GdiPicture&) = delete;

    HBITMAP handle() const { return bitmap_; }
    int32_t width() const override { return width_; }
    int32_t height() const override { return height_; }
    bool hasMask() const { return mask_ != nullptr; }

    // Copies width × height pixels from (sx, sy) of the picture to (dx, dy) of target.
    void draw(HDC target, int dx, int dy, int width, int height, int sx, int sy) const;
    // The same, but pixels equal to (255, 255, 255) keep what target already shows. The
    // copied area is limited to the picture; the rest of the rectangle is left alone.
    void drawTransparent(HDC target, int dx, int dy, int width, int height, int sx, int sy);

private:
    bool makeMask(HDC reference);

    HBITMAP bitmap_ = nullptr;
    HBITMAP mask_ = nullptr;
    int width_ = 0;
    int height_ = 0;
};

} // namespace vl::win32
