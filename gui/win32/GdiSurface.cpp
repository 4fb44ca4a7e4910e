#include "gui/win32/GdiSurface.h"

#include "gui/win32/GdiPicture.h"

#include <cstring>
#include <new>

namespace vl::win32 {

HFONT createGdiFont(FontId id, int height, bool plainWeight) {
    const FontEntry& entry = fontEntry(id);
    LOGFONTA font{};
    font.lfHeight = -height; // negative: character height, without the internal leading
    font.lfWeight = plainWeight ? FW_NORMAL : entry.weight;
    font.lfCharSet = ANSI_CHARSET;
    font.lfOutPrecision = OUT_STRING_PRECIS;
    font.lfClipPrecision = CLIP_STROKE_PRECIS;
    font.lfQuality = DEFAULT_QUALITY;
    font.lfPitchAndFamily = plainWeight ? BYTE(0x22) : entry.pitchAndFamily;
    std::strncpy(font.lfFaceName, entry.face, LF_FACESIZE - 1);
    return CreateFontIndirectA(&font);
}

GdiSurface::GdiSurface(HDC dc, Context context, HWND window, HBITMAP bitmap)
    : dc_(dc), context_(context), window_(window), bitmap_(bitmap) {
    if (!dc_) return;
    if (bitmap_) oldBitmap_ = SelectObject(dc_, bitmap_);
    oldBrush_ = GetCurrentObject(dc_, OBJ_BRUSH);
    oldPen_ = GetCurrentObject(dc_, OBJ_PEN);
    oldFont_ = GetCurrentObject(dc_, OBJ_FONT);
    SetBkMode(dc_, TRANSPARENT);
}

GdiSurface* GdiSurface::createMemory(HWND window, int width, int height) {
    if (width <= 0) width = 1;
    if (height <= 0) height = 1;
    HDC reference = GetDC(window);
    if (!reference) return nullptr;
    HDC dc = CreateCompatibleDC(reference);
    HBITMAP bitmap = dc ? CreateCompatibleBitmap(reference, width, height) : nullptr;
    ReleaseDC(window, reference);
    if (!dc || !bitmap) {
        if (bitmap) DeleteObject(bitmap);
        if (dc) DeleteDC(dc);
        return nullptr;
    }
    auto* surface = new (std::nothrow) GdiSurface(dc, Context::Memory, nullptr, bitmap);
    if (!surface) {
        DeleteDC(dc);
        DeleteObject(bitmap);
    }
    return surface;
}

GdiSurface::~GdiSurface() {
    if (dc_) {
        // Our objects leave the context before they are deleted, and before the context
        // itself goes.
        if (oldBrush_) SelectObject(dc_, oldBrush_);
        if (oldPen_) SelectObject(dc_, oldPen_);
        if (oldFont_) SelectObject(dc_, oldFont_);
        if (oldBitmap_) SelectObject(dc_, oldBitmap_);
    }
    if (brush_) DeleteObject(brush_);
    if (pen_) DeleteObject(pen_);
    if (font_) DeleteObject(font_);
    if (!dc_) return;
    switch (context_) {
    case Context::Borrowed:
        break;
    case Context::WindowDc:
        ReleaseDC(window_, dc_);
        break;
    case Context::Memory:
        DeleteDC(dc_);
        break;
    }
    if (bitmap_) DeleteObject(bitmap_);
}

void GdiSurface::setPen(Color color, int32_t width, int32_t style) {
    if (!dc_) return;
    LOGPEN description{};
    description.lopnStyle = style == 1 ? PS_DOT : PS_SOLID;
    description.lopnWidth.x = width;
    description.lopnColor = toColorRef(color);
    HPEN pen = CreatePenIndirect(&description);
    if (!pen) return;
    SelectObject(dc_, pen);
    if (pen_) DeleteObject(pen_);
    pen_ = pen;
}

bool GdiSurface::setBrush(Color color) {
    if (!dc_) return false;
    LOGBRUSH description{};
    description.lbStyle = BS_SOLID;
    description.lbColor = toColorRef(color);
    HBRUSH brush = CreateBrushIndirect(&description);
    if (!brush) return false;
    SelectObject(dc_, brush);
    if (brush_) DeleteObject(brush_);
    brush_ = brush;
    return true;
}

void GdiSurface::setTextColor(Color color) {
    if (dc_) SetTextColor(dc_, toColorRef(color));
}

void GdiSurface::setTextBackground(Color color) {
    if (dc_) SetBkColor(dc_, toColorRef(color));
}

void GdiSurface::setFont(FontId id, int32_t size) {
    if (!dc_) return;
    HFONT font = createGdiFont(id, size);
    if (!font) return;
    SelectObject(dc_, font);
    if (font_) DeleteObject(font_);
    font_ = font;
}

void GdiSurface::moveTo(int32_t h, int32_t v) {
    if (dc_) MoveToEx(dc_, h, v, nullptr);
}

void GdiSurface::lineTo(int32_t h, int32_t v) {
    if (dc_) LineTo(dc_, h, v);
}

void GdiSurface::polyline(const Point* points, int32_t count) {
    if (!dc_ || !points || count < 2) return;
    POINT path[16];
    POINT* all = count <= 16 ? path : new (std::nothrow) POINT[static_cast<size_t>(count)];
    if (!all) return;
    for (int32_t i = 0; i < count; ++i) all[i] = POINT{points[i].h, points[i].v};
    Polyline(dc_, all, count);
    if (all != path) delete[] all;
}

void GdiSurface::fillRect(const Rect& r) {
    if (!dc_) return;
    HBRUSH brush = brush_ ? brush_ : static_cast<HBRUSH>(GetCurrentObject(dc_, OBJ_BRUSH));
    if (!brush) return;
    // The null pen is selected for the fill and the previous pen restored after it.
    HGDIOBJ previousPen = SelectObject(dc_, GetStockObject(NULL_PEN));
    const RECT area{r.left, r.top, r.right, r.bottom};
    FillRect(dc_, &area, brush);
    if (previousPen) SelectObject(dc_, previousPen);
}

void GdiSurface::drawText(const char* text, const Rect& r, bool opaque, int32_t alignment) {
    if (!dc_ || !text) return;
    UINT format = DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX; // 0x824
    if (alignment == 1) format |= DT_CENTER;
    else if (alignment == 2) format |= DT_RIGHT;
    SetBkMode(dc_, opaque ? OPAQUE : TRANSPARENT);
    RECT area{r.left, r.top, r.right, r.bottom};
    DrawTextA(dc_, text, -1, &area, format);
    SetBkMode(dc_, TRANSPARENT);
}

void GdiSurface::drawImage(PlatformImage& image, const Rect& dest, Point source, bool transparent) {
    if (!dc_) return;
    auto& picture = static_cast<GdiPicture&>(image);
    if (transparent) {
        picture.drawTransparent(dc_, dest.left, dest.top, dest.width(), dest.height(), source.h, source.v);
    } else {
        picture.draw(dc_, dest.left, dest.top, dest.width(), dest.height(), source.h, source.v);
    }
}

void GdiSurface::copyFrom(DrawSurface& source, const Rect& dest, Point sourcePoint) {
    auto& from = static_cast<GdiSurface&>(source);
    if (!dc_ || !from.dc_) return;
    BitBlt(dc_, dest.left, dest.top, dest.width(), dest.height(), from.dc_, sourcePoint.h, sourcePoint.v, SRCCOPY);
}

bool GdiSurface::readPixel(int32_t h, int32_t v, Color* out) {
    if (!dc_ || !out) return false;
    const COLORREF pixel = GetPixel(dc_, h, v);
    if (pixel == CLR_INVALID) return false;
    *out = Color{GetRValue(pixel), GetGValue(pixel), GetBValue(pixel), 0};
    return true;
}

} // namespace vl::win32
