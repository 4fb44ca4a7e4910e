#include "gui/win32/GdiPicture.h"

#include "vst/Module.h"

#include <vector>

namespace vl::win32 {

namespace {

constexpr COLORREF transparentKey = RGB(255, 255, 255);
// Raster operation "destination AND NOT source".
constexpr DWORD destinationAndNotSource = 0x00220326;

// A memory device context that selects one bitmap and, when it goes, selects the
// original bitmap back before the context is deleted; every path frees it.
class MemoryContext {
public:
    MemoryContext(HDC reference, HBITMAP bitmap) : dc_(CreateCompatibleDC(reference)) {
        if (dc_ && bitmap) {
            previous_ = SelectObject(dc_, bitmap);
            if (!previous_ || previous_ == HGDI_ERROR) {
                previous_ = nullptr;
                DeleteDC(dc_);
                dc_ = nullptr;
            }
        }
    }
    ~MemoryContext() {
        if (!dc_) return;
        if (previous_) SelectObject(dc_, previous_);
        DeleteDC(dc_);
    }
    MemoryContext(const MemoryContext&) = delete;
    MemoryContext& operator=(const MemoryContext&) = delete;
    explicit operator bool() const { return dc_ != nullptr; }
    HDC dc() const { return dc_; }

private:
    HDC dc_;
    HGDIOBJ previous_ = nullptr;
};

// A bitmap deleted when it goes out of scope; declared before the contexts that select
// it, so that those contexts let go of it first.
class OwnedBitmap {
public:
    explicit OwnedBitmap(HBITMAP bitmap) : bitmap_(bitmap) {}
    ~OwnedBitmap() {
        if (bitmap_) DeleteObject(bitmap_);
    }
    OwnedBitmap(const OwnedBitmap&) = delete;
    OwnedBitmap& operator=(const OwnedBitmap&) = delete;
    HBITMAP get() const { return bitmap_; }

private:
    HBITMAP bitmap_;
};

} // namespace

HINSTANCE resourceModule() {
    if (moduleInstance) return static_cast<HINSTANCE>(moduleInstance);
    return GetModuleHandleA(nullptr);
}

GdiPicture::GdiPicture(int resourceId)
    : GdiPicture(LoadBitmapA(resourceModule(), MAKEINTRESOURCEA(resourceId & 0xFFFF))) {}

GdiPicture::GdiPicture(HBITMAP bitmap) : bitmap_(bitmap) {
    if (!bitmap_) return;
    BITMAP description{};
    if (GetObjectA(bitmap_, sizeof description, &description) == sizeof description) {
        width_ = description.bmWidth;
        height_ = description.bmHeight;
    }
}

GdiPicture::GdiPicture(int width, int height, const uint8_t* rgb) {
    if (width <= 0 || height <= 0 || !rgb) return;
    // Rows of a 24-bit DIB are blue-green-red and padded to 4 bytes.
    const size_t stride = (static_cast<size_t>(width) * 3 + 3) & ~size_t(3);
    std::vector<uint8_t> rows;
    try {
        rows.assign(stride * static_cast<size_t>(height), 0);
    } catch (...) {
        return;
    }
    for (int y = 0; y < height; ++y) {
        const uint8_t* from = rgb + static_cast<size_t>(y) * static_cast<size_t>(width) * 3;
        uint8_t* to = rows.data() + static_cast<size_t>(y) * stride;
        for (int x = 0; x < width; ++x) {
            to[x * 3 + 0] = from[x * 3 + 2];
            to[x * 3 + 1] = from[x * 3 + 1];
            to[x * 3 + 2] = from[x * 3 + 0];
        }
    }
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height; // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    HDC screen = GetDC(nullptr);
    if (!screen) return;
    HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
    if (bitmap &&
        SetDIBits(screen, bitmap, 0, static_cast<UINT>(height), rows.data(), &info, DIB_RGB_COLORS) == height) {
        bitmap_ = bitmap;
        width_ = width;
        height_ = height;
    } else if (bitmap) {
        DeleteObject(bitmap);
    }
    ReleaseDC(nullptr, screen);
}

GdiPicture::~GdiPicture() {
    if (bitmap_) DeleteObject(bitmap_);
    if (mask_) DeleteObject(mask_);
}

void GdiPicture::draw(HDC target, int dx, int dy, int width, int height, int sx, int sy) const {
    if (!bitmap_ || !target) return;
    MemoryContext picture(target, bitmap_);
    if (!picture) return;
    BitBlt(target, dx, dy, width, height, picture.dc(), sx, sy, SRCCOPY);
}

bool GdiPicture::makeMask(HDC reference) {
    if (mask_) return true;
    HBITMAP mask = CreateBitmap(width_, height_, 1, 1, nullptr);
    if (!mask) return false;
    bool made = false;
    {
        MemoryContext picture(reference, bitmap_);
        MemoryContext maskContext(reference, mask);
        if (picture && maskContext) {
            SetMapMode(picture.dc(), GetMapMode(reference));
            // Colour to monochrome: pixels equal to the background colour become 1,
            // all others 0.
            const COLORREF previous = SetBkColor(picture.dc(), transparentKey);
            made = BitBlt(maskContext.dc(), 0, 0, width_, height_, picture.dc(), 0, 0, SRCCOPY) != 0;
            SetBkColor(picture.dc(), previous);
        }
    }
    if (!made) {
        DeleteObject(mask);
        return false;
    }
    mask_ = mask;
    return true;
}

void GdiPicture::drawTransparent(HDC target, int dx, int dy, int width, int height, int sx, int sy) {
    if (!bitmap_ || !target) return;
    // Only the part of the rectangle that the picture covers is drawn.
    if (sx < 0) {
        dx -= sx;
        width += sx;
        sx = 0;
    }
    if (sy < 0) {
        dy -= sy;
        height += sy;
        sy = 0;
    }
    if (width > width_ - sx) width = width_ - sx;
    if (height > height_ - sy) height = height_ - sy;
    if (width <= 0 || height <= 0) return;
    if (!makeMask(target)) return;

    // Bitmaps first, so that they outlive the contexts that select them.
    OwnedBitmap work(CreateCompatibleBitmap(target, width, height));
    OwnedBitmap cutOut(CreateCompatibleBitmap(target, width, height));
    if (!work.get() || !cutOut.get()) return;
    MemoryContext picture(target, bitmap_);
    MemoryContext mask(target, mask_);
    MemoryContext workContext(target, work.get());
    MemoryContext cutOutContext(target, cutOut.get());
    if (!picture || !mask || !workContext || !cutOutContext) return;
    // The memory contexts keep their default colours (text black, background white), so
    // mask bits 0 become black and 1 white when combined with colour bitmaps.
    // Background under the rectangle, cleared where the picture is opaque.
    BitBlt(workContext.dc(), 0, 0, width, height, target, dx, dy, SRCCOPY);
    BitBlt(workContext.dc(), 0, 0, width, height, mask.dc(), sx, sy, SRCAND);
    // The picture's pixels with the key-coloured ones cleared; the picture itself stays
    // untouched.
    BitBlt(cutOutContext.dc(), 0, 0, width, height, picture.dc(), sx, sy, SRCCOPY);
    BitBlt(cutOutContext.dc(), 0, 0, width, height, mask.dc(), sx, sy, destinationAndNotSource);
    BitBlt(workContext.dc(), 0, 0, width, height, cutOutContext.dc(), 0, 0, SRCPAINT);
    BitBlt(target, dx, dy, width, height, workContext.dc(), 0, 0, SRCCOPY);
}

} // namespace vl::win32
