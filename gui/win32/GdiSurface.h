#pragma once
// Drawing on one Win32 device context: the pen, brush and font that the toolkit's canvas
// selects, lines, rectangles, text and the copy of memory surfaces. Coordinates are in
// the device context's own pixels; the caller has already added its drawing offset.

#include <windows.h>

namespace vl::win32 {

// Face, weight and pitch/family of the toolkit's eight fonts; the pixel heights come
// with the font id from the caller.
struct GdiFontFace {
    const char* face;
    LONG weight;
    BYTE pitchAndFamily;
};
// Entry for id 0..7; any other id gives entry 0.
const GdiFontFace& gdiFontFace(int id);
// Creates the font of a font id at a pixel height (character height, not cell height).
// For the edit control every id is made with normal weight and the Swiss family.
HFONT createGdiFont(int id, int height, bool plainWeight = false);

class GdiSurface {
public:
    // Wraps dc (not owned). Records the brush, pen and font selected now, sets the
    // background mode to transparent and selects a white 1-pixel solid pen, a black
    // brush and white text.
    explicit GdiSurface(HDC dc);
    // Selects the recorded objects back, then deletes the objects this surface made.
    ~GdiSurface();
    GdiSurface(const GdiSurface&) = delete;
    GdiSurface& operator=(const GdiSurface&) = delete;

    HDC dc() const { return dc_; }

    // Pen: colour, 0 solid / 1 dotted, width in pixels.
    void setPen(COLORREF color, int lineStyle, int width);
    // Brush and text background colour. A brush that cannot be made leaves the
    // previous one selected.
    void setFill(COLORREF color);
    void setTextColor(COLORREF color);
    // Font of the table at height pixels (0 = caller decides; must be > 0 here).
    void setFont(int id, int height);

    void moveTo(int x, int y);
    void lineTo(int x, int y);
    // Outline (left, top) → (right, top) → (right, bottom) → (left, bottom) → (left, top).
    void drawRect(int left, int top, int right, int bottom);
    // Fills left+1 .. right-1, top+1 .. bottom-1 with the brush; the outline row and
    // column at left and top stay as they are.
    void fillRect(int left, int top, int right, int bottom);
    // Single line, vertically centred, no prefix processing; alignment 0 left (the
    // rectangle's left edge moved 1 pixel right), 1 centre, 2 right.
    void drawString(const char* text, int left, int top, int right, int bottom, bool opaque, int alignment);
    // BitBlt SRCCOPY of width × height pixels from source (x, y) to (dx, dy).
    void copyFrom(HDC source, int sx, int sy, int dx, int dy, int width, int height);

private:
    HDC dc_;
    HPEN pen_ = nullptr;
    HBRUSH brush_ = nullptr;
    HFONT font_ = nullptr;
    HGDIOBJ oldPen_ = nullptr;
    HGDIOBJ oldBrush_ = nullptr;
    HGDIOBJ oldFont_ = nullptr;
};

// A memory device context with a bitmap of its own, compatible with a window's device
// context (the screen's when the window is null). Starts filled with a colour.
class GdiOffscreen {
public:
    GdiOffscreen(HWND window, int width, int height, COLORREF background);
    ~GdiOffscreen();
    GdiOffscreen(const GdiOffscreen&) = delete;
    GdiOffscreen& operator=(const GdiOffscreen&) = delete;

    bool valid() const { return bitmap_ != nullptr; }
    HDC dc() const { return dc_; }
    HBITMAP bitmap() const { return bitmap_; }
    int width() const { return width_; }
    int height() const { return height_; }
    // The surface drawing into the bitmap; null when the memory context could not be made.
    GdiSurface* surface() { return surface_; }

private:
    HDC dc_ = nullptr;
    HBITMAP bitmap_ = nullptr;
    HGDIOBJ oldBitmap_ = nullptr;
    GdiSurface* surface_ = nullptr;
    int width_;
    int height_;
};

} // namespace vl::win32
