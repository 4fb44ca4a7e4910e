#pragma once
// The toolkit's drawing surface on one Win32 device context: the pen, brush and font that
// the canvas selects, lines, rectangles, text, pictures and the copy of memory surfaces.
// Coordinates are in the device context's own pixels (the canvas has added its offset).

#include <windows.h>

#include "gui/Platform.h"

namespace vl::win32 {

// Creates the font of a font table entry at a pixel height (character height). The edit
// control's fonts use normal weight and the Swiss family for every entry (plainWeight).
HFONT createGdiFont(FontId id, int height, bool plainWeight = false);

inline COLORREF toColorRef(const Color& c) { return static_cast<COLORREF>(c.toWin32()); }

class GdiSurface final : public DrawSurface {
public:
    // What happens to the device context when the surface goes.
    enum class Context {
        Borrowed, // someone else's (a paint context between BeginPaint and EndPaint)
        WindowDc, // from GetDC(window): released with ReleaseDC
        Memory, // a memory context with its own bitmap: both deleted
    };

    // Records the brush, pen and font selected in dc now and sets the background mode to
    // transparent. window is the window of a WindowDc context.
    GdiSurface(HDC dc, Context context, HWND window = nullptr, HBITMAP bitmap = nullptr);
    // A memory surface compatible with the window's device context (the screen's for a
    // null window), width × height pixels. Null when it cannot be made.
    static GdiSurface* createMemory(HWND window, int width, int height);
    // Selects the recorded objects back, deletes the objects it created, then lets go of
    // the context as its kind requires (a memory bitmap is deselected before deletion).
    ~GdiSurface() override;
    GdiSurface(const GdiSurface&) = delete;
    GdiSurface& operator=(const GdiSurface&) = delete;

    HDC dc() const { return dc_; }
    HBITMAP bitmap() const { return bitmap_; }

    void setPen(Color color, int32_t width, int32_t style) override;
    bool setBrush(Color color) override;
    void setTextColor(Color color) override;
    void setTextBackground(Color color) override;
    void setFont(FontId id, int32_t size) override;
    void moveTo(int32_t h, int32_t v) override;
    void lineTo(int32_t h, int32_t v) override;
    void polyline(const Point* points, int32_t count) override;
    void fillRect(const Rect& r) override;
    void drawText(const char* text, const Rect& r, bool opaque, int32_t alignment) override;
    void drawImage(PlatformImage& image, const Rect& dest, Point source, bool transparent) override;
    void copyFrom(DrawSurface& source, const Rect& dest, Point sourcePoint) override;
    bool readPixel(int32_t h, int32_t v, Color* out) override;

private:
    HDC dc_;
    Context context_;
    HWND window_;
    HBITMAP bitmap_;
    HGDIOBJ oldBitmap_ = nullptr;
    HPEN pen_ = nullptr;
    HBRUSH brush_ = nullptr;
    HFONT font_ = nullptr;
    HGDIOBJ oldPen_ = nullptr;
    HGDIOBJ oldBrush_ = nullptr;
    HGDIOBJ oldFont_ = nullptr;
};

} // namespace vl::win32
